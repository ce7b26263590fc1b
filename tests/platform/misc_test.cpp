#include <gtest/gtest.h>

#include <cerrno>
#include <sched.h>
#include <thread>

#include "platform/last_error.h"
#include "platform/perf_counter.h"
#include "platform/process.h"
#include "platform/system_info.h"
#include "platform/thread.h"

using namespace VadiZov::platform;

TEST(PerfCounter, IsMonotonicWithNanosecondFrequency)
{
    int64_t freq = 0, a = 0, b = 0;
    ASSERT_TRUE(queryPerformanceFrequency(&freq));
    EXPECT_EQ(freq, 1000000000);
    ASSERT_TRUE(queryPerformanceCounter(&a));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(queryPerformanceCounter(&b));
    EXPECT_GE(b - a, 2000000);
    EXPECT_FALSE(queryPerformanceCounter(nullptr));
}

TEST(LastError, IsPerThreadAndHasText)
{
    setLastError(ENOENT);
    int other = -1;
    std::thread t([&] { other = getLastError(); });
    t.join();
    EXPECT_EQ(other, 0);
    EXPECT_EQ(getLastError(), ENOENT);
    EXPECT_EQ(errorText(ENOENT), "No such file or directory");
    EXPECT_EQ(errorText(0), "");
}

TEST(Thread, RunsAndJoins)
{
    int value = 0;
    Thread t;
    ASSERT_TRUE(t.start([](void* p) { *static_cast<int*>(p) = 42; }, &value));
    t.join();
    EXPECT_EQ(value, 42);
    EXPECT_FALSE(t.started());
    Thread never;
    never.join();  // joining a thread that never started is harmless
    EXPECT_FALSE(never.start(nullptr, nullptr));
}

TEST(Process, StartsFromArgumentVectorAndReportsExitCode)
{
    Process p;
    ASSERT_TRUE(startProcess({"/bin/sh", "-c", "exit \"$0\"", "7"}, &p));
    EXPECT_EQ(waitProcess(p), 7);
    Process missing;
    EXPECT_FALSE(startProcess({"/nonexistent/program"}, &missing));
    EXPECT_NE(getLastError(), 0);
    EXPECT_FALSE(executablePath().empty());
}

// A thread held to one core counts one, whatever the machine has: the events then sleep at once
// instead of spinning against the thread they wait for.
TEST(SystemInfo, UsableCoresFollowTheAffinityMask)
{
    const int all = VadiZov::platform::usableCoreCount();
    EXPECT_GE(all, 1);
    int pinned = 0;
    std::thread probe([&] {
        cpu_set_t set;
        ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
        int first = 0;
        while (!CPU_ISSET(first, &set))
            ++first;
        CPU_ZERO(&set);
        CPU_SET(first, &set);
        ASSERT_EQ(sched_setaffinity(0, sizeof set, &set), 0);
        pinned = VadiZov::platform::usableCoreCount();
    });
    probe.join();
    EXPECT_EQ(pinned, 1);
    EXPECT_EQ(VadiZov::platform::usableCoreCount(), all);  // the caller's own mask is untouched
}
