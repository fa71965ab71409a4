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

int CharacterCount(LPCSTR text, int bytes, UINT codePage)
{
    return bytes > 0 ? MultiByteToWideChar(codePage, 0, text, bytes, nullptr, 0) : 0;
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

// Bytes for the wide form of a text of length bytes plus its terminator:
// no byte of any code page gives more than one UTF-16 unit.
bool WideBytes(int length, INT32* bytes)
{
    if (length < 0 || length == 0x7FFFFFFF)
        return false;
    return SUCCEEDED(SafeMultiplySigned(bytes, length + 1, 2));
}

// Bytes for the ANSI form of text with its terminator, as the converter counts
// them: a character takes up to two bytes in a double-byte code page, three
// in UTF-8 (65001, which Windows may use as the system's ANSI code page),
// four for a surrogate pair. Zero when the text does not convert.
int AnsiBytes(LPCWSTR text, UINT codePage)
{
    return WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
}

} // namespace

LPWSTR CTextConverter::ToWide(LPCSTR text, UINT codePage)
{
    INT32 bytes;
    if (!text || !WideBytes(lstrlenA(text), &bytes))
        return nullptr;
    auto* buffer = static_cast<LPWSTR>(m_buffers.Allocate(static_cast<UINT32>(bytes)));
    return AnsiToWide(buffer, text, bytes / 2, codePage);
}

LPSTR CTextConverter::ToAnsi(LPCWSTR text, UINT codePage)
{
    const int bytes = text ? AnsiBytes(text, codePage) : 0;
    if (bytes <= 0)
        return nullptr;
    auto* buffer = static_cast<LPSTR>(m_buffers.Allocate(static_cast<UINT32>(bytes)));
    return WideToAnsi(buffer, text, bytes, codePage);
}
