#include "registrar/ScriptTextBuffer.h"

#include "support/TextConversion.h"

namespace {

constexpr INT32 kLargestDoublableCapacity = 0x3FFFFFFF;

} // namespace

CScriptTextBuffer::CScriptTextBuffer(INT32 initialCapacity, UINT codePage) : m_codePage(codePage)
{
    if (initialCapacity <= 0)
        return;
    m_pText = static_cast<LPSTR>(CoTaskMemAlloc(static_cast<SIZE_T>(initialCapacity)));
    if (!m_pText)
        return;
    m_nCapacity = initialCapacity;
    m_pText[0] = '\0';
}

CScriptTextBuffer::~CScriptTextBuffer()
{
    CoTaskMemFree(m_pText);
}

bool CScriptTextBuffer::Reserve(INT32 needed)
{
    if (needed < m_nCapacity)
        return true;
    INT32 capacity = m_nCapacity;
    while (needed >= capacity) {
        if (capacity > kLargestDoublableCapacity)
            return false;
        capacity *= 2;
    }
    auto* grown = static_cast<LPSTR>(CoTaskMemRealloc(m_pText, static_cast<SIZE_T>(capacity)));
    if (!grown)
        return false;
    m_pText = grown;
    m_nCapacity = capacity;
    return true;
}

bool CScriptTextBuffer::AppendBytes(LPCSTR bytes, INT32 count)
{
    if (!m_pText || count < 0)
        return false;
    // Computed unsigned so that an overflow shows as a sum that is not larger
    // than its parts.
    const UINT32 needed = static_cast<UINT32>(m_nLength) + static_cast<UINT32>(count) + 1;
    if (needed > 0x7FFFFFFF || needed <= static_cast<UINT32>(m_nLength) || needed <= static_cast<UINT32>(count))
        return false;
    if (!Reserve(static_cast<INT32>(needed)))
        return false;
    CopyMemory(m_pText + m_nLength, bytes, static_cast<SIZE_T>(count));
    m_nLength += count;
    m_pText[m_nLength] = '\0';
    return true;
}

bool CScriptTextBuffer::AppendChar(LPCSTR position)
{
    return AppendBytes(position, static_cast<INT32>(NextChar(position, m_codePage) - position));
}

bool CScriptTextBuffer::AppendWide(LPCWSTR text)
{
    if (!text)
        return false;
    CTextConverter converter;
    LPCSTR converted = converter.ToAnsi(text, m_codePage);
    return converted && AppendBytes(converted, lstrlenA(converted));
}

LPSTR CScriptTextBuffer::TakeText()
{
    LPSTR text = m_pText;
    m_pText = nullptr;
    m_nLength = 0;
    m_nCapacity = 0;
    return text;
}
