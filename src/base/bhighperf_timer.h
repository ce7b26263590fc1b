// Elapsed wall-clock milliseconds from the high-resolution counter. A plain value of two
// fields; each instance belongs to the thread that uses it.
#pragma once

#include <cstdint>

namespace VadiZov {

class HighPerfTimer {
public:
    HighPerfTimer();

    void reset();           // restarts the timer
    double stop() const;    // milliseconds since the last start; the timer is unchanged
    double stopAndReset();  // milliseconds since the last start, then restarts
    static double getTime();  // the counter's own epoch in milliseconds

    double ticksPerMs = 0.0;  // 0 until a start succeeded
    int64_t startCount = 0;

private:
    void start();
};

} // namespace VadiZov
