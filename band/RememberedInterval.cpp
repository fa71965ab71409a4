#include "band/RememberedInterval.h"

#include "band/RefreshSchedule.h"
#include "registrar/RegistryKey.h"
#include "support/Owners.h"

namespace {

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

// The interval kept at parent\path and when it was written, the time as one
// number; false where no whole REG_DWORD is kept.
bool ReadInterval(HKEY parent, LPCSTR path, DWORD* stored, ULONGLONG* written)
{
    CRegistryKey key;
    FILETIME time;
    if (!parent || key.Open(parent, path, KEY_READ) != ERROR_SUCCESS ||
        key.ReadDword(kIntervalValue, stored) != ERROR_SUCCESS ||
        RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &time) != ERROR_SUCCESS)
        return false;
    *written = (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return true;
}

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
// nothing. The copy asked is the one in the system folder, named by its full
// path, so that no ieframe.dll loaded from elsewhere answers in its place;
// the reference taken keeps it loaded for the call.
HRESULT BrowserWritableKey(HKEY* phKey)
{
    CHAR path[MAX_PATH];
    const UINT room = MAX_PATH - (sizeof(kBrowserLibrary) - 1);
    const UINT length = GetSystemDirectoryA(path, room);
    if (length == 0 || length >= room)
        return E_NOTIMPL;
    lstrcpynA(path + length, kBrowserLibrary, sizeof(kBrowserLibrary));
    HMODULE loaded = nullptr;
    if (!GetModuleHandleExA(0, path, &loaded))
        return E_NOTIMPL;
    const CModuleHandle browser(loaded);
    const auto getKey = reinterpret_cast<GetWriteableKeyFunction>(
        reinterpret_cast<void*>(GetProcAddress(browser.Get(), "IEGetWriteableHKCU")));
    return getKey ? getKey(phKey) : E_NOTIMPL;
}

// Every place is read; of two written at the same time the one read first
// wins.
bool LoadRememberedInterval(LONG* pnInterval, WritableKeySource source)
{
    CRegistryKey browserKey;
    ReceiveBrowserKey(source, browserKey);
    const struct {
        HKEY parent;
        LPCSTR path;
    } places[] = {
        {HKEY_CURRENT_USER, kSettingsKey}, {browserKey.Get(), kSettingsKey}, {HKEY_CURRENT_USER, kLowIntegrityKey}};
    bool found = false;
    DWORD newest = 0;
    ULONGLONG newestWritten = 0;
    for (const auto& place : places) {
        DWORD stored = 0;
        ULONGLONG written = 0;
        if (ReadInterval(place.parent, place.path, &stored, &written) && (!found || written > newestWritten)) {
            found = true;
            newest = stored;
            newestWritten = written;
        }
    }
    if (found)
        *pnInterval = CRefreshSchedule::IntervalFromStoredValue(newest);
    return found;
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
