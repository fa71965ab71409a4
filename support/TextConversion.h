#pragma once
#include <windows.h>

#include "support/Allocation.h"

// Whole-string conversions including the terminator. Null when either
// pointer is null or the conversion fails; the destination is set to the
// empty string before the conversion is tried.
LPWSTR AnsiToWide(LPWSTR dest, LPCSTR src, int capacityChars, UINT codePage);
LPSTR WideToAnsi(LPSTR dest, LPCWSTR src, int capacityBytes, UINT codePage);

// The number of the calling thread's ANSI code page, which CP_THREAD_ACP
// stands for in the conversion functions.
UINT ThreadAnsiCodePage();

// Steps over one whole character of 8-bit text in codePage, as CharNextA
// does for the system code page: a lead byte takes its trail byte along
// (unless the text ends there) and the terminator is never stepped over.
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

    LPWSTR ToWide(LPCSTR text, UINT codePage = CP_THREAD_ACP);
    LPSTR ToAnsi(LPCWSTR text, UINT codePage = CP_THREAD_ACP);

    // A buffer of bytes: the converter's own storage the first time it fits
    // and the stack has room, else a heap block; null when there is none.
    void* Allocate(INT32 bytes);
    bool IsInFrame(const void* p) const;

private:

    alignas(8) BYTE m_frame[kStackBytes];
    bool m_frameInUse = false;
    CScratchBlockList m_heap;
};
