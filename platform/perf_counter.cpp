#include "platform/perf_counter.h"

#include <ctime>

#include "platform/last_error.h"

namespace VadiZov::platform {

bool queryPerformanceFrequency(int64_t* ticksPerSecond)
{
    if (!ticksPerSecond) {
        setLastError(kErrorInvalidParameter);
        return false;
    }
    *ticksPerSecond = 1000000000;  // the counter counts nanoseconds
    return true;
}

bool queryPerformanceCounter(int64_t* count)
{
    timespec ts;
    if (!count || clock_gettime(CLOCK_MONOTONIC, &ts) != 0) {
        setLastError(kErrorInvalidParameter);
        return false;
    }
    *count = int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
    return true;
}

} // namespace VadiZov::platform
