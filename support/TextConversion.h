#pragma once
#include <windows.h>

#include "support/Allocation.h"

// Whole-string conversions including the terminator. Null when either
// pointer is null or the conversion fails; the destination is set to the
// empty string before the conversion is tried.
LPWSTR AnsiToWide(LPWSTR dest, LPCSTR src, int capacityChars, UINT codePage);
LPSTR WideToAnsi(LPSTR dest, LPCWSTR src, int capacityBytes, UINT codePage);

// The UTF-16 characters that the first bytes bytes of text in codePage make;
// zero for text that does not convert.
int CharacterCount(LPCSTR text, int bytes, UINT codePage);

// Steps over one whole character of 8-bit text in codePage, as CharNextA
// does for the system code page: a lead byte takes its trail byte along
// (unless the text ends there) and the terminator is never stepped over.
// Text that is handed to or taken from the platform's ANSI functions
// (registry, module file name, resources) is stepped with CP_ACP, the code
// page those functions read it in, whatever the calling thread's locale.
LPCSTR NextChar(LPCSTR text, UINT codePage);

// Temporary conversion buffers of one operation: a converted text that needs
// at most kStackBytes lives in the converter's own storage (on the caller's
// stack) while the stack has room; anything larger goes to a heap block that
// is freed with the converter. Every failure (null text, overflowing size,
// no memory, failed conversion) gives null; callers report E_OUTOFMEMORY.
class CTextConverter {
public:
    static constexpr INT32 kStackBytes = 1024;

    CTextConverter() = default;
    CTextConverter(const CTextConverter&) = delete;
    CTextConverter& operator=(const CTextConverter&) = delete;

    // The default is the code page of the platform's ANSI functions.
    LPWSTR ToWide(LPCSTR text, UINT codePage = CP_ACP);
    LPSTR ToAnsi(LPCWSTR text, UINT codePage = CP_ACP);

private:
    friend class CTestAccess;

    CScratchBuffers<kStackBytes> m_buffers;
};
