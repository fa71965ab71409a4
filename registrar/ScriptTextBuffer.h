#pragma once
#include <windows.h>

// The growing text an expansion writes into, on the COM task allocator.
// Whenever there is an allocation, the byte at m_nLength is NUL.
class CScriptTextBuffer {
public:
    CScriptTextBuffer(INT32 initialCapacity, UINT codePage);
    ~CScriptTextBuffer();
    CScriptTextBuffer(const CScriptTextBuffer&) = delete;
    CScriptTextBuffer& operator=(const CScriptTextBuffer&) = delete;

    bool IsAllocated() const { return m_pText != nullptr; }
    bool AppendBytes(LPCSTR bytes, INT32 count);
    // One whole character of the text at position.
    bool AppendChar(LPCSTR position);
    // A wide text converted to the buffer's code page.
    bool AppendWide(LPCWSTR text);
    // Hands the allocation over; the caller frees it with CoTaskMemFree.
    LPSTR TakeText();

private:
    friend class CTestAccess;

    bool Reserve(INT32 needed);

    INT32 m_nLength = 0;
    INT32 m_nCapacity = 0;
    LPSTR m_pText = nullptr;
    UINT m_codePage;
};
