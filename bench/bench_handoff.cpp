// Round trip of one go/done hand-off between two threads through the platform events: the
// controller sets a manual-reset go event, the worker answers on its auto-reset done event.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "platform/event.h"

using namespace VadiZov::platform;

static void BM_GoDoneRoundTrip(benchmark::State& state)
{
    Event go[3] = {Event(true, false), Event(true, false), Event(true, false)};
    Event done(false, false);
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        for (int r = 0;; ++r) {
            go[r % 3].wait();
            if (stop.load(std::memory_order_relaxed)) return;
            done.set();
        }
    });
    int round = 0;
    for (auto _ : state) {
        go[(round + 1) % 3].reset();
        go[round % 3].set();
        done.wait();
        ++round;
    }
    stop = true;
    go[(round + 1) % 3].reset();
    go[round % 3].set();
    worker.join();
}
BENCHMARK(BM_GoDoneRoundTrip)->UseRealTime();
