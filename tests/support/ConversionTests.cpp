#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "tests/common/ProcessMemory.h"
#include "tests/common/ThreadLocale.h"
#include "support/TextConversion.h"
#include "tests/common/TestAccess.h"


namespace {

// "Nihon" in Shift-JIS: two double-byte characters.
const char kNihonShiftJis[] = "\x93\xfa\x96\x7b";

} // namespace

TEST(AnsiToWide, EmptySourceGivesEmptyDestination)
{
    wchar_t dest[4] = {L'x', L'x', L'x', 0};
    EXPECT_EQ(dest, AnsiToWide(dest, "", 4, CP_ACP));
    EXPECT_STREQ(L"", dest);
}

TEST(AnsiToWide, NullPointersGiveNullAndTouchNothing)
{
    wchar_t dest[4] = {L'x', 0};
    EXPECT_EQ(nullptr, AnsiToWide(dest, nullptr, 4, CP_ACP));
    EXPECT_STREQ(L"x", dest);
    EXPECT_EQ(nullptr, AnsiToWide(nullptr, "a", 4, CP_ACP));
    char narrow[4] = {'x', 0};
    EXPECT_EQ(nullptr, WideToAnsi(narrow, nullptr, 4, CP_ACP));
    EXPECT_STREQ("x", narrow);
}

TEST(AnsiToWide, TooSmallDestinationFailsWithNull)
{
    wchar_t dest[3];
    EXPECT_EQ(nullptr, AnsiToWide(dest, "abc", 3, CP_ACP)) << "the terminator needs a fourth character";
    char narrow[3];
    EXPECT_EQ(nullptr, WideToAnsi(narrow, L"abc", 3, CP_ACP));
}

TEST(TextConverter, ConvertsInTheSystemCodePageWhateverTheThreadLocale)
{
    ASSERT_EQ(1252u, GetACP());
    CThreadLocale japanese(kJapaneseLocale);
    // 0xE9 is "e acute" in code page 1252, a lead byte in 932 and a theta in
    // the OEM code page 437.
    CTextConverter converter;
    LPWSTR wide = converter.ToWide("Caf\xE9\\x");
    ASSERT_NE(nullptr, wide);
    EXPECT_STREQ(L"Caf\x00E9\\x", wide);

    LPSTR back = converter.ToAnsi(L"Caf\x00E9");
    ASSERT_NE(nullptr, back);
    EXPECT_STREQ("Caf\xE9", back);
}

TEST(TextConverter, NamedDoubleByteCodePageConvertsWholeCharacters)
{
    CTextConverter converter;
    LPWSTR wide = converter.ToWide(kNihonShiftJis, 932);
    ASSERT_NE(nullptr, wide);
    EXPECT_STREQ(L"\x65e5\x672c", wide);

    LPSTR back = converter.ToAnsi(wide, 932);
    ASSERT_NE(nullptr, back);
    EXPECT_STREQ(kNihonShiftJis, back);
}

// With UTF-8 as the system's ANSI code page (65001), a CJK character takes
// three bytes: text of such characters needs more than two bytes each.
TEST(TextConverter, Utf8TextOfThreeByteCharactersIsSizedByWhatItNeeds)
{
    const std::wstring yamada = L"\x5c71\x7530";
    CTextConverter converter;
    LPSTR name = converter.ToAnsi(yamada.c_str(), CP_UTF8);
    ASSERT_NE(nullptr, name);
    EXPECT_STREQ("\xe5\xb1\xb1\xe7\x94\xb0", name);

    // 341 characters and the terminator fill the frame's 1024 bytes; one
    // more goes to the heap.
    const std::wstring fits(341, L'\x5c71');
    CTextConverter frame;
    LPSTR inFrame = frame.ToAnsi(fits.c_str(), CP_UTF8);
    ASSERT_NE(nullptr, inFrame);
    EXPECT_TRUE(CTestAccess::IsInFrame(frame, inFrame));
    EXPECT_EQ(1023, lstrlenA(inFrame));
    const std::wstring spills = fits + L'\x7530';
    CTextConverter heap;
    LPSTR onHeap = heap.ToAnsi(spills.c_str(), CP_UTF8);
    ASSERT_NE(nullptr, onHeap);
    EXPECT_FALSE(CTestAccess::IsInFrame(heap, onHeap));
    LPCWSTR back = heap.ToWide(onHeap, CP_UTF8);
    ASSERT_NE(nullptr, back);
    EXPECT_EQ(spills, back);
}

TEST(NextChar, StepsOverWholeDoubleByteCharacters)
{
    // The trail byte of the first character is 0x5C, the backslash's value.
    const char text[] = "\x95\x5c" "a";
    EXPECT_EQ(text + 1, NextChar(text, 1252));
    EXPECT_EQ(text + 2, NextChar(text, 932));
    EXPECT_EQ(text + 3, NextChar(text + 2, 932));
    EXPECT_EQ(text + 3, NextChar(text + 3, 932)) << "the terminator is never passed";
    const char cut[] = "\x95";
    EXPECT_EQ(cut + 1, NextChar(cut, 932)) << "a lead byte at the end stands alone";
}

TEST(TextConverter, BufferOf1024BytesIsInTheFrameAnd1025IsOnTheHeap)
{
    CTextConverter small;
    void* inFrame = CTestAccess::Allocate(small, 1024);
    EXPECT_TRUE(CTestAccess::IsInFrame(small, inFrame));

    CTextConverter large;
    void* onHeap = CTestAccess::Allocate(large, 1025);
    ASSERT_NE(nullptr, onHeap);
    EXPECT_FALSE(CTestAccess::IsInFrame(large, onHeap));
    memset(onHeap, 0xAB, 1025);
}

TEST(TextConverter, TextOf511CharactersConvertsInTheFrameAnd512OnTheHeap)
{
    const std::string fits(511, 'q');
    const std::string spills(512, 'q');
    CTextConverter converter;
    LPWSTR first = converter.ToWide(fits.c_str());
    ASSERT_NE(nullptr, first);
    EXPECT_TRUE(CTestAccess::IsInFrame(converter, first));
    EXPECT_EQ(511, lstrlenW(first));

    CTextConverter other;
    LPWSTR second = other.ToWide(spills.c_str());
    ASSERT_NE(nullptr, second);
    EXPECT_FALSE(CTestAccess::IsInFrame(other, second));
    EXPECT_EQ(512, lstrlenW(second));
}

TEST(TextConverter, SecondConversionDoesNotOverwriteTheFirst)
{
    CTextConverter converter;
    LPWSTR first = converter.ToWide("first");
    LPWSTR second = converter.ToWide("second");
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    EXPECT_STREQ(L"first", first);
    EXPECT_STREQ(L"second", second);
}

TEST(TextConverter, NullTextAndFailedConversionGiveNull)
{
    CTextConverter converter;
    EXPECT_EQ(nullptr, converter.ToWide(nullptr));
    EXPECT_EQ(nullptr, converter.ToAnsi(nullptr));
    // An invalid code page makes the platform conversion fail.
    EXPECT_EQ(nullptr, converter.ToWide("abc", 12345));
}

TEST(TextConverter, HeapBlocksAreGoneWhenTheOperationEnds)
{
    const std::string text(4000, 'z');
    auto convertOnce = [&] {
        CTextConverter converter;
        return converter.ToWide(text.c_str()) != nullptr;
    };
    ASSERT_TRUE(convertOnce());
    const SIZE_T before = PrivateBytes();
    for (int i = 0; i < 20000; ++i)
        ASSERT_TRUE(convertOnce());
    // Kept blocks would add 20000 x 8 KB = 160 MB.
    EXPECT_LT(PrivateBytes() - before, SIZE_T(8) << 20);
}
