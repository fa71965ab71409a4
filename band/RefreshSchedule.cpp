#include "band/RefreshSchedule.h"

namespace {

// The largest period a window timer takes, in milliseconds.
const UINT kLongestPeriod = 2147483647;

} // namespace

UINT CRefreshSchedule::Period() const
{
    const LONGLONG milliseconds = static_cast<LONGLONG>(m_nInterval) * 1000;
    return milliseconds > kLongestPeriod ? kLongestPeriod : static_cast<UINT>(milliseconds);
}

// Tick counts wrap after 49.7 days; the difference stays right across it.
DWORD CRefreshSchedule::SecondsLeft(DWORD now) const
{
    const DWORD period = Period();
    const DWORD elapsed = now - m_dwCountdownStart;
    const DWORD left = elapsed < period ? period - elapsed : 0;
    return left / 1000 + (left % 1000 ? 1 : 0);
}

void CRefreshSchedule::FormatBandText(CHAR (&text)[kBandTextCapacity]) const
{
    if (IsOn())
        wsprintfA(text, "Every %d seconds", m_nInterval);
    else
        lstrcpynA(text, "No Refresh", kBandTextCapacity);
}

void CRefreshSchedule::FormatTimeLeft(CHAR (&text)[kTimeLeftCapacity], DWORD now) const
{
    if (!IsOn()) {
        lstrcpynA(text, "Refreshing is off", kTimeLeftCapacity);
        return;
    }
    const DWORD seconds = SecondsLeft(now);
    if (seconds >= 3600)
        wsprintfA(text, "Next refresh in %lu:%02lu:%02lu", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        wsprintfA(text, "Next refresh in %lu:%02lu", seconds / 60, seconds % 60);
}

LONG CRefreshSchedule::IntervalFromStoredValue(DWORD stored)
{
    const LONG interval = static_cast<LONG>(stored);
    return interval > 0 ? interval : kNoRefresh;
}

DWORD CRefreshSchedule::StoredValueFromInterval(LONG nInterval)
{
    return nInterval == kNoRefresh ? 0 : static_cast<DWORD>(nInterval);
}
