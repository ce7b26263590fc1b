// Events with the semantics the physics hand-offs rely on:
// - a manual-reset event stays set until reset and releases every waiter;
// - an auto-reset event is binary and is consumed by exactly one completed wait.
// Setting an event releases memory; a completed wait acquires it, so data written before
// setEvent is visible after the wait. Waits spin briefly before they sleep: the physics makes
// four hand-offs per 0.0005 s substep and a sleep/wake costs more than the work between them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace VadiZov::platform {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;
constexpr int kMaxWaitObjects = 64;

enum class WaitResult { Signaled, Timeout, Failed };

class Event {
public:
    Event(bool manualReset, bool initiallySet);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    // Waits up to timeoutMs milliseconds (kInfinite: no limit).
    WaitResult wait(uint32_t timeoutMs = kInfinite);
    bool isManualReset() const { return manual_; }

private:
    friend WaitResult waitForAll(Event* const* events, int count, uint32_t timeoutMs);
    bool tryAcquire();
    bool spinAcquire();
    WaitResult blockingWait(std::chrono::steady_clock::time_point deadline, bool hasDeadline);

    const bool manual_;
    std::atomic<int> state_;
    std::mutex mutex_;
    std::condition_variable cond_;
};

// Waits until every event of the list has been signalled (at most kMaxWaitObjects).
// Auto-reset events are consumed. When the wait times out, the auto-reset events this call
// had already consumed are set again, so a timed-out wait loses no signal.
WaitResult waitForAll(Event* const* events, int count, uint32_t timeoutMs = kInfinite);

// How many rounds a wait spins at most before it sleeps (0 on one core; the sanitizer builds
// spin less); the spin is also bounded in time.
int spinRounds();

} // namespace VadiZov::platform
