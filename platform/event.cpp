#include "platform/event.h"

#include <chrono>
#include <thread>

#include "platform/last_error.h"
#include "platform/system_info.h"

namespace VadiZov::platform {

namespace {
inline void cpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}
} // namespace

int spinRounds()
{
#if defined(VELKOR_TSAN)
    return 64;
#else
    // Spinning helps only while the thread that sets the event runs on another core; on one
    // core it only delays that thread.
    static const int rounds = usableCoreCount() > 1 ? 20000 : 0;
    return rounds;
#endif
}

Event::Event(bool manualReset, bool initiallySet) : manual_(manualReset), state_(initiallySet ? 1 : 0) {}

void Event::set()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_.store(1, std::memory_order_release);
    }
    // Woken outside the lock: a waiter woken while the setter still held it would block on the
    // lock at once, and on one core each hand-off would cost two more thread switches.
    if (manual_)
        cond_.notify_all();
    else
        cond_.notify_one();
}

void Event::reset()
{
    std::lock_guard<std::mutex> lock(mutex_);
    state_.store(0, std::memory_order_release);
}

bool Event::tryAcquire()
{
    if (manual_)
        return state_.load(std::memory_order_acquire) == 1;
    int expected = 1;
    return state_.compare_exchange_strong(expected, 0, std::memory_order_acq_rel, std::memory_order_relaxed);
}

// A short run of pauses catches a hand-off inside a substep; after it the waiter yields, so a
// thread it waits for that shares its core runs at once, until the time is up and it sleeps.
// Bounded by time, not rounds: a pause takes from ten to over a hundred cycles by processor,
// and 20000 rounds of pure pauses held a core for over a millisecond, the very core the thread
// it waited for needed on a loaded machine or on two pinned cores with the host's thread.
bool Event::spinAcquire()
{
    constexpr int kPauseRounds = 64;
    constexpr std::chrono::microseconds kSpinTime(200);
    const int rounds = spinRounds();
    if (rounds == 0)
        return tryAcquire();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) {
        if (state_.load(std::memory_order_relaxed) == 1 && tryAcquire())
            return true;
        if (i < kPauseRounds) {
            cpuRelax();
        } else {
            std::this_thread::yield();
            if (std::chrono::steady_clock::now() - start >= kSpinTime)
                break;
        }
    }
    return tryAcquire();
}

WaitResult Event::blockingWait(std::chrono::steady_clock::time_point deadline, bool hasDeadline)
{
    if (spinAcquire())
        return WaitResult::Signaled;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!tryAcquire()) {
        if (!hasDeadline) {
            cond_.wait(lock);
        } else if (cond_.wait_until(lock, deadline) == std::cv_status::timeout) {
            return tryAcquire() ? WaitResult::Signaled : WaitResult::Timeout;
        }
    }
    return WaitResult::Signaled;
}

static std::chrono::steady_clock::time_point deadlineFor(uint32_t timeoutMs)
{
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
}

WaitResult Event::wait(uint32_t timeoutMs)
{
    if (timeoutMs == 0)
        return tryAcquire() ? WaitResult::Signaled : WaitResult::Timeout;
    return blockingWait(deadlineFor(timeoutMs), timeoutMs != kInfinite);
}

WaitResult waitForAll(Event* const* events, int count, uint32_t timeoutMs)
{
    if (!events || count <= 0 || count > kMaxWaitObjects) {
        setLastError(kErrorInvalidParameter);
        return WaitResult::Failed;
    }
    for (int i = 0; i < count; ++i) {
        if (!events[i]) {
            setLastError(kErrorInvalidHandle);
            return WaitResult::Failed;
        }
    }
    const bool hasDeadline = timeoutMs != kInfinite;
    const auto deadline = deadlineFor(hasDeadline ? timeoutMs : 0);
    for (int i = 0; i < count; ++i) {
        WaitResult r = timeoutMs == 0 ? (events[i]->tryAcquire() ? WaitResult::Signaled : WaitResult::Timeout)
                                      : events[i]->blockingWait(deadline, hasDeadline);
        if (r != WaitResult::Signaled) {
            for (int j = 0; j < i; ++j)
                if (!events[j]->isManualReset())
                    events[j]->set();
            return r;
        }
    }
    return WaitResult::Signaled;
}

} // namespace VadiZov::platform
