#include <gtest/gtest.h>

#include "tests/common/RegistrySandbox.h"

namespace {

const char kProbeKey[] = "TandrelSandboxProbe";

bool RealKeyExists(HKEY root)
{
    return RegistryProbe::KeyExists(root, kProbeKey);
}

void CreateProbe(HKEY root)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, kProbeKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2));
    RegCloseKey(key);
}

} // namespace

// Every registry test relies on this: what code writes to a predefined root
// lands in the sandbox and is gone afterwards.
TEST(RegistrySandbox, WritesToEveryRootLandInTheSandboxAndVanishWithIt)
{
    const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS};
    {
        CRegistrySandbox sandbox;
        EXPECT_TRUE(sandbox.IsEmpty());
        for (HKEY root : roots)
            CreateProbe(root);
        EXPECT_EQ("HKCR\\TandrelSandboxProbe\nHKCR\\TandrelSandboxProbe : v = SZ \"x\"\n"
                  "HKCU\\TandrelSandboxProbe\nHKCU\\TandrelSandboxProbe : v = SZ \"x\"\n"
                  "HKLM\\TandrelSandboxProbe\nHKLM\\TandrelSandboxProbe : v = SZ \"x\"\n"
                  "HKU\\TandrelSandboxProbe\nHKU\\TandrelSandboxProbe : v = SZ \"x\"\n",
                  sandbox.Dump());
        EXPECT_EQ(std::string("x"), RegistryProbe::ReadString(HKEY_LOCAL_MACHINE, kProbeKey, "v").value_or(""));
    }
    for (HKEY root : roots)
        EXPECT_FALSE(RealKeyExists(root));
    EXPECT_TRUE(RegistryProbe::SubkeyNames(HKEY_CURRENT_USER, "Software\\TandrelTestSandbox").empty());
}

TEST(RegistryProbe, DumpTreeListsKeysAndTypedValues)
{
    CRegistrySandbox sandbox;
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, "A\\B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const DWORD number = 0x1234;
    RegSetValueExA(key, "n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
    RegSetValueExA(key, nullptr, 0, REG_BINARY, reinterpret_cast<const BYTE*>("\x0a\x0b"), 2);
    RegCloseKey(key);
    EXPECT_EQ("\nB\nB : @ = BINARY 0a0b\nB : n = DWORD 0x00001234\n", RegistryProbe::DumpTree(HKEY_CLASSES_ROOT, "A"));
    EXPECT_EQ(std::optional<DWORD>(0x1234), RegistryProbe::ReadDword(HKEY_CLASSES_ROOT, "A\\B", "n"));
    EXPECT_FALSE(RegistryProbe::ReadString(HKEY_CLASSES_ROOT, "A\\B", "n").has_value());
}
