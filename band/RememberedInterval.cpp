#include "band/RememberedInterval.h"

#include "band/RefreshSchedule.h"
#include "registrar/RegistryKey.h"
#include "support/Owners.h"

namespace {

using CModuleHandle = CUniqueAny<HMODULE, FreeLibrary>;
typedef HRESULT(WINAPI* GetWriteableKeyFunction)(HKEY* phKey);

// The same path serves under the current user's key and under the browser's.
const char kSettingsKey[] = "Software\\Tandrel";
// Where low integrity may write when the browser hands out no key.
const char kLowIntegrityKey[] = "Software\\AppDataLow\\Software\\Tandrel";
const char kIntervalValue[] = "Interval";
const char kBrowserLibrary[] = "\\ieframe.dll";

// The browser's key for this process, held for one load or save; none when
// the source has none.
void ReceiveBrowserKey(WritableKeySource source, CRegistryKey& browserKey)
{
    HKEY key = nullptr;
    if (SUCCEEDED(source(&key)) && key)
        browserKey.Adopt(key);
}

// The most recently written of the intervals read so far; a place without a
// whole REG_DWORD holds none. On a tie the place read first wins.
class CNewestInterval {
public:
    void Read(HKEY parent, LPCSTR path)
    {
        CRegistryKey key;
        DWORD stored = 0;
        FILETIME written;
        if (!parent || key.Open(parent, path, KEY_READ) != ERROR_SUCCESS ||
            key.ReadDword(kIntervalValue, &stored) != ERROR_SUCCESS ||
            RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, &written) != ERROR_SUCCESS)
            return;
        if (m_bFound && CompareFileTime(&written, &m_written) <= 0)
            return;
        m_bFound = true;
        m_dwStored = stored;
        m_written = written;
    }

    bool m_bFound = false;
    DWORD m_dwStored = 0;
    FILETIME m_written = {};
};

bool WriteInterval(HKEY parent, LPCSTR path, DWORD stored)
{
    CRegistryKey key;
    return parent &&
           key.Create(parent, path, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, nullptr) ==
               ERROR_SUCCESS &&
           key.WriteDword(kIntervalValue, stored) == ERROR_SUCCESS;
}

} // namespace

// Only a browser that runs in this process hands out its key: where its
// frame is not loaded, loading it would start a browser's worth of code for
// nothing. The function is taken from the copy in the system folder, by its
// full path, so that no ieframe.dll planted elsewhere runs in its place.
HRESULT BrowserWritableKey(HKEY* phKey)
{
    // The file name, without the separator that joins it to the folder.
    if (!GetModuleHandleA(kBrowserLibrary + 1))
        return E_NOTIMPL;
    CHAR path[MAX_PATH];
    const UINT room = MAX_PATH - (sizeof(kBrowserLibrary) - 1);
    const UINT length = GetSystemDirectoryA(path, room);
    if (length == 0 || length >= room)
        return E_NOTIMPL;
    lstrcpyA(path + length, kBrowserLibrary);
    CModuleHandle browser(LoadLibraryA(path));
    // A null module would look the name up in the process's own program.
    if (!browser)
        return E_NOTIMPL;
    const auto getKey = reinterpret_cast<GetWriteableKeyFunction>(
        reinterpret_cast<void*>(GetProcAddress(browser.Get(), "IEGetWriteableHKCU")));
    return getKey ? getKey(phKey) : E_NOTIMPL;
}

bool LoadRememberedInterval(LONG* pnInterval, WritableKeySource source)
{
    CRegistryKey browserKey;
    ReceiveBrowserKey(source, browserKey);
    CNewestInterval newest;
    newest.Read(HKEY_CURRENT_USER, kSettingsKey);
    newest.Read(browserKey.Get(), kSettingsKey);
    newest.Read(HKEY_CURRENT_USER, kLowIntegrityKey);
    if (!newest.m_bFound)
        return false;
    *pnInterval = CRefreshSchedule::IntervalFromStoredValue(newest.m_dwStored);
    return true;
}

// The current user's own key whenever it takes the write, as before there
// were low-integrity tabs; the browser is asked for its key only when not.
void RememberInterval(LONG nInterval, WritableKeySource source)
{
    const DWORD stored = CRefreshSchedule::StoredValueFromInterval(nInterval);
    if (WriteInterval(HKEY_CURRENT_USER, kSettingsKey, stored))
        return;
    CRegistryKey browserKey;
    ReceiveBrowserKey(source, browserKey);
    if (WriteInterval(browserKey.Get(), kSettingsKey, stored))
        return;
    WriteInterval(HKEY_CURRENT_USER, kLowIntegrityKey, stored);
}
