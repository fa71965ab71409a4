#include "band/RememberedInterval.h"

#include <array>

#include "band/RefreshSchedule.h"
#include "registrar/RegistryKey.h"
#include "support/Owners.h"

namespace {

typedef HRESULT(WINAPI* GetWriteableKeyFunction)(HKEY* phKey);
typedef UINT(WINAPI* SystemFolderFunction)(LPSTR buffer, UINT size);

// The same path serves under the current user's key and under the browser's.
const char kSettingsKey[] = "Software\\Tandrel";
// Where low integrity may write when the browser hands out no key.
const char kLowIntegrityKey[] = "Software\\AppDataLow\\Software\\Tandrel";
const char kIntervalValue[] = "Interval";
const char kBrowserLibrary[] = "\\ieframe.dll";

// The registry stamps a key with the system clock at a finer grain than the
// clock reads back; a stamp up to this far ahead of the clock (in 100 ns
// units, one second) is a write that just happened, not one from the future.
const ULONGLONG kClockGrain = 10000000;

struct CPlace {
    HKEY parent;
    LPCSTR path;
};

// Every place the interval may be kept, in the order a tie between two of
// them goes: the user's own key, the browser's, AppDataLow.
std::array<CPlace, 3> Places(HKEY browserKey)
{
    return {{{HKEY_CURRENT_USER, kSettingsKey}, {browserKey, kSettingsKey}, {HKEY_CURRENT_USER, kLowIntegrityKey}}};
}

// The browser's key for this process, held for one load or save; none when
// the source has none.
void ReceiveBrowserKey(WritableKeySource source, CRegistryKey& browserKey)
{
    HKEY key = nullptr;
    if (SUCCEEDED(source(&key)) && key)
        browserKey.Adopt(key);
}

ULONGLONG TimeAsNumber(const FILETIME& time)
{
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The interval kept at place and when it was written, the time as one
// number; false where no whole REG_DWORD is kept.
bool ReadInterval(const CPlace& place, DWORD* stored, ULONGLONG* written)
{
    CRegistryKey key;
    FILETIME time;
    if (!place.parent || key.Open(place.parent, place.path, KEY_READ) != ERROR_SUCCESS ||
        key.ReadDword(kIntervalValue, stored) != ERROR_SUCCESS ||
        RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &time) != ERROR_SUCCESS)
        return false;
    *written = TimeAsNumber(time);
    return true;
}

// The registry skips a write of the data a value already holds, and the key's
// time then stays as it was: the value goes first, so that every save moves
// the time, and a save of the interval already kept is still the newest.
void WriteInterval(const CPlace& place, DWORD stored)
{
    CRegistryKey key;
    if (!place.parent ||
        key.Create(place.parent, place.path, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                   nullptr) != ERROR_SUCCESS)
        return;
    key.DeleteValue(kIntervalValue);
    key.WriteDword(kIntervalValue, stored);
}

// The browser's frame loaded from folder, with a reference that keeps it
// loaded; none where it is not loaded from there.
CModuleHandle LoadedBrowserIn(SystemFolderFunction folder)
{
    CHAR path[MAX_PATH];
    const UINT room = MAX_PATH - (sizeof(kBrowserLibrary) - 1);
    const UINT length = folder(path, room);
    if (length == 0 || length >= room)
        return CModuleHandle();
    lstrcpynA(path + length, kBrowserLibrary, sizeof(kBrowserLibrary));
    HMODULE loaded = nullptr;
    return CModuleHandle(GetModuleHandleExA(0, path, &loaded) ? loaded : nullptr);
}

} // namespace

// Only a browser that runs in this process hands out its key: where its
// frame is not loaded, loading it would start a browser's worth of code for
// nothing. The copy asked is the one in the system folder, named by its full
// path, so that no ieframe.dll loaded from elsewhere answers in its place; a
// 32-bit process on 64-bit Windows loads it from the WOW64 system folder
// (SysWOW64), while the system folder it is told is system32.
HRESULT BrowserWritableKey(HKEY* phKey)
{
    CModuleHandle browser = LoadedBrowserIn(GetSystemDirectoryA);
    if (!browser)
        browser = LoadedBrowserIn(GetSystemWow64DirectoryA);
    if (!browser)
        return E_NOTIMPL;
    const auto getKey = reinterpret_cast<GetWriteableKeyFunction>(
        reinterpret_cast<void*>(GetProcAddress(browser.Get(), "IEGetWriteableHKCU")));
    return getKey ? getKey(phKey) : E_NOTIMPL;
}

// Every place is read and the one written last wins; of two written at the
// same time the one read first. A time later than the moment of loading was
// set, not written (a low-integrity process may set its own keys' times), and
// ranks as the oldest: it cannot hold its place above the saves that follow.
bool LoadRememberedInterval(LONG* pnInterval, WritableKeySource source)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG latestWrite = TimeAsNumber(now) + kClockGrain;
    CRegistryKey browserKey;
    ReceiveBrowserKey(source, browserKey);
    bool found = false;
    DWORD newest = 0;
    ULONGLONG newestWritten = 0;
    for (const CPlace& place : Places(browserKey.Get())) {
        DWORD stored = 0;
        ULONGLONG written = 0;
        if (!ReadInterval(place, &stored, &written))
            continue;
        if (written > latestWrite)
            written = 0;
        if (!found || written > newestWritten) {
            found = true;
            newest = stored;
            newestWritten = written;
        }
    }
    if (found)
        *pnInterval = CRefreshSchedule::IntervalFromStoredValue(newest);
    return found;
}

// Every place the process may write gets the interval, not only the first:
// a tab of another kind, which cannot read the first, finds it in another,
// and what a lower-integrity process left in a place below (a value, or a
// time it set) is overwritten rather than left to compete with this save.
void RememberInterval(LONG nInterval, WritableKeySource source)
{
    const DWORD stored = CRefreshSchedule::StoredValueFromInterval(nInterval);
    CRegistryKey browserKey;
    ReceiveBrowserKey(source, browserKey);
    for (const CPlace& place : Places(browserKey.Get()))
        WriteInterval(place, stored);
}
