#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>

#include "tests/common/ThreadLocale.h"
#include "support/BoundedCopy.h"
#include "support/Status.h"

namespace {

HRESULT StatusOf(void (*copy)())
{
    try {
        copy();
    } catch (const CStatusException& e) {
        return e.Status();
    }
    return S_OK;
}

} // namespace

TEST(BoundedCopy, MemcpyFitsExactlyAndClearsTheDestinationWhenTooSmall)
{
    char dest[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(0, BoundedMemcpy(dest, 4, "abcd", 4));
    EXPECT_EQ(0, memcmp(dest, "abcd", 4));
    EXPECT_EQ(ERANGE, BoundedMemcpy(dest, 4, "abcde", 5));
    EXPECT_EQ(0, memcmp(dest, "\0\0\0\0", 4));
    EXPECT_EQ(EINVAL, BoundedMemcpy(nullptr, 4, "a", 1));
    EXPECT_EQ(EINVAL, BoundedMemcpy(dest, 4, nullptr, 1));
    EXPECT_EQ(0, BoundedMemcpy(nullptr, 0, nullptr, 0)) << "nothing to copy is no error";
}

TEST(BoundedCopy, StrcpyNeedsRoomForTheTerminator)
{
    char dest[4];
    EXPECT_EQ(0, BoundedStrcpy(dest, 4, "abc"));
    EXPECT_STREQ("abc", dest);
    EXPECT_EQ(ERANGE, BoundedStrcpy(dest, 4, "abcd"));
    EXPECT_STREQ("", dest);
    EXPECT_EQ(EINVAL, BoundedStrcpy(dest, 0, "a"));
    EXPECT_EQ(EINVAL, BoundedStrcpy(dest, 4, nullptr));
    EXPECT_STREQ("", dest);
}

TEST(BoundedCopy, WcsncpyCopiesCountOrTruncatesOnRequest)
{
    wchar_t dest[4];
    EXPECT_EQ(0, BoundedWcsncpy(dest, 4, L"abcdef", 3));
    EXPECT_STREQ(L"abc", dest);
    EXPECT_EQ(ERANGE, BoundedWcsncpy(dest, 4, L"abcdef", 4));
    EXPECT_STREQ(L"", dest);
    EXPECT_EQ(STRUNCATE, BoundedWcsncpy(dest, 4, L"abcdef", kTruncate));
    EXPECT_STREQ(L"abc", dest);
    EXPECT_EQ(0, BoundedWcsncpy(dest, 4, L"ab", kTruncate));
    EXPECT_STREQ(L"ab", dest);
    EXPECT_EQ(0, BoundedWcsncpy(dest, 4, L"abc", 0));
    EXPECT_STREQ(L"", dest);
}

TEST(BoundedCopy, MultiByteTruncationCutsBetweenCharactersOfTheSystemCodePage)
{
    // "a" followed by two Shift-JIS characters whose trail bytes are 0x5C:
    // in the system's single-byte code page every byte is a character of its
    // own, whatever the thread's locale.
    ASSERT_EQ(1252u, GetACP());
    CThreadLocale japanese(kJapaneseLocale);
    const unsigned char text[] = {'a', 0x95, 0x5C, 0x83, 0x5C, 0};
    unsigned char dest[5];
    EXPECT_EQ(STRUNCATE, BoundedMbsnbcpy(dest, 5, text, kTruncate));
    EXPECT_EQ(4u, strlen(reinterpret_cast<char*>(dest)));
    EXPECT_EQ(0, memcmp(dest, text, 4));

    unsigned char narrow[3];
    EXPECT_EQ(STRUNCATE, BoundedMbsnbcpy(narrow, 3, text, kTruncate));
    EXPECT_EQ(2u, strlen(reinterpret_cast<char*>(narrow)));
}

TEST(BoundedCopy, ThrowingFormsRaiseTheMappedStatusAndPassTruncation)
{
    EXPECT_EQ(E_INVALIDARG, StatusOf([] {
        char dest[2];
        CopyStringOrThrow(dest, 2, "ab");
    }));
    EXPECT_EQ(E_INVALIDARG, StatusOf([] {
        char dest[2];
        CopyMemoryOrThrow(dest, 2, "abc", 3);
    }));
    wchar_t dest[3];
    EXPECT_EQ(STRUNCATE, CopyWideCountOrThrow(dest, 3, L"abcd", kTruncate));
    EXPECT_STREQ(L"ab", dest);
    unsigned char bytes[3];
    EXPECT_EQ(0, CopyMultiByteCountOrThrow(bytes, 3, reinterpret_cast<const unsigned char*>("xy"), 2));
}

TEST(BoundedCopy, CopyWideBoundedReportsFitWithoutRaising)
{
    wchar_t dest[4];
    EXPECT_TRUE(CopyWideBounded(dest, 4, L"abc"));
    EXPECT_STREQ(L"abc", dest);
    EXPECT_FALSE(CopyWideBounded(dest, 3, L"abc"));
    EXPECT_FALSE(CopyWideBounded(dest, 4, nullptr));
}
