#pragma once
#include <windows.h>

// The refresh interval is a signed count of seconds; -1 stands for no
// refresh. The registry keeps 0 for that, and the window timer counts in
// milliseconds.

const LONG kNoRefresh = -1;

// The refresh timer's identifier on the band window.
const UINT_PTR IDT_REFRESH = 1;
// The once-a-second timer that runs while the time-left tooltip shows.
const UINT_PTR IDT_COUNTDOWN = 2;

// The largest period a window timer takes, in milliseconds.
const UINT kLongestPeriod = 2147483647;

// Milliseconds between refreshes: interval × 1000, held at kLongestPeriod
// when the product does not fit (the custom dialog accepts any interval up
// to 2147483647 seconds).
inline UINT RefreshPeriod(LONG interval)
{
    const LONGLONG milliseconds = static_cast<LONGLONG>(interval) * 1000;
    return milliseconds > kLongestPeriod ? kLongestPeriod : static_cast<UINT>(milliseconds);
}

// A stored value as an interval: 0 means no refresh; so do values no menu or
// dialog can write (0x80000000 and above, negative as signed numbers).
inline LONG IntervalFromStoredValue(DWORD stored)
{
    const LONG interval = static_cast<LONG>(stored);
    return interval > 0 ? interval : kNoRefresh;
}

inline DWORD StoredValueFromInterval(LONG interval)
{
    return interval == kNoRefresh ? 0 : static_cast<DWORD>(interval);
}
