#include "band/RefreshInterval.h"
#include "band/RefresherBand.h"
#include "registrar/RegistryKey.h"

namespace {

const char kSettingsKey[] = "Software\\Tandrel";
const char kIntervalValue[] = "Interval";

} // namespace

// Every failure is silent: the band keeps the interval it had.
BOOL CRefresherBand::LoadSettings()
{
    CRegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kSettingsKey, KEY_READ) != ERROR_SUCCESS)
        return TRUE;
    DWORD stored = 0;
    if (key.ReadDword(kIntervalValue, &stored) != ERROR_SUCCESS)
        return TRUE;
    m_nInterval = IntervalFromStoredValue(stored);
    // A band without a window shows nothing and refreshes nothing; a timer
    // set on no window would be a thread timer nobody ever stops.
    if (m_hWnd)
        RestartTimerAndRepaint(m_hWnd);
    return TRUE;
}

BOOL CRefresherBand::SaveSettings()
{
    CRegistryKey key;
    if (key.Create(HKEY_CURRENT_USER, kSettingsKey, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                   nullptr) != ERROR_SUCCESS)
        return TRUE;
    key.WriteDword(kIntervalValue, StoredValueFromInterval(m_nInterval));
    return TRUE;
}
