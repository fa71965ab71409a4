#pragma once
#include <windows.h>

// The band's own line ("Every 30 seconds") and the tooltip's are formatted
// into buffers of these sizes, in characters with the terminator.
const int kBandTextCapacity = 200;
const int kTimeLeftCapacity = 80;

// The refresh setting and the countdown to the next refresh: the interval, a
// signed count of seconds (kNoRefresh for none), and the tick count
// (GetTickCount) at which the countdown last started. The caller says what
// time it is, so the schedule itself never looks at a clock or a window.
class CRefreshSchedule {
public:
    static constexpr LONG kNoRefresh = -1;

    LONG Interval() const { return m_nInterval; }
    bool IsOn() const { return m_nInterval != kNoRefresh; }
    void SetInterval(LONG nInterval) { m_nInterval = nInterval; }
    void TurnOff() { m_nInterval = kNoRefresh; }
    // The refresh timer was started or has fired at now.
    void Restart(DWORD now) { m_dwCountdownStart = now; }

    // The timer period in milliseconds: the interval × 1000, held at the
    // longest period a window timer takes when the product does not fit (the
    // custom dialog accepts any interval up to 2147483647 seconds).
    UINT Period() const;
    // The time left at now in whole seconds, rounded up, so that a countdown
    // just started shows the whole interval and 0 never shows before the
    // refresh.
    DWORD SecondsLeft(DWORD now) const;

    // "Every %d seconds", or "No Refresh".
    void FormatBandText(CHAR (&text)[kBandTextCapacity]) const;
    // "Next refresh in m:ss" (h:mm:ss from an hour on), or "Refreshing is off".
    void FormatTimeLeft(CHAR (&text)[kTimeLeftCapacity], DWORD now) const;

    // The registry keeps 0 for no refresh; values no menu or dialog can write
    // (0x80000000 and above, negative as signed numbers) mean no refresh too.
    static LONG IntervalFromStoredValue(DWORD stored);
    static DWORD StoredValueFromInterval(LONG nInterval);

private:
    LONG m_nInterval = kNoRefresh;
    DWORD m_dwCountdownStart = 0;
};
