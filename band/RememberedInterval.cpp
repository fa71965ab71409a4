#include "band/RememberedInterval.h"

#include "band/RefreshSchedule.h"
#include "registrar/RegistryKey.h"

namespace {

const char kSettingsKey[] = "Software\\Tandrel";
const char kIntervalValue[] = "Interval";

} // namespace

bool LoadRememberedInterval(LONG* pnInterval)
{
    CRegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kSettingsKey, KEY_READ) != ERROR_SUCCESS)
        return false;
    DWORD stored = 0;
    if (key.ReadDword(kIntervalValue, &stored) != ERROR_SUCCESS)
        return false;
    *pnInterval = CRefreshSchedule::IntervalFromStoredValue(stored);
    return true;
}

void RememberInterval(LONG nInterval)
{
    CRegistryKey key;
    if (key.Create(HKEY_CURRENT_USER, kSettingsKey, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                   nullptr) != ERROR_SUCCESS)
        return;
    key.WriteDword(kIntervalValue, CRefreshSchedule::StoredValueFromInterval(nInterval));
}
