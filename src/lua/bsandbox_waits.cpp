#include "lua/bsandbox_waits.h"

#include <cerrno>

#include "lua/blua_guard.h"
#include "platform/wait.h"

namespace VadiZov {

namespace {

// Beyond this nothing is cut: no call runs on the thread, or its budget is not a wall time.
constexpr double kLongestBoundedSeconds = 1e6;

double secondsOf(const struct timespec& t) { return double(t.tv_sec) + double(t.tv_nsec) * 1e-9; }
double secondsOf(const struct timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; }

} // namespace

int boundedWaitMilliseconds(int askedMs, bool& cut)
{
    cut = false;
    const double left = luaSecondsLeft();
    if (left >= kLongestBoundedSeconds)
        return askedMs;
    const int leftMs = int(left * 1000.0 + 0.999);
    if (askedMs < 0 || askedMs > leftMs) {
        cut = true;
        return leftMs;
    }
    return askedMs;
}

extern "C" {

int sandbox_poll(struct pollfd* descriptors, nfds_t count, int timeoutMs)
{
    bool cut = false;
    const int waitMs = boundedWaitMilliseconds(timeoutMs, cut);
    const int ready = platform::pollDescriptors(descriptors, count, waitMs);
    if (ready == 0 && cut)
        luaStopRunningCall();
    return ready;
}

int sandbox_select(int count, fd_set* readable, fd_set* writable, fd_set* failed, struct timeval* timeout)
{
    const double asked = timeout ? secondsOf(*timeout) : -1.0;
    const double left = luaSecondsLeft();
    const bool cut = left < kLongestBoundedSeconds && (asked < 0.0 || asked > left);
    struct timeval bounded {};
    if (cut) {
        bounded.tv_sec = time_t(left);
        bounded.tv_usec = suseconds_t((left - double(bounded.tv_sec)) * 1e6);
        timeout = &bounded;
    }
    const int ready = platform::selectDescriptors(count, readable, writable, failed, timeout);
    if (ready == 0 && cut)
        luaStopRunningCall();
    return ready;
}

// The library sleeps in a loop on the remaining time after an interruption: a cut sleep reports
// that it slept all of it.
int sandbox_nanosleep(const struct timespec* request, struct timespec* remaining)
{
    const double left = luaSecondsLeft();
    if (!request || left >= kLongestBoundedSeconds || secondsOf(*request) <= left)
        return platform::sleepFor(request, remaining);
    struct timespec bounded {};
    bounded.tv_sec = time_t(left);
    bounded.tv_nsec = long((left - double(bounded.tv_sec)) * 1e9);
    struct timespec unused {};
    while (platform::sleepFor(&bounded, &unused) != 0 && errno == EINTR)
        bounded = unused;
    luaStopRunningCall();
    if (remaining)
        *remaining = {};
    return 0;
}

} // extern "C"

} // namespace VadiZov
