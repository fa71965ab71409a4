#include "support/BoundedCopy.h"

#include <errno.h>
#include <string.h>
#include <wchar.h>

#include "support/Status.h"
#include "support/TextConversion.h"

int BoundedMemcpy(void* dest, size_t destBytes, const void* src, size_t count)
{
    if (count == 0)
        return 0;
    if (!dest)
        return EINVAL;
    if (!src || destBytes < count) {
        memset(dest, 0, destBytes);
        return src ? ERANGE : EINVAL;
    }
    memcpy(dest, src, count);
    return 0;
}

int BoundedStrcpy(char* dest, size_t destSize, const char* src)
{
    if (!dest || destSize == 0)
        return EINVAL;
    if (!src) {
        dest[0] = '\0';
        return EINVAL;
    }
    const size_t length = strlen(src);
    if (length >= destSize) {
        dest[0] = '\0';
        return ERANGE;
    }
    memcpy(dest, src, length + 1);
    return 0;
}

namespace {

// Shared by the counted copies: copies up to count units or up to the
// source's terminator, truncating on request.
template <typename Unit, typename TrimTail>
int CountedCopy(Unit* dest, size_t destSize, const Unit* src, size_t count, TrimTail trimTail)
{
    if (count == 0 && !dest && destSize == 0)
        return 0;
    if (!dest || destSize == 0)
        return EINVAL;
    if (count == 0) {
        dest[0] = 0;
        return 0;
    }
    if (!src) {
        dest[0] = 0;
        return EINVAL;
    }
    size_t length = 0;
    while (length < count && src[length] != 0)
        ++length;
    if (length < destSize) {
        memcpy(dest, src, length * sizeof(Unit));
        dest[length] = 0;
        return 0;
    }
    if (count != kTruncate) {
        dest[0] = 0;
        return ERANGE;
    }
    size_t kept = trimTail(src, destSize - 1);
    memcpy(dest, src, kept * sizeof(Unit));
    dest[kept] = 0;
    return STRUNCATE;
}

} // namespace

int BoundedWcsncpy(wchar_t* dest, size_t destSize, const wchar_t* src, size_t count)
{
    return CountedCopy(dest, destSize, src, count, [](const wchar_t*, size_t kept) { return kept; });
}

int BoundedMbsnbcpy(unsigned char* dest, size_t destSize, const unsigned char* src, size_t count)
{
    // A cut must not leave a lead byte without its trail byte. The copied
    // text is 8-bit text as the platform's ANSI functions take it.
    auto wholeCharacters = [](const unsigned char* text, size_t kept) {
        size_t position = 0;
        while (position < kept) {
            const auto* character = reinterpret_cast<LPCSTR>(text + position);
            const size_t width = NextChar(character, CP_ACP) - character;
            if (position + width > kept)
                break;
            position += width;
        }
        return position;
    };
    return CountedCopy(dest, destSize, src, count, wholeCharacters);
}

int CopyMemoryOrThrow(void* dest, size_t destBytes, const void* src, size_t count)
{
    return ThrowOnCrtError(BoundedMemcpy(dest, destBytes, src, count));
}

int CopyStringOrThrow(char* dest, size_t destSize, const char* src)
{
    return ThrowOnCrtError(BoundedStrcpy(dest, destSize, src));
}

int CopyWideCountOrThrow(wchar_t* dest, size_t destSize, const wchar_t* src, size_t count)
{
    return ThrowOnCrtError(BoundedWcsncpy(dest, destSize, src, count));
}

int CopyMultiByteCountOrThrow(unsigned char* dest, size_t destSize, const unsigned char* src, size_t count)
{
    return ThrowOnCrtError(BoundedMbsnbcpy(dest, destSize, src, count));
}

BOOL CopyWideBounded(wchar_t* dest, size_t capacity, const wchar_t* src)
{
    if (!src)
        return FALSE;
    const size_t bytes = (wcslen(src) + 1) * sizeof(wchar_t);
    return BoundedMemcpy(dest, capacity * sizeof(wchar_t), src, bytes) == 0;
}
