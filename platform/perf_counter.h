// The high-resolution monotonic counter and its frequency in ticks per second.
#pragma once

#include <cstdint>

namespace VadiZov::platform {

bool queryPerformanceFrequency(int64_t* ticksPerSecond);
bool queryPerformanceCounter(int64_t* count);

} // namespace VadiZov::platform
