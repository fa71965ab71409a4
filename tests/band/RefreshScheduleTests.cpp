// The refresh schedule on its own: the texts the band and its tooltip show,
// the countdown, the timer period and the stored form of the interval. No
// DLL, no window.
#include <gtest/gtest.h>

#include <string>

#include "band/RefreshSchedule.h"

namespace {

const LONG kNoRefresh = CRefreshSchedule::kNoRefresh;

CRefreshSchedule ScheduleOf(LONG interval, DWORD started = 0)
{
    CRefreshSchedule schedule;
    schedule.SetInterval(interval);
    schedule.Restart(started);
    return schedule;
}

std::string BandText(LONG interval)
{
    CHAR text[kBandTextCapacity];
    ScheduleOf(interval).FormatBandText(text);
    return text;
}

std::string TimeLeft(LONG interval, DWORD elapsed)
{
    CHAR text[kTimeLeftCapacity];
    ScheduleOf(interval, 1000).FormatTimeLeft(text, 1000 + elapsed);
    return text;
}

TEST(RefreshSchedule, StartsOffAndShowsTheIntervalInSeconds)
{
    EXPECT_FALSE(CRefreshSchedule().IsOn());
    EXPECT_EQ(kNoRefresh, CRefreshSchedule().Interval());
    EXPECT_EQ("No Refresh", BandText(kNoRefresh));
    EXPECT_EQ("Every 1 seconds", BandText(1));
    EXPECT_EQ("Every 600 seconds", BandText(600));
    EXPECT_EQ("Every 2147483647 seconds", BandText(2147483647));
}

TEST(RefreshSchedule, CountdownRoundsUpToWholeSecondsAndStopsAtZero)
{
    struct {
        LONG interval;
        DWORD elapsed;
        DWORD secondsLeft;
    } const cases[] = {
        {10, 0, 10}, {10, 999, 10}, {10, 1000, 9}, {10, 9001, 1}, {10, 10000, 0}, {10, 86400000, 0}, {600, 0, 600},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.secondsLeft, ScheduleOf(c.interval, 5000).SecondsLeft(5000 + c.elapsed)) << c.elapsed;
    // GetTickCount wraps after 49.7 days; the countdown goes on across it.
    EXPECT_EQ(8u, ScheduleOf(10, 0xFFFFFC18).SecondsLeft(0x3E8));
}

TEST(RefreshSchedule, TimeLeftReadsInMinutesAndFromAnHourInHours)
{
    EXPECT_EQ("Refreshing is off", TimeLeft(kNoRefresh, 0));
    EXPECT_EQ("Next refresh in 0:10", TimeLeft(10, 0));
    EXPECT_EQ("Next refresh in 0:09", TimeLeft(10, 1000));
    EXPECT_EQ("Next refresh in 10:00", TimeLeft(600, 0));
    EXPECT_EQ("Next refresh in 59:59", TimeLeft(3600, 1000));
    EXPECT_EQ("Next refresh in 1:00:00", TimeLeft(3600, 0));
    // Held at the longest timer period, 2147483647 ms.
    EXPECT_EQ("Next refresh in 596:31:24", TimeLeft(2147483647, 0));
}

// Moved from the DLL-driven settings tests: the stored value read as an
// interval, and periods too long for a window timer.
TEST(RefreshSchedule, NegativeStoredValuesMeanNoRefresh)
{
    for (DWORD stored : {0u, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu})
        EXPECT_EQ(kNoRefresh, CRefreshSchedule::IntervalFromStoredValue(stored)) << stored;
    EXPECT_EQ(30, CRefreshSchedule::IntervalFromStoredValue(30));
    EXPECT_EQ(0x7FFFFFFF, CRefreshSchedule::IntervalFromStoredValue(0x7FFFFFFF));
    EXPECT_EQ(0u, CRefreshSchedule::StoredValueFromInterval(kNoRefresh));
    EXPECT_EQ(45u, CRefreshSchedule::StoredValueFromInterval(45));
}

TEST(RefreshSchedule, TooLongIntervalsRunAtTheLongestPeriod)
{
    EXPECT_EQ(30000u, ScheduleOf(30).Period());
    EXPECT_EQ(2147483000u, ScheduleOf(2147483).Period());
    EXPECT_EQ(2147483647u, ScheduleOf(CRefreshSchedule::IntervalFromStoredValue(2147484)).Period());
    EXPECT_EQ("Every 2147484 seconds", BandText(2147484));
    EXPECT_EQ(2147483647u, ScheduleOf(2147483647).Period());
}

} // namespace
