#include <gtest/gtest.h>

#include "registrar/RegistryKey.h"
#include "tests/common/SandboxedTest.h"
#include "tests/registrar/ScriptTestSupport.h"

using namespace RegistryProbe;

class RegistryKey : public SandboxedTest {};

TEST_F(RegistryKey, OpenReplacesTheHeldHandleOnlyWhenTheNewKeyOpened)
{
    CRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, "A"));
    const HKEY first = key.Get();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(HKEY_CURRENT_USER, "Missing", KEY_READ));
    EXPECT_EQ(first, key.Get());
    EXPECT_EQ(ERROR_SUCCESS, key.WriteString("still", "open"));

    EXPECT_EQ(ERROR_SUCCESS, key.Open(HKEY_CURRENT_USER, nullptr, KEY_READ));
    EXPECT_NE(nullptr, key.Get());
    // The first handle was closed when the second one took its place.
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegSetValueExA(first, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
    EXPECT_EQ(ERROR_SUCCESS, key.Close());
    EXPECT_EQ(nullptr, key.Get());
    EXPECT_EQ(ERROR_SUCCESS, key.Close());
    EXPECT_EQ(std::optional<std::string>("open"), ReadString(HKEY_CURRENT_USER, "A", "still"));
}

TEST_F(RegistryKey, CreateReportsItsDisposition)
{
    CRegistryKey key;
    DWORD disposition = 0;
    EXPECT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, "A\\B", nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_READ | KEY_WRITE, nullptr, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    EXPECT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, "A\\B", nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_READ | KEY_WRITE, nullptr, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "A\\B"));
}

TEST_F(RegistryKey, AttachedHandlesAreGivenBackUnclosed)
{
    HKEY raw = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "A", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &raw, nullptr));
    {
        CRegistryKey key;
        key.Attach(raw);
        EXPECT_EQ(ERROR_SUCCESS, key.WriteDword("n", 7));
        EXPECT_EQ(raw, key.Detach());
        EXPECT_EQ(nullptr, key.Get());
    }
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(raw, "after", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
    EXPECT_EQ(std::optional<DWORD>(7), ReadDword(HKEY_CURRENT_USER, "A", "n"));
    // Without the Detach the wrapper closes what it was lent.
    {
        CRegistryKey key;
        key.Attach(raw);
    }
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegSetValueExA(raw, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
}

TEST_F(RegistryKey, ReadDwordReportsOtherTypesAsInvalidData)
{
    CRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, "A"));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteDword("n", 0xFFFFFFFF));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteString("s", "12"));
    DWORD value = 0;
    EXPECT_EQ(ERROR_SUCCESS, key.ReadDword("n", &value));
    EXPECT_EQ(0xFFFFFFFFu, value);
    EXPECT_EQ(ERROR_INVALID_DATA, key.ReadDword("s", &value));
    // A REG_DWORD too short to fill the number is no number either.
    const WORD half = 30;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), "short", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&half),
                                            sizeof(half)));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), "empty", 0, REG_DWORD, nullptr, 0));
    EXPECT_EQ(ERROR_INVALID_DATA, key.ReadDword("short", &value));
    EXPECT_EQ(ERROR_INVALID_DATA, key.ReadDword("empty", &value));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.ReadDword("missing", &value));
}

// A four-byte value of another type fits the number's room exactly, so only
// reading it aside first keeps the caller's number as it was.
TEST_F(RegistryKey, ReadDwordLeavesTheNumberAsItWasOnEveryFailure)
{
    CRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, "A"));
    const BYTE four[] = {1, 2, 3, 4};
    const BYTE eight[] = {1, 2, 3, 4, 5, 6, 7, 8};
    const WORD half = 30;
    ASSERT_EQ(ERROR_SUCCESS, key.WriteString("text", "abc"));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteData("binary", REG_BINARY, four, sizeof(four)));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteData("big", REG_DWORD_BIG_ENDIAN, four, sizeof(four)));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteData("short", REG_DWORD, reinterpret_cast<const BYTE*>(&half), sizeof(half)));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteData("long", REG_BINARY, eight, sizeof(eight)));
    const struct {
        const char* name;
        LONG error;
    } cases[] = {
        {"text", ERROR_INVALID_DATA},  {"binary", ERROR_INVALID_DATA}, {"big", ERROR_INVALID_DATA},
        {"short", ERROR_INVALID_DATA}, {"long", ERROR_MORE_DATA},       {"missing", ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        DWORD value = 0x5EED5EED;
        EXPECT_EQ(c.error, key.ReadDword(c.name, &value)) << c.name;
        EXPECT_EQ(0x5EED5EEDu, value) << c.name;
    }
}

TEST_F(RegistryKey, StringWritersRefuseNullTextAndSizeMultiStringsToTheFirstEmptyItem)
{
    CRegistryKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Create(HKEY_CURRENT_USER, "A"));
    EXPECT_EQ(ERROR_INVALID_DATA, key.WriteString("s", nullptr));
    EXPECT_EQ(ERROR_INVALID_DATA, key.WriteMultiString("m", nullptr));
    EXPECT_EQ(ERROR_SUCCESS, key.WriteString("e", "%PATH%", REG_EXPAND_SZ));
    EXPECT_EQ(ERROR_SUCCESS, key.WriteMultiString("m", "one\0two\0\0"));
    EXPECT_EQ(ERROR_SUCCESS, key.WriteMultiString("cut", "a\0\0lost\0\0"));
    EXPECT_EQ(ERROR_SUCCESS, key.WriteMultiString("empty", ""));

    EXPECT_EQ(Raw(REG_MULTI_SZ, Bytes({'o', 'n', 'e', 0, 't', 'w', 'o', 0, 0})), ReadRaw(HKEY_CURRENT_USER, "A", "m"));
    EXPECT_EQ(Raw(REG_MULTI_SZ, Bytes({'a', 0, 0})), ReadRaw(HKEY_CURRENT_USER, "A", "cut"));
    EXPECT_EQ(Raw(REG_MULTI_SZ, Bytes({0})), ReadRaw(HKEY_CURRENT_USER, "A", "empty"));
    EXPECT_EQ(Raw(REG_EXPAND_SZ, Bytes({'%', 'P', 'A', 'T', 'H', '%', 0})), ReadRaw(HKEY_CURRENT_USER, "A", "e"));
    EXPECT_EQ(std::vector<std::string>({"cut", "e", "empty", "m"}), ValueNames(HKEY_CURRENT_USER, "A"));
}

TEST_F(RegistryKey, DeleteTreeRemovesEveryLevelAndReportsAnAbsentKey)
{
    CRegistryKey make;
    ASSERT_EQ(ERROR_SUCCESS, make.Create(HKEY_CURRENT_USER, "Top\\Tree\\L1a\\L2\\L3"));
    ASSERT_EQ(ERROR_SUCCESS, make.WriteString("v", "x"));
    ASSERT_EQ(ERROR_SUCCESS, make.Create(HKEY_CURRENT_USER, "Top\\Tree\\L1b"));
    ASSERT_EQ(ERROR_SUCCESS, make.Create(HKEY_CURRENT_USER, "Top\\Sibling"));
    make.Close();

    CRegistryKey top;
    ASSERT_EQ(ERROR_SUCCESS, top.Open(HKEY_CURRENT_USER, "Top", KEY_READ | KEY_WRITE));
    EXPECT_EQ(ERROR_SUCCESS, top.DeleteTree("Tree"));
    EXPECT_EQ(std::vector<std::string>({"Sibling"}), SubkeyNames(HKEY_CURRENT_USER, "Top"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, top.DeleteTree("Tree"));
}
