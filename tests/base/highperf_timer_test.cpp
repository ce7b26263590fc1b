#include <gtest/gtest.h>

#include <thread>

#include "base/bhighperf_timer.h"

using VadiZov::HighPerfTimer;

TEST(HighPerfTimer, StopMeasuresFractionalMillisecondsFromOneStart)
{
    HighPerfTimer timer;
    EXPECT_DOUBLE_EQ(timer.ticksPerMs, 1e6);  // nanosecond counter
    std::this_thread::sleep_for(std::chrono::microseconds(1500));
    double first = timer.stop();
    EXPECT_GE(first, 1.5);
    EXPECT_NE(first, double(int64_t(first)));  // fractional, not whole milliseconds
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    double second = timer.stop();
    EXPECT_GT(second, first);  // same start, growing value
}

TEST(HighPerfTimer, StopAndResetRestarts)
{
    HighPerfTimer timer;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_GE(timer.stopAndReset(), 2.0);
    EXPECT_LT(timer.stop(), 1.0);
    timer.reset();
    EXPECT_LT(timer.stop(), 1.0);
}

TEST(HighPerfTimer, GetTimeIsTheCounterEpochInMilliseconds)
{
    double a = HighPerfTimer::getTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    double b = HighPerfTimer::getTime();
    EXPECT_GE(b - a, 3.0);
    EXPECT_LT(b - a, 1000.0);
}
