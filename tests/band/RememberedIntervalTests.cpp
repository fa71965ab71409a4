// Where the remembered interval is kept when the band runs as the browser
// runs it: at low integrity or in an AppContainer, where the user's own key
// may be read but not written. Low integrity is played by an access list on
// that key that grants reading only; the browser's writable key by a source
// of the test's own (the bands that the DLL connects, BandSettingsTests, ask
// the system's browser).
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "band/RememberedInterval.h"
#include "tests/common/ProcessMemory.h"
#include "tests/common/RegistrySandbox.h"
#include "tests/common/ValueWriteDenied.h"

namespace {

enum Place { kOwnKey, kBrowserKey, kLowIntegrityKey, kPlaces };

const char kBrowserRoot[] = "Software\\TestBrowserWritable";
const char* const kPaths[kPlaces] = {"Software\\Tandrel", "Software\\TestBrowserWritable\\Software\\Tandrel",
                                     "Software\\AppDataLow\\Software\\Tandrel"};
const unsigned kRefuseOwn = 1u << kOwnKey;
const unsigned kRefuseBrowser = 1u << kBrowserKey;

HRESULT AnsweringBrowser(HKEY* phKey)
{
    return RegCreateKeyExA(HKEY_CURRENT_USER, kBrowserRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, phKey,
                           nullptr) == ERROR_SUCCESS
               ? S_OK
               : E_FAIL;
}

// As on a system without the browser's function, and as Wine's, a stub.
HRESULT AbsentBrowser(HKEY*)
{
    return E_NOTIMPL;
}

struct Stored {
    Place place;
    DWORD value;
    bool asText = false;
};

// On Windows the registry's clock moves in steps of the system timer; a
// later write must show a later time.
void WriteLater(const Stored& stored)
{
    Sleep(20);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kPaths[stored.place], 0, nullptr, 0, KEY_WRITE,
                                             nullptr, &key, nullptr));
    const std::string text = std::to_string(stored.value);
    EXPECT_EQ(ERROR_SUCCESS,
              stored.asText ? RegSetValueExA(key, "Interval", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                             static_cast<DWORD>(text.size() + 1))
                            : RegSetValueExA(key, "Interval", 0, REG_DWORD,
                                             reinterpret_cast<const BYTE*>(&stored.value), sizeof(DWORD)));
    RegCloseKey(key);
}

// The user's own key as a low-integrity process sees it, or the browser's
// key refusing too, for the object's lifetime.
class CReadOnlyPlace {
public:
    explicit CReadOnlyPlace(Place place)
    {
        RegOpenKeyExA(HKEY_CURRENT_USER, kPaths[place], 0, WRITE_DAC, &m_hKey);
        m_denied.emplace(m_hKey, KEY_SET_VALUE | KEY_CREATE_SUB_KEY);
    }
    ~CReadOnlyPlace()
    {
        m_denied.reset();
        RegCloseKey(m_hKey);
    }
    CReadOnlyPlace(const CReadOnlyPlace&) = delete;
    CReadOnlyPlace& operator=(const CReadOnlyPlace&) = delete;
    LONG Result() const { return m_denied->m_result; }

private:
    HKEY m_hKey = nullptr;
    std::optional<CValueWriteDenied> m_denied;
};

TEST(RememberedIntervalPlaces, RememberedWhereTheProcessMayWriteAndLoadedNewestFirst)
{
    const struct {
        const char* name;
        WritableKeySource browser;
        std::vector<Stored> stored; // oldest first
        unsigned refused;
        std::optional<LONG> remembered;
        std::optional<DWORD> after[kPlaces];
        std::optional<LONG> loaded; // none: the band stays at "No Refresh"
    } cases[] = {
        {"own key writable", AnsweringBrowser, {}, 0, 30, {30, {}, {}}, 30},
        {"own key refused", AnsweringBrowser, {{kOwnKey, 30}}, kRefuseOwn, 45, {30, 45, {}}, 45},
        {"own key refused, no browser key", AbsentBrowser, {{kOwnKey, 30}}, kRefuseOwn, 45, {30, {}, 45}, 45},
        {"browser key refusing too", AnsweringBrowser, {{kOwnKey, 30}, {kBrowserKey, 20}},
         kRefuseOwn | kRefuseBrowser, -1, {30, 20, 0}, -1},
        {"AppDataLow newest", AnsweringBrowser, {{kBrowserKey, 20}, {kOwnKey, 30}, {kLowIntegrityKey, 60}}, 0, {},
         {30, 20, 60}, 60},
        {"own key newest", AnsweringBrowser, {{kLowIntegrityKey, 60}, {kBrowserKey, 20}, {kOwnKey, 30}}, 0, {},
         {30, 20, 60}, 30},
        {"browser key newest", AnsweringBrowser, {{kOwnKey, 30}, {kLowIntegrityKey, 60}, {kBrowserKey, 20}}, 0, {},
         {30, 20, 60}, 20},
        {"newest no whole DWORD", AbsentBrowser, {{kOwnKey, 30}, {kLowIntegrityKey, 60, true}}, 0, {}, {30, {}, {}},
         30},
        {"nothing stored", AnsweringBrowser, {}, 0, {}, {{}, {}, {}}, {}},
    };
    // Every key the product opened, the browser's included, is closed (counted
    // once for all cases: each count probes the whole handle table).
    { CRegistrySandbox warmUp; }
    const DWORD handles = KernelHandleCount();
    for (const auto& c : cases) {
        CRegistrySandbox sandbox;
        for (const Stored& stored : c.stored)
            WriteLater(stored);
        std::vector<std::unique_ptr<CReadOnlyPlace>> readOnly;
        for (Place place : {kOwnKey, kBrowserKey}) {
            if (c.refused & (1u << place)) {
                readOnly.push_back(std::make_unique<CReadOnlyPlace>(place));
                ASSERT_EQ(ERROR_SUCCESS, readOnly.back()->Result()) << c.name;
            }
        }
        if (c.remembered) {
            Sleep(20);
            RememberInterval(*c.remembered, c.browser);
        }
        for (int place = 0; place < kPlaces; ++place)
            EXPECT_EQ(c.after[place], RegistryProbe::ReadDword(HKEY_CURRENT_USER, kPaths[place], "Interval"))
                << c.name << ", place " << place;
        LONG loaded = 12345;
        EXPECT_EQ(c.loaded.has_value(), LoadRememberedInterval(&loaded, c.browser)) << c.name;
        EXPECT_EQ(c.loaded.value_or(12345), loaded) << c.name;
    }
    EXPECT_EQ(handles, KernelHandleCount());
}

} // namespace
