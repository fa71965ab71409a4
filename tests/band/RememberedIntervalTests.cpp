// Where the remembered interval is kept when the band runs as the browser
// runs it: at low integrity, where the user's own key may be read but not
// written, or in an AppContainer, where it may not even be read. Both are
// played by an access list on that key; the browser's writable key by a
// source of the test's own (the bands that the DLL connects,
// BandSettingsTests, ask the system's browser).
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

// What a place refuses: writing, as the user's own key to a low-integrity
// process, or everything, as that key to an AppContainer.
const REGSAM kOpen = 0;
const REGSAM kReadOnly = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
const REGSAM kNoAccess = KEY_READ | KEY_WRITE;

// A place refusing what denied names, for the object's lifetime.
class CRefusingPlace {
public:
    CRefusingPlace(Place place, REGSAM denied)
    {
        RegOpenKeyExA(HKEY_CURRENT_USER, kPaths[place], 0, WRITE_DAC, &m_hKey);
        m_denied.emplace(m_hKey, denied);
    }
    ~CRefusingPlace()
    {
        m_denied.reset();
        RegCloseKey(m_hKey);
    }
    CRefusingPlace(const CRefusingPlace&) = delete;
    CRefusingPlace& operator=(const CRefusingPlace&) = delete;
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
        REGSAM denied[kBrowserKey + 1]; // by the user's own key and the browser's
        std::optional<LONG> remembered;
        std::optional<DWORD> after[kPlaces];
        std::optional<LONG> loaded; // none: the band stays at "No Refresh"
    } cases[] = {
        {"own key writable", AnsweringBrowser, {}, {kOpen, kOpen}, 30, {30, {}, {}}, 30},
        {"own key refused", AnsweringBrowser, {{kOwnKey, 30}}, {kReadOnly, kOpen}, 45, {30, 45, {}}, 45},
        {"own key refused, no browser key", AbsentBrowser, {{kOwnKey, 30}}, {kReadOnly, kOpen}, 45, {30, {}, 45},
         45},
        {"browser key refusing too", AnsweringBrowser, {{kOwnKey, 30}, {kBrowserKey, 20}}, {kReadOnly, kReadOnly},
         -1, {30, 20, 0}, -1},
        // The own key's newer value is out of an AppContainer's sight.
        {"in an AppContainer", AnsweringBrowser, {{kBrowserKey, 20}, {kOwnKey, 30}}, {kNoAccess, kOpen}, {},
         {30, 20, {}}, 20},
        {"AppDataLow newest", AnsweringBrowser, {{kBrowserKey, 20}, {kOwnKey, 30}, {kLowIntegrityKey, 60}},
         {kOpen, kOpen}, {}, {30, 20, 60}, 60},
        {"own key newest", AnsweringBrowser, {{kLowIntegrityKey, 60}, {kBrowserKey, 20}, {kOwnKey, 30}},
         {kOpen, kOpen}, {}, {30, 20, 60}, 30},
        {"browser key newest", AnsweringBrowser, {{kOwnKey, 30}, {kLowIntegrityKey, 60}, {kBrowserKey, 20}},
         {kOpen, kOpen}, {}, {30, 20, 60}, 20},
        {"newest no whole DWORD", AbsentBrowser, {{kOwnKey, 30}, {kLowIntegrityKey, 60, true}}, {kOpen, kOpen}, {},
         {30, {}, {}}, 30},
        {"nothing stored", AnsweringBrowser, {}, {kOpen, kOpen}, {}, {{}, {}, {}}, {}},
    };
    // Every key the product opened, the browser's included, is closed (counted
    // once for all cases: each count probes the whole handle table).
    { CRegistrySandbox warmUp; }
    const DWORD handles = KernelHandleCount();
    for (const auto& c : cases) {
        CRegistrySandbox sandbox;
        for (const Stored& stored : c.stored)
            WriteLater(stored);
        std::vector<std::unique_ptr<CRefusingPlace>> refusing;
        for (Place place : {kOwnKey, kBrowserKey}) {
            if (c.denied[place] != kOpen) {
                refusing.push_back(std::make_unique<CRefusingPlace>(place, c.denied[place]));
                ASSERT_EQ(ERROR_SUCCESS, refusing.back()->Result()) << c.name;
            }
        }
        if (c.remembered) {
            Sleep(20);
            RememberInterval(*c.remembered, c.browser);
        }
        LONG loaded = 12345;
        EXPECT_EQ(c.loaded.has_value(), LoadRememberedInterval(&loaded, c.browser)) << c.name;
        EXPECT_EQ(c.loaded.value_or(12345), loaded) << c.name;
        refusing.clear();
        for (int place = 0; place < kPlaces; ++place)
            EXPECT_EQ(c.after[place], RegistryProbe::ReadDword(HKEY_CURRENT_USER, kPaths[place], "Interval"))
                << c.name << ", place " << place;
    }
    EXPECT_EQ(handles, KernelHandleCount());
}

} // namespace
