#include <gtest/gtest.h>

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "platform/event.h"

using namespace VadiZov::platform;

TEST(Event, ManualResetStaysSetAndReleasesEveryWaiter)
{
    Event go(true, false);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 6; ++i)
        waiters.emplace_back([&] { if (go.wait() == WaitResult::Signaled) ++released; });
    go.set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(released.load(), 6);
    EXPECT_EQ(go.wait(0), WaitResult::Signaled);  // still set
    go.reset();
    EXPECT_EQ(go.wait(0), WaitResult::Timeout);
}

TEST(Event, AutoResetIsBinaryAndConsumedByOneWait)
{
    Event done(false, false);
    done.set();
    done.set();  // binary: two sets before a wait count once
    EXPECT_EQ(done.wait(0), WaitResult::Signaled);
    EXPECT_EQ(done.wait(0), WaitResult::Timeout);
    EXPECT_EQ(done.wait(5), WaitResult::Timeout);
}

TEST(Event, InitiallySetAndTimeouts)
{
    Event e(false, true);
    EXPECT_EQ(e.wait(10), WaitResult::Signaled);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(e.wait(20), WaitResult::Timeout);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(19));
}

TEST(WaitForAll, RefusesBadListsAndWaitsForEveryEvent)
{
    EXPECT_EQ(waitForAll(nullptr, 1), WaitResult::Failed);
    std::vector<std::unique_ptr<Event>> owned;
    std::vector<Event*> events;
    for (int i = 0; i < kMaxWaitObjects + 1; ++i) {
        owned.push_back(std::make_unique<Event>(false, false));
        events.push_back(owned.back().get());
    }
    EXPECT_EQ(waitForAll(events.data(), kMaxWaitObjects + 1), WaitResult::Failed);
    EXPECT_EQ(waitForAll(events.data(), 0), WaitResult::Failed);

    std::vector<std::thread> setters;
    for (int i = 0; i < kMaxWaitObjects; ++i)
        setters.emplace_back([e = events[i]] { e->set(); });
    EXPECT_EQ(waitForAll(events.data(), kMaxWaitObjects), WaitResult::Signaled);
    for (auto& t : setters) t.join();
    for (int i = 0; i < kMaxWaitObjects; ++i)
        EXPECT_EQ(events[i]->wait(0), WaitResult::Timeout) << i;  // all consumed
}

TEST(WaitForAll, TimeoutLosesNoSignal)
{
    Event a(false, false), b(false, false);
    Event* list[] = {&a, &b};
    a.set();
    EXPECT_EQ(waitForAll(list, 2, 10), WaitResult::Timeout);
    // a's signal was given back, so a later complete wait succeeds
    b.set();
    EXPECT_EQ(waitForAll(list, 2, 1000), WaitResult::Signaled);
}

// The physics pattern: a controller releases N workers through one of three manual-reset go
// events used in turn; each worker answers on its auto-reset done event. Many rounds, no lost
// wake-up, and the data written before each set is seen after each wait.
TEST(EventStress, GoDoneRoundsAcrossManyThreads)
{
    constexpr int kThreads = 12;
    constexpr int kRounds = 3000;
    Event go[3] = {Event(true, false), Event(true, false), Event(true, false)};
    std::vector<std::unique_ptr<Event>> done;
    std::vector<Event*> doneList;
    for (int i = 0; i < kThreads; ++i) {
        done.push_back(std::make_unique<Event>(false, false));
        doneList.push_back(done.back().get());
    }
    int round = 0;  // written by the controller before each release
    std::vector<long> sums(kThreads, 0);
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            for (int r = 0; r < kRounds; ++r) {
                go[r % 3].wait();
                sums[t] += round;
                done[t]->set();
            }
        });
    }
    for (int r = 0; r < kRounds; ++r) {
        round = r + 1;
        go[(r + 1) % 3].reset();  // the next event is cleared before this one is set
        go[r % 3].set();
        ASSERT_EQ(waitForAll(doneList.data(), kThreads), WaitResult::Signaled);
    }
    for (auto& w : workers) w.join();
    const long expected = long(kRounds) * (kRounds + 1) / 2;
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(sums[t], expected) << t;
}

// Two threads that hand a token back and forth on one core: a waiter that only spins keeps the
// core from the very thread that would set its event, so every hand-off lasts as long as its
// spin. A waiter that yields lets that thread run at once.
TEST(EventHandOff, ThreadsSharingOneCoreDoNotSpinAgainstEachOther)
{
    cpu_set_t mask;
    CPU_ZERO(&mask);
    if (sched_getaffinity(0, sizeof mask, &mask) != 0 || CPU_COUNT(&mask) < 2 || spinRounds() == 0)
        GTEST_SKIP() << "waits spin only when the process may run on two cores";
    int cpu = 0;
    while (!CPU_ISSET(cpu, &mask))
        ++cpu;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);

    constexpr int kRoundTrips = 200;
    Event ping(false, false), pong(false, false);
    std::thread partner([&] {
        pthread_setaffinity_np(pthread_self(), sizeof one, &one);
        for (int i = 0; i < kRoundTrips; ++i) {
            ping.wait();
            pong.set();
        }
    });
    std::thread starter([&] {
        pthread_setaffinity_np(pthread_self(), sizeof one, &one);
        std::vector<double> trips;
        for (int i = 0; i < kRoundTrips; ++i) {
            const auto start = std::chrono::steady_clock::now();
            ping.set();
            pong.wait();
            trips.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        }
        std::nth_element(trips.begin(), trips.begin() + kRoundTrips / 2, trips.end());
        // Spinning waiters take a millisecond or more a trip on processors with a slow pause.
        EXPECT_LT(trips[kRoundTrips / 2], 500.0) << "median round trip in microseconds";
    });
    starter.join();
    partner.join();
}
