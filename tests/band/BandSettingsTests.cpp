// The remembered interval: what "Remember Settings" writes for the current
// user and what the next band reads back (what each stored number means is
// the schedule's, RefreshScheduleTests).
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/band/BandHarness.h"
#include "tests/common/SandboxedTest.h"

namespace {

const char kSettingsPath[] = "Software\\Tandrel";

void StoreRaw(DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsPath, 0, nullptr, 0, KEY_WRITE, nullptr,
                                             &key, nullptr));
    if (data) {
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Interval", 0, type, static_cast<const BYTE*>(data), size));
    }
    RegCloseKey(key);
}

// Sets the settings key's access list; null gives everyone full access.
void SetSettingsKeyAcl(PACL acl)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsPath, 0, WRITE_DAC, &key));
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
    EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor));
    RegCloseKey(key);
}

void StoreInterval(DWORD value)
{
    StoreRaw(REG_DWORD, &value, sizeof(value));
}

// The timer periods the band set while it was being sited.
std::vector<UINT> PeriodsSetWhileOpening(CBandHarness& host)
{
    TimerCalls().clear();
    EXPECT_EQ(S_OK, host.Open());
    std::vector<UINT> periods;
    for (const TimerCall& call : TimerCalls()) {
        if (call.set) {
            EXPECT_EQ(host.BandWindow(), call.window);
            EXPECT_EQ(1u, call.id);
            periods.push_back(call.period);
        }
    }
    return periods;
}

void ExpectBandStartsOff()
{
    CBandHarness host;
    EXPECT_TRUE(PeriodsSetWhileOpening(host).empty());
    EXPECT_EQ("No Refresh", PaintedText(host.BandWindow()));
}

class RememberedSettings : public SandboxedTest {};

TEST_F(RememberedSettings, NoKeyMeansNoRefreshAndReadingCreatesNothing)
{
    ExpectBandStartsOff();
    EXPECT_FALSE(RegistryProbe::KeyExists(HKEY_CURRENT_USER, kSettingsPath));
    EXPECT_TRUE(Sandbox().IsEmpty());
}

TEST_F(RememberedSettings, KeyWithoutValueMeansNoRefresh)
{
    StoreRaw(REG_DWORD, nullptr, 0);
    ExpectBandStartsOff();
}

TEST_F(RememberedSettings, ZeroMeansNoRefresh)
{
    StoreInterval(0);
    ExpectBandStartsOff();
}

TEST_F(RememberedSettings, StoredIntervalIsShownAndTimedAtConnection)
{
    StoreInterval(30);
    CBandHarness host;
    EXPECT_EQ(std::vector<UINT>{30000}, PeriodsSetWhileOpening(host));
    EXPECT_EQ("Every 30 seconds", PaintedText(host.BandWindow()));
}

// A timer on no window would be a thread timer that nothing ever stops, and a
// redraw of no window repaints the desktop.
TEST_F(RememberedSettings, StoredIntervalWithoutABandWindowStartsNoTimer)
{
    StoreInterval(30);
    CBandHarness host(kSiteInputObjectSite | kSiteCommandTarget | kSiteServiceProvider);
    EXPECT_TRUE(PeriodsSetWhileOpening(host).empty());
    EXPECT_TRUE(TimerCalls().empty());
    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(S_OK, host.Band()->GetWindow(&window));
    EXPECT_EQ(nullptr, window);
}

TEST_F(RememberedSettings, ValueOfAnotherTypeIsIgnored)
{
    StoreRaw(REG_SZ, "30", 3);
    ExpectBandStartsOff();
    const DWORD asBinary = 30;
    StoreRaw(REG_BINARY, &asBinary, sizeof(asBinary));
    ExpectBandStartsOff();
}

TEST_F(RememberedSettings, RememberWritesZeroWhenOffAndTheIntervalOtherwise)
{
    {
        CBandHarness host;
        ASSERT_EQ(S_OK, host.Open());
        host.Command(ID_REMEMBER_SETTINGS);
        EXPECT_EQ("\n : Interval = DWORD 0x00000000\n", RegistryProbe::DumpTree(HKEY_CURRENT_USER, kSettingsPath));
        host.Command(ID_REFRESH_15SEC);
        host.Command(ID_REMEMBER_SETTINGS);
        EXPECT_EQ(15u, RegistryProbe::ReadDword(HKEY_CURRENT_USER, kSettingsPath, "Interval").value_or(0));
    }
    CBandHarness next;
    EXPECT_EQ(std::vector<UINT>{15000}, PeriodsSetWhileOpening(next));
    EXPECT_EQ("Every 15 seconds", PaintedText(next.BandWindow()));
}

TEST_F(RememberedSettings, ChoosingWithoutRememberingLeavesTheStoredValue)
{
    StoreInterval(30);
    {
        CBandHarness host;
        ASSERT_EQ(S_OK, host.Open());
        host.Command(ID_REFRESH_5MIN);
    }
    EXPECT_EQ(30u, RegistryProbe::ReadDword(HKEY_CURRENT_USER, kSettingsPath, "Interval").value_or(0));
    CBandHarness next;
    ASSERT_EQ(S_OK, next.Open());
    EXPECT_EQ("Every 30 seconds", PaintedText(next.BandWindow()));
}

// As in a low-integrity tab, with the system's browser loaded as in its own
// process: the interval goes where the process may write (on Wine, whose
// browser hands out no key, under AppDataLow) and the next band finds it.
TEST_F(RememberedSettings, UnwritableKeyIsSilentAndTheNextBandLoadsWhatWasRemembered)
{
    CHAR browserPath[MAX_PATH] = "";
    GetSystemDirectoryA(browserPath, MAX_PATH - 12);
    lstrcatA(browserPath, "\\ieframe.dll");
    const CModuleHandle browser(LoadLibraryA(browserPath));
    ASSERT_TRUE(browser);
    StoreInterval(30);
    // Read access only, for everyone.
    BYTE aclBuffer[256];
    PACL acl = reinterpret_cast<PACL>(aclBuffer);
    InitializeAcl(acl, sizeof(aclBuffer), ACL_REVISION);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | READ_CONTROL | WRITE_DAC, everyone);
    SetSettingsKeyAcl(acl);
    FreeSid(everyone);
    {
        CBandHarness host;
        ASSERT_EQ(S_OK, host.Open());
        host.Command(ID_REFRESH_10SEC);
        host.Command(ID_REMEMBER_SETTINGS);
        EXPECT_EQ("Every 10 seconds", PaintedText(host.BandWindow()));
    }
    EXPECT_EQ(30u, RegistryProbe::ReadDword(HKEY_CURRENT_USER, kSettingsPath, "Interval").value_or(0));
    {
        CBandHarness next;
        EXPECT_EQ(std::vector<UINT>{10000}, PeriodsSetWhileOpening(next));
        EXPECT_EQ("Every 10 seconds", PaintedText(next.BandWindow()));
    }
    // The sandbox must be able to delete the key again.
    SetSettingsKeyAcl(nullptr);
}

} // namespace
