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
#include "support/Owners.h"
#include "tests/common/ImportRedirect.h"
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

// A kind of tab: the key its browser hands out, and what the user's own key
// and that browser key refuse it.
struct Tab {
    WritableKeySource browser;
    REGSAM denied[kBrowserKey + 1];
};

// At the user's normal integrity, without the key the browser hands to its
// low-integrity tabs; a Protected Mode tab (low integrity); an Enhanced
// Protected Mode tab (an AppContainer).
const Tab kNormalTab = {AbsentBrowser, {kOpen, kOpen}};
const Tab kLowTab = {AnsweringBrowser, {kReadOnly, kOpen}};
const Tab kAppContainerTab = {AnsweringBrowser, {kNoAccess, kOpen}};

// The places refusing what tab is refused, for the object's lifetime.
class CTabView {
public:
    explicit CTabView(const Tab& tab)
    {
        for (Place place : {kOwnKey, kBrowserKey}) {
            if (tab.denied[place] != kOpen)
                m_refusing.push_back(std::make_unique<CRefusingPlace>(place, tab.denied[place]));
        }
    }
    bool Refuses() const
    {
        for (const auto& place : m_refusing) {
            if (place->Result() != ERROR_SUCCESS)
                return false;
        }
        return true;
    }

private:
    std::vector<std::unique_ptr<CRefusingPlace>> m_refusing;
};

// One kernel32 import of this program, the product's code linked in, pointed
// at replacement for the object's lifetime.
class CRedirectedImport : public CScopedImportRedirect {
public:
    CRedirectedImport(LPCSTR name, const void* replacement)
        : CScopedImportRedirect(GetModuleHandleW(nullptr),
                                reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)),
                                replacement)
    {
    }
};

// The system clock as this program's code reads it, stopped at a moment of
// the test's choosing for the object's lifetime.
class CStoppedClock {
public:
    explicit CStoppedClock(const FILETIME& moment)
        : m_redirect("GetSystemTimeAsFileTime", reinterpret_cast<const void*>(Stopped))
    {
        s_moment = moment;
    }

private:
    static void WINAPI Stopped(FILETIME* time) { *time = s_moment; }

    static inline FILETIME s_moment = {};
    CRedirectedImport m_redirect;
};

struct Remembered {
    Tab tab;
    LONG interval;
};

TEST(RememberedIntervalPlaces, RememberedWhereverTheProcessMayWriteAndLoadedNewestFirst)
{
    const Tab normalWithBrowserKey = {AnsweringBrowser, {kOpen, kOpen}};
    const Tab lowWithoutBrowserKey = {AbsentBrowser, {kReadOnly, kOpen}};
    const Tab bothRefusing = {AnsweringBrowser, {kReadOnly, kReadOnly}};
    const struct {
        const char* name;
        std::vector<Stored> stored; // oldest first
        std::vector<Remembered> remembered; // in this order, after what is stored
        // Written after the moment of loading: a time later than that
        // moment, as a low-integrity process may set on its own keys.
        std::vector<Stored> future;
        Tab loadedIn;
        std::optional<DWORD> after[kPlaces];
        std::optional<LONG> loaded; // none: the band stays at "No Refresh"
    } cases[] = {
        {"own key writable", {}, {{normalWithBrowserKey, 30}}, {}, normalWithBrowserKey, {30, 30, 30}, 30},
        {"own key refused", {{kOwnKey, 30}}, {{kLowTab, 45}}, {}, kLowTab, {30, 45, 45}, 45},
        {"own key refused, no browser key", {{kOwnKey, 30}}, {{lowWithoutBrowserKey, 45}}, {}, lowWithoutBrowserKey,
         {30, {}, 45}, 45},
        {"browser key refusing too", {{kOwnKey, 30}, {kBrowserKey, 20}}, {{bothRefusing, -1}}, {}, bothRefusing,
         {30, 20, 0}, -1},
        // The own key's newer value is out of an AppContainer's sight.
        {"in an AppContainer", {{kBrowserKey, 20}, {kOwnKey, 30}}, {}, {}, kAppContainerTab, {30, 20, {}}, 20},
        {"AppDataLow newest", {{kBrowserKey, 20}, {kOwnKey, 30}, {kLowIntegrityKey, 60}}, {}, {}, kLowTab,
         {30, 20, 60}, 60},
        {"own key newest", {{kLowIntegrityKey, 60}, {kBrowserKey, 20}, {kOwnKey, 30}}, {}, {}, kLowTab, {30, 20, 60},
         30},
        {"browser key newest", {{kOwnKey, 30}, {kLowIntegrityKey, 60}, {kBrowserKey, 20}}, {}, {}, kLowTab,
         {30, 20, 60}, 20},
        {"newest no whole DWORD", {{kOwnKey, 30}, {kLowIntegrityKey, 60, true}}, {}, {}, kNormalTab, {30, {}, {}},
         30},
        {"nothing stored", {}, {}, {}, normalWithBrowserKey, {{}, {}, {}}, {}},
        // The registry skips a write of the data a value already holds.
        {"the value kept remembered again", {{kOwnKey, 30}, {kLowIntegrityKey, 60}}, {{kNormalTab, 30}}, {},
         kNormalTab, {30, {}, 30}, 30},
        {"the value kept remembered again, a newer place out of reach",
         {{kOwnKey, 30}, {kLowIntegrityKey, 30}, {kBrowserKey, 60}}, {{kNormalTab, 30}}, {}, kLowTab, {30, 60, 30},
         30},
        {"a place with a future time", {}, {{kNormalTab, 30}}, {{kBrowserKey, 60}}, kLowTab, {30, 60, 30}, 30},
        {"normal integrity after low", {{kOwnKey, 30}}, {{kLowTab, 45}, {kNormalTab, 60}}, {}, kLowTab,
         {60, 45, 60}, 60},
        {"low integrity after normal", {}, {{kNormalTab, 30}, {kLowTab, 45}}, {}, kNormalTab, {30, 45, 45}, 45},
    };
    // Every key the product opened, the browser's included, is closed (counted
    // once for all cases: each count probes the whole handle table).
    { CRegistrySandbox warmUp; }
    const DWORD handles = KernelHandleCount();
    for (const auto& c : cases) {
        CRegistrySandbox sandbox;
        for (const Stored& stored : c.stored)
            WriteLater(stored);
        for (const Remembered& remembered : c.remembered) {
            Sleep(20);
            CTabView tab(remembered.tab);
            ASSERT_TRUE(tab.Refuses()) << c.name;
            RememberInterval(remembered.interval, remembered.tab.browser);
        }
        FILETIME moment;
        GetSystemTimeAsFileTime(&moment);
        if (!c.future.empty()) {
            // Past the grain of the registry's clock.
            Sleep(1100);
            for (const Stored& stored : c.future)
                WriteLater(stored);
        }
        LONG loaded = 12345;
        {
            CTabView tab(c.loadedIn);
            ASSERT_TRUE(tab.Refuses()) << c.name;
            const CStoppedClock clock(moment);
            EXPECT_EQ(c.loaded.has_value(), LoadRememberedInterval(&loaded, c.loadedIn.browser)) << c.name;
        }
        EXPECT_EQ(c.loaded.value_or(12345), loaded) << c.name;
        for (int place = 0; place < kPlaces; ++place)
            EXPECT_EQ(c.after[place], RegistryProbe::ReadDword(HKEY_CURRENT_USER, kPaths[place], "Interval"))
                << c.name << ", place " << place;
    }
    EXPECT_EQ(handles, KernelHandleCount());
}

// What the program's own imports of the system folders answer while a
// CFoldersSwapped lives; the browser's function as this program looks it up.
std::string g_systemFolder;
std::string g_wow64Folder;
HMODULE g_askedForTheKey = nullptr;

UINT WINAPI SystemFolder(LPSTR buffer, UINT size)
{
    return lstrlenA(lstrcpynA(buffer, g_systemFolder.c_str(), static_cast<int>(size)));
}

UINT WINAPI Wow64Folder(LPSTR buffer, UINT size)
{
    return lstrlenA(lstrcpynA(buffer, g_wow64Folder.c_str(), static_cast<int>(size)));
}

HRESULT WINAPI AnsweringWriteableKey(HKEY* phKey)
{
    return AnsweringBrowser(phKey);
}

FARPROC WINAPI FindingTheKeyFunction(HMODULE module, LPCSTR name)
{
    if (IS_INTRESOURCE(name) || lstrcmpA(name, "IEGetWriteableHKCU") != 0) {
        ADD_FAILURE() << "asked for another function";
        return nullptr;
    }
    g_askedForTheKey = module;
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(AnsweringWriteableKey));
}

// A 32-bit process on 64-bit Windows is told that the system folder is
// system32 but loads the browser's frame from the WOW64 one, SysWOW64.
TEST(BrowserWritableKey, AskedOfTheBrowserLoadedFromTheWow64SystemFolder)
{
    CHAR folder[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryA(folder, MAX_PATH));
    const CModuleHandle browser(LoadLibraryA((std::string(folder) + "\\ieframe.dll").c_str()));
    ASSERT_TRUE(browser);
    CRegistrySandbox sandbox;
    g_systemFolder = std::string(folder) + "\\nowhere";
    g_wow64Folder = folder;
    g_askedForTheKey = nullptr;
    HKEY key = nullptr;
    HRESULT hr;
    {
        const CRedirectedImport system("GetSystemDirectoryA", reinterpret_cast<const void*>(SystemFolder));
        const CRedirectedImport wow64("GetSystemWow64DirectoryA", reinterpret_cast<const void*>(Wow64Folder));
        const CRedirectedImport lookup("GetProcAddress", reinterpret_cast<const void*>(FindingTheKeyFunction));
        hr = BrowserWritableKey(&key);
    }
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(browser.Get(), g_askedForTheKey);
    EXPECT_NE(nullptr, key);
    RegCloseKey(key);
}

} // namespace
