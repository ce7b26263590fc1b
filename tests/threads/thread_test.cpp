// The thread layer with thread types of the tests' own: release and wait semantics, the
// rotation of the go events, the half-done hand-off, groups, and orderly stop.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "object/bcore_parameters.h"
#include "base/bglobals.h"
#include "base/blog.h"
#include "threads/bthread.h"
#include "tests/support/recording_host.h"

using namespace VadiZov;

namespace {

using Context = ThreadContext<core_parameters_t>;

std::atomic<int> g_runsStarted{0};

// Counts its passes and copies the shared input it saw, so a test can check both how often
// it ran and that the releasing side's writes reached it.
class ProbeThread : public VelkorThread<core_parameters_t> {
public:
    ProbeThread(ThreadEventTable* table, const Context& context) : VelkorThread(table, context.params) {}
    void run() override
    {
        g_runsStarted.fetch_add(1);
        if (mode == 1) {  // the core threads' shape: half done, wait for the second release
            seenFirstHalf = params->currentSubstep;
            ++firstHalves;
            signalHalfDone();
            waitForRelease();
            seenSecondHalf = params->currentSubstep;
            ++secondHalves;
            return;
        }
        if (slow)
            std::this_thread::sleep_for(std::chrono::microseconds((index * 37 + passes * 11) % 200));
        seen = params->currentSubstep;
        ++passes;
    }
    int passes = 0;
    int seen = -1;
    int firstHalves = 0, secondHalves = 0;
    int seenFirstHalf = -1, seenSecondHalf = -1;
    bool slow = false;
};

using ProbeManager = VelkorThreadManager<ProbeThread, core_parameters_t>;

struct ThreadsFixture : ::testing::Test {
    void SetUp() override
    {
        resetLogStateForTests();
        g_logSink = &sink;
        g_runsStarted = 0;
        context.params = &params;
    }
    void TearDown() override { g_logSink = nullptr; }

    bool goIsSet(ProbeManager& m, int group, int k) { return m.events.go[group][k]->wait(0) == platform::WaitResult::Signaled; }

    core_parameters_t params;
    Context context;
    VadiZov::testing::RecordingLogSink sink;
};

TEST_F(ThreadsFixture, EachReleaseRunsEveryThreadExactlyOnceAndPublishesTheInput)
{
    for (bool slow : {false, true}) {
        ProbeManager manager(context);
        manager.addThreads(6, 0, 0);
        ASSERT_EQ(manager.threadCount, 6);
        for (int n = 0; n < 6; ++n)
            manager.threads[n]->slow = slow;
        for (int round = 1; round <= 300; ++round) {
            params.currentSubstep = round * 7;
            manager.release(0);
            manager.waitForAllDone();
            for (int n = 0; n < 6; ++n) {
                ASSERT_EQ(manager.threads[n]->passes, round) << "thread " << n << (slow ? " slow" : "");
                ASSERT_EQ(manager.threads[n]->seen, round * 7);
            }
        }
    }
    EXPECT_TRUE(sink.lines.empty());
}

TEST_F(ThreadsFixture, GoEventsRotateResettingTheOneWaitedForNext)
{
    ProbeManager manager(context);
    manager.addThreads(0, 0, 0);  // no threads: only the three go events
    EXPECT_EQ(manager.threadCount, 0);
    EXPECT_EQ(manager.groupCount, 1);
    for (int k = 0; k < 3; ++k)
        ASSERT_NE(manager.events.go[0][k], nullptr);
    manager.waitForAllDone();  // nothing to wait for: returns at once
    manager.waitForAllHalfDone();

    const struct { int phaseBefore; bool set0, set1, set2; } rounds[] = {
        {0, true, false, false}, {1, true, true, false}, {2, false, true, true}, {0, true, false, true}, {1, true, true, false},
    };
    for (const auto& r : rounds) {
        EXPECT_EQ(manager.groupPhase[0], r.phaseBefore);
        manager.release(0);
        EXPECT_EQ(goIsSet(manager, 0, 0), r.set0);
        EXPECT_EQ(goIsSet(manager, 0, 1), r.set1);
        EXPECT_EQ(goIsSet(manager, 0, 2), r.set2);
    }
    manager.exitThreads();  // nothing to stop: the events stay until the manager goes
    EXPECT_NE(manager.events.go[0][0], nullptr);
}

TEST_F(ThreadsFixture, HalfDoneSplitsAPassAroundASecondRelease)
{
    ProbeManager manager(context);
    manager.addThreads(4, 0, 1);
    for (int round = 1; round <= 200; ++round) {
        params.currentSubstep = 2 * round;
        manager.release(0);
        manager.waitForAllHalfDone();
        for (int n = 0; n < 4; ++n) {
            ASSERT_EQ(manager.threads[n]->firstHalves, round);
            ASSERT_EQ(manager.threads[n]->secondHalves, round - 1);  // held until the second release
            ASSERT_EQ(manager.threads[n]->seenFirstHalf, 2 * round);
        }
        params.currentSubstep = 2 * round + 1;  // written between the halves, seen by the second
        manager.release(0);
        manager.waitForAllDone();
        for (int n = 0; n < 4; ++n) {
            ASSERT_EQ(manager.threads[n]->secondHalves, round);
            ASSERT_EQ(manager.threads[n]->seenSecondHalf, 2 * round + 1);
        }
    }
}

TEST_F(ThreadsFixture, GroupsAreReleasedSeparately)
{
    ProbeManager manager(context);
    manager.addThreads(2, 0, 0);
    manager.addThreads(3, 2, 0);
    EXPECT_EQ(manager.threadCount, 5);
    EXPECT_EQ(manager.groupCount, 3);
    EXPECT_EQ(manager.groupRange[0][0], 0);
    EXPECT_EQ(manager.groupRange[0][1], 2);
    EXPECT_EQ(manager.groupRange[2][0], 2);
    EXPECT_EQ(manager.groupRange[2][1], 5);
    for (int n = 0; n < 5; ++n)
        EXPECT_EQ(manager.threads[n]->index, n);

    manager.release(2);
    ASSERT_EQ(platform::waitForAll(&manager.events.done[2], 3, 10000), platform::WaitResult::Signaled);
    EXPECT_EQ(manager.events.done[0]->wait(30), platform::WaitResult::Timeout);
    EXPECT_EQ(manager.events.done[1]->wait(0), platform::WaitResult::Timeout);
    EXPECT_EQ(manager.threads[0]->passes, 0);
    EXPECT_EQ(manager.threads[4]->passes, 1);

    manager.release(0);
    manager.release(2);
    manager.waitForAllDone();
    for (int n = 0; n < 5; ++n)
        EXPECT_EQ(manager.threads[n]->passes, n < 2 ? 1 : 2);

    // Group 1 was never set up: ending the threads reports its three missing go events (the
    // log keeps one of the three equal lines).
    manager.exitThreads();
    int missing = 0;
    for (const auto& line : sink.texts())
        if (line.rfind("VadiZov::VelkorThreadManager::exitThreads (bthread:226) failed with error 6", 0) == 0)
            ++missing;
    EXPECT_EQ(missing, 1);
}

TEST_F(ThreadsFixture, ExitThreadsStopsJoinsAndAllowsARebuild)
{
    ProbeManager manager(context);
    manager.addThreads(3, 0, 0);
    manager.release(0);
    manager.waitForAllDone();
    manager.exitThreads();
    EXPECT_EQ(manager.threadCount, 0);
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(manager.threads[n], nullptr);
        EXPECT_EQ(manager.events.done[n], nullptr);
        EXPECT_EQ(manager.events.halfDone[n], nullptr);
    }
    EXPECT_EQ(manager.events.go[0][0], nullptr);
    EXPECT_EQ(g_runsStarted.load(), 3);  // stopping ran nothing more

    // The worker's rebuild when objects change: the same manager again, from phase 0.
    manager.addThreads(2, 0, 0);
    EXPECT_EQ(manager.groupPhase[0], 0);
    for (int round = 1; round <= 5; ++round) {
        manager.release(0);
        manager.waitForAllDone();
    }
    EXPECT_EQ(manager.threads[0]->passes, 5);
    EXPECT_EQ(manager.threads[1]->passes, 5);
    EXPECT_TRUE(sink.lines.empty());
}

TEST_F(ThreadsFixture, StoppedBeforeTheFirstRunNeverRuns)
{
    // Destruction right after creation, before the new threads were scheduled: no hang, no pass.
    for (int i = 0; i < 200; ++i) {
        auto* manager = new ProbeManager(context);
        manager->addThreads(3, 0, 0);
        delete manager;
    }
    EXPECT_EQ(g_runsStarted.load(), 0);
    // The same after a release whose passes were waited for: the stop wakes them once more,
    // and they leave without running.
    ProbeManager manager(context);
    manager.addThreads(2, 0, 0);
    manager.release(0);
    manager.waitForAllDone();
    manager.exitThreads();
    EXPECT_EQ(g_runsStarted.load(), 2);
}

TEST_F(ThreadsFixture, ThreadsKnowTheyArePhysicsThreads)
{
    struct Asker : VelkorThread<core_parameters_t> {
        Asker(ThreadEventTable* t, const Context& c) : VelkorThread(t, c.params) {}
        void run() override { refused = refuseOnPhysicsThread("removeObject"); }
        bool refused = false;
    };
    VelkorThreadManager<Asker, core_parameters_t> manager(context);
    manager.addThreads(1, 0, 0);
    manager.release(0);
    manager.waitForAllDone();
    EXPECT_TRUE(manager.threads[0]->refused);
    EXPECT_FALSE(onPhysicsThread());
    EXPECT_FALSE(refuseOnPhysicsThread("removeObject"));
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(sink.lines[0].level, LOG_ERROR);
    EXPECT_EQ(sink.lines[0].text, "*** removeObject: refused on a physics thread");
}

#if !defined(VELKOR_TSAN) && !defined(__SANITIZE_ADDRESS__)
// With no address space left for a thread stack, creation fails: each failure is reported and
// the thread is not counted, so waits and the stop do not hang on it.
TEST_F(ThreadsFixture, AThreadThatCannotStartIsReportedAndNotCounted)
{
    // A fresh process: a forked one would reuse the stacks cached by earlier tests' threads.
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            ProbeManager manager(context);
            rlimit limit{};
            getrlimit(RLIMIT_AS, &limit);
            FILE* f = std::fopen("/proc/self/statm", "r");
            unsigned long pages = 0;
            if (!f || std::fscanf(f, "%lu", &pages) != 1)
                std::_Exit(3);
            std::fclose(f);
            limit.rlim_cur = pages * 4096ul + (2ul << 20);  // room for small allocations only
            setrlimit(RLIMIT_AS, &limit);
            manager.addThreads(3, 0, 0);
            if (manager.threadCount != 0 || manager.groupRange[0][1] != 0 || manager.threads[0] != nullptr)
                std::_Exit(4);
            manager.release(0);
            manager.waitForAllDone();
            int reports = 0;
            for (const auto& line : sink.texts())
                if (line.rfind("VadiZov::VelkorThread<struct VadiZov::core_parameters_t>::create (bthread:131) failed with error", 0) == 0)
                    ++reports;
            std::_Exit(reports == 1 ? 0 : 5);  // three failures; the log keeps one of equal lines
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

} // namespace
