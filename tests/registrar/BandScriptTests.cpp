#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/common/SandboxedTest.h"
#include "tests/registrar/ScriptTestSupport.h"

using namespace RegistryProbe;

namespace {

const std::string kClassKey = std::string("CLSID\\") + kBandClassId;
const char kToolbar[] = "Software\\Microsoft\\Internet Explorer\\Toolbar";

// What a registration leaves, as the sandbox dump shows it.
std::string RegisteredDump()
{
    const std::string cls = "HKCR\\" + kClassKey;
    const std::string id = std::string("\"") + kBandClassId + "\"";
    return SortedDump({
        "HKCR\\Tandrel.RefresherBand.1",
        "HKCR\\Tandrel.RefresherBand.1 : @ = SZ \"Tandrel\"",
        "HKCR\\Tandrel.RefresherBand.1\\CLSID",
        "HKCR\\Tandrel.RefresherBand.1\\CLSID : @ = SZ " + id,
        "HKCR\\Tandrel.RefresherBand",
        "HKCR\\Tandrel.RefresherBand : @ = SZ \"Tandrel\"",
        "HKCR\\Tandrel.RefresherBand\\CLSID",
        "HKCR\\Tandrel.RefresherBand\\CLSID : @ = SZ " + id,
        "HKCR\\Tandrel.RefresherBand\\CurVer",
        "HKCR\\Tandrel.RefresherBand\\CurVer : @ = SZ \"Tandrel.RefresherBand.1\"",
        "HKCR\\CLSID",
        cls,
        cls + " : @ = SZ \"Tandrel\"",
        cls + "\\ProgID",
        cls + "\\ProgID : @ = SZ \"Tandrel.RefresherBand.1\"",
        cls + "\\VersionIndependentProgID",
        cls + "\\VersionIndependentProgID : @ = SZ \"Tandrel.RefresherBand\"",
        cls + "\\Programmable",
        cls + "\\InprocServer32",
        cls + "\\InprocServer32 : @ = SZ \"" + kModulePath + "\"",
        cls + "\\InprocServer32 : ThreadingModel = SZ \"Apartment\"",
        cls + "\\TypeLib",
        cls + "\\TypeLib : @ = SZ \"{A9E4C1B7-2F60-4D83-9B15-7C0E3D58F2A4}\"",
        "HKLM\\Software",
        "HKLM\\Software\\Microsoft",
        "HKLM\\Software\\Microsoft\\Internet Explorer",
        "HKLM\\Software\\Microsoft\\Internet Explorer\\Toolbar",
        "HKLM\\Software\\Microsoft\\Internet Explorer\\Toolbar : " + std::string(kBandClassId) + " = SZ \"0\"",
    });
}

// What stays after unregistering: the keys marked NoRemove.
std::string NoRemoveKeysDump()
{
    return SortedDump({
        "HKCR\\CLSID",
        "HKLM\\Software",
        "HKLM\\Software\\Microsoft",
        "HKLM\\Software\\Microsoft\\Internet Explorer",
        "HKLM\\Software\\Microsoft\\Internet Explorer\\Toolbar",
    });
}

} // namespace

class BandScript : public SandboxedTest {};

// Every test here runs the script text below; it must be the text the DLL
// carries, byte for byte (CR LF line ends, tabs, no line end after the last
// brace).
TEST_F(BandScript, TheTestedScriptIsTheOneTheDllCarries)
{
    std::ifstream file(TANDREL_BAND_SCRIPT_PATH, std::ios::binary);
    ASSERT_TRUE(file.is_open()) << TANDREL_BAND_SCRIPT_PATH;
    const std::string shipped((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(std::string(kBandScript), shipped);
}

TEST_F(BandScript, RegisteringWritesExactlyTheBandsEntriesAndNothingElse)
{
    EXPECT_EQ(S_OK, RunScriptText(kBandScript, TRUE));
    EXPECT_EQ(RegisteredDump(), Sandbox().Dump());
    // The quote doubled for the script comes back single in the registry.
    EXPECT_EQ(std::optional<std::string>(kModulePath), ReadString(HKEY_CLASSES_ROOT, kClassKey + "\\InprocServer32", ""));
}

TEST_F(BandScript, UnregisteringRemovesEverythingButTheNoRemoveKeys)
{
    ASSERT_EQ(S_OK, RunScriptText(kBandScript, TRUE));
    EXPECT_EQ(S_OK, RunScriptText(kBandScript, FALSE));
    EXPECT_EQ(NoRemoveKeysDump(), Sandbox().Dump());
}

TEST_F(BandScript, UnregisteringWhenNothingIsRegisteredSucceedsAndCreatesNothing)
{
    EXPECT_EQ(S_OK, RunScriptText(kBandScript, FALSE));
    EXPECT_TRUE(Sandbox().IsEmpty()) << Sandbox().Dump();
}

TEST_F(BandScript, UnregisterKeepsTheClassKeyWhenItHasAForeignSubkey)
{
    ASSERT_EQ(S_OK, RunScriptText(kBandScript, TRUE));
    ASSERT_EQ(ERROR_SUCCESS, CreateKeyWithValue(HKEY_CLASSES_ROOT, kClassKey + "\\Implemented Categories"));
    EXPECT_EQ(S_OK, RunScriptText(kBandScript, FALSE));
    EXPECT_EQ(SortedDump({
                  "HKCR\\CLSID",
                  "HKCR\\" + kClassKey,
                  "HKCR\\" + kClassKey + " : @ = SZ \"Tandrel\"",
                  "HKCR\\" + kClassKey + "\\Implemented Categories",
                  "HKLM\\Software",
                  "HKLM\\Software\\Microsoft",
                  "HKLM\\Software\\Microsoft\\Internet Explorer",
                  "HKLM\\Software\\Microsoft\\Internet Explorer\\Toolbar",
              }),
              Sandbox().Dump());
}

TEST_F(BandScript, UnregisterLeavesOtherBandsAndOtherClasses)
{
    ASSERT_EQ(ERROR_SUCCESS, CreateKeyWithValue(HKEY_CLASSES_ROOT, "CLSID\\{Other}"));
    ASSERT_EQ(ERROR_SUCCESS, CreateKeyWithValue(HKEY_LOCAL_MACHINE, kToolbar, "{OtherBand}", "x"));
    ASSERT_EQ(S_OK, RunScriptText(kBandScript, TRUE));
    EXPECT_EQ(S_OK, RunScriptText(kBandScript, FALSE));
    EXPECT_EQ(std::vector<std::string>({"{OtherBand}"}), ValueNames(HKEY_LOCAL_MACHINE, kToolbar));
    EXPECT_EQ(std::vector<std::string>({"{Other}"}), SubkeyNames(HKEY_CLASSES_ROOT, "CLSID"));
    EXPECT_EQ(std::vector<std::string>({"CLSID"}), SubkeyNames(HKEY_CLASSES_ROOT, ""));
}

TEST_F(BandScript, RegisteringAgainRebuildsTheClassKeyFromScratch)
{
    ASSERT_EQ(S_OK, RunScriptText(kBandScript, TRUE));
    ASSERT_EQ(ERROR_SUCCESS, CreateKeyWithValue(HKEY_CLASSES_ROOT, kClassKey + "\\Stale\\Deeper", "v", "x"));
    ASSERT_EQ(ERROR_SUCCESS, CreateKeyWithValue(HKEY_CLASSES_ROOT, kClassKey, "Stale", "x"));
    EXPECT_EQ(S_OK, RunScriptText(kBandScript, TRUE));
    EXPECT_EQ(RegisteredDump(), Sandbox().Dump());
}

// Writing under HKEY_LOCAL_MACHINE refused: the classes stay registered, the
// machine block takes back what it created, and the registry's error comes
// back.
TEST_F(BandScript, RefusedToolbarWriteKeepsTheClassEntriesAndReportsTheError)
{
    {
        CRestrictedKey toolbar(HKEY_LOCAL_MACHINE, kToolbar, KEY_READ | WRITE_DAC);
        EXPECT_EQ(E_ACCESSDENIED, RunScriptText(kBandScript, TRUE));
        EXPECT_TRUE(ValueNames(HKEY_LOCAL_MACHINE, kToolbar).empty());
    }
    std::string expected = RegisteredDump();
    const std::string toolbarValue =
        "HKLM\\Software\\Microsoft\\Internet Explorer\\Toolbar : " + std::string(kBandClassId) + " = SZ \"0\"\n";
    expected.erase(expected.find(toolbarValue), toolbarValue.size());
    EXPECT_EQ(expected, Sandbox().Dump());
}
