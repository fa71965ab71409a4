#include <gtest/gtest.h>

#include <string>

#include "support/Status.h"
#include "server/ModulePath.h"
#include "registration/TypeLibraryRegistration.h"
#include "tests/common/ThreadLocale.h"
#include "tests/registration/ModuleCopy.h"

namespace {

std::wstring Doubled(const wchar_t* source, UINT capacity)
{
    std::wstring buffer(capacity + 1, L'#');
    DoubleSingleQuotes(&buffer[0], capacity, source);
    return buffer;
}

TEST(DoubleSingleQuotes, DoublesEveryQuoteAndTerminates)
{
    EXPECT_EQ(std::wstring(L"C:\\Bob''s ''x''\\T.DLL\0#", 23), Doubled(L"C:\\Bob's 'x'\\T.DLL", 22));
    EXPECT_EQ(std::wstring(L"\0#", 2), Doubled(L"", 1));
}

TEST(DoubleSingleQuotes, CapacityZeroWritesNothing)
{
    EXPECT_EQ(L"#", Doubled(L"abc", 0));
}

TEST(DoubleSingleQuotes, CutsShortAtCapacityAndNeverSplitsPastIt)
{
    EXPECT_EQ(std::wstring(L"ab\0#", 4), Doubled(L"abc", 3));
    // Room for the quote but not for its second copy.
    EXPECT_EQ(std::wstring(L"a'\0#", 4), Doubled(L"a'b", 3));
    EXPECT_EQ(std::wstring(L"a''\0#", 5), Doubled(L"a'b", 4));
}

TEST(DoubleSingleQuotes, LongestPathOfQuotesFitsTheDoubledBuffer)
{
    std::wstring quotes(MAX_PATH - 1, L'\'');
    std::wstring buffer(2 * MAX_PATH, L'#');
    DoubleSingleQuotes(&buffer[0], 2 * MAX_PATH, quotes.c_str());
    EXPECT_EQ(std::wstring(2 * (MAX_PATH - 1), L'\''), std::wstring(buffer.c_str()));
}

std::string ExtensionOf(const char* path)
{
    std::string buffer = path;
    return FindPathExtension(&buffer[0]);
}

TEST(FindPathExtension, LastDotOfTheFileName)
{
    EXPECT_EQ(".DLL", ExtensionOf("C:\\dir\\Tandrel.DLL"));
    EXPECT_EQ(".x", ExtensionOf("C:\\dir\\a.b.x"));
    EXPECT_EQ(".x", ExtensionOf("a.x"));
}

TEST(FindPathExtension, DotOnlyInAFolderNameMeansNoExtension)
{
    std::string path = "C:\\lib.folder\\Tandrel";
    LPSTR end = FindPathExtension(&path[0]);
    EXPECT_EQ(&path[0] + path.size(), end);
    EXPECT_EQ("", std::string(end));
}

TEST(FindPathExtension, StepsThePathAsTheSystemWroteItWhateverTheThreadLocale)
{
    // 0x95 0x5C is one character in the thread's code page 932; in the
    // system's, where the module file name comes from, 0x5C is a folder
    // separator and the path ends in a folder "\\y" without extension.
    ASSERT_EQ(1252u, GetACP());
    CThreadLocale japanese(kJapaneseLocale);
    EXPECT_EQ("", ExtensionOf("C:\\dir\\file.x\x95\x5Cy"));
}

TEST(ReadModulePath, ReportsTheLoadedFileAndTheSystemErrorForAnUnknownModule)
{
    CHAR path[kModulePathBytes];
    CHAR expected[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameA(nullptr, expected, MAX_PATH));
    ASSERT_EQ(S_OK, ReadModulePath(nullptr, path));
    EXPECT_STREQ(expected, path);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), ReadModulePath(kNoModule, path));
}

TEST(FailureFromLastError, FailureThatLeftNoErrorIsNeverSuccess)
{
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(E_FAIL, FailureFromLastError());
    SetLastError(ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), FailureFromLastError());
    // A status stored as the last error passes unchanged.
    SetLastError(static_cast<DWORD>(E_ACCESSDENIED));
    EXPECT_EQ(E_ACCESSDENIED, FailureFromLastError());
}

} // namespace
