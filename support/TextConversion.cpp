#include "support/TextConversion.h"

#include "support/SafeArithmetic.h"

LPWSTR AnsiToWide(LPWSTR dest, LPCSTR src, int capacityChars, UINT codePage)
{
    if (!dest || !src)
        return nullptr;
    if (capacityChars > 0)
        dest[0] = L'\0';
    if (MultiByteToWideChar(codePage, 0, src, -1, dest, capacityChars) == 0)
        return nullptr;
    return dest;
}

LPSTR WideToAnsi(LPSTR dest, LPCWSTR src, int capacityBytes, UINT codePage)
{
    if (!dest || !src)
        return nullptr;
    if (capacityBytes > 0)
        dest[0] = '\0';
    if (WideCharToMultiByte(codePage, 0, src, -1, dest, capacityBytes, nullptr, nullptr) == 0)
        return nullptr;
    return dest;
}

LPCSTR NextChar(LPCSTR text, UINT codePage)
{
    if (*text == '\0')
        return text;
    if (IsDBCSLeadByteEx(codePage, static_cast<BYTE>(*text)) && text[1] != '\0')
        return text + 2;
    return text + 1;
}

namespace {

// Bytes for a text of length units plus its terminator, two bytes per unit.
// Either direction needs the same: wide characters are two bytes, and an
// ANSI text may need two bytes per character in a double-byte code page.
bool ConvertedBytes(int length, INT32* bytes)
{
    if (length < 0 || length == 0x7FFFFFFF)
        return false;
    return SUCCEEDED(SafeMultiplySigned(bytes, length + 1, 2));
}

} // namespace

LPWSTR CTextConverter::ToWide(LPCSTR text, UINT codePage)
{
    INT32 bytes;
    if (!text || !ConvertedBytes(lstrlenA(text), &bytes))
        return nullptr;
    auto* buffer = static_cast<LPWSTR>(m_buffers.Allocate(static_cast<UINT32>(bytes)));
    return AnsiToWide(buffer, text, bytes / 2, codePage);
}

LPSTR CTextConverter::ToAnsi(LPCWSTR text, UINT codePage)
{
    INT32 bytes;
    if (!text || !ConvertedBytes(lstrlenW(text), &bytes))
        return nullptr;
    auto* buffer = static_cast<LPSTR>(m_buffers.Allocate(static_cast<UINT32>(bytes)));
    return WideToAnsi(buffer, text, bytes, codePage);
}
