#include "base/bhighperf_timer.h"

#include "platform/perf_counter.h"

namespace VadiZov {

HighPerfTimer::HighPerfTimer() { start(); }

void HighPerfTimer::start()
{
    int64_t frequency = 0;
    if (!platform::queryPerformanceFrequency(&frequency))
        return;  // keeps the previous fields
    ticksPerMs = double(frequency) * 0.001;
    int64_t now = 0;
    platform::queryPerformanceCounter(&now);
    startCount = now;
}

void HighPerfTimer::reset() { start(); }

double HighPerfTimer::stop() const
{
    int64_t now = 0;
    platform::queryPerformanceCounter(&now);
    return double(now - startCount) / ticksPerMs;
}

double HighPerfTimer::stopAndReset()
{
    double elapsed = stop();
    start();
    return elapsed;
}

double HighPerfTimer::getTime()
{
    int64_t frequency = 0, now = 0;
    platform::queryPerformanceFrequency(&frequency);
    double k = double(frequency) * 0.001;
    platform::queryPerformanceCounter(&now);
    return double(now) / k;
}

} // namespace VadiZov
