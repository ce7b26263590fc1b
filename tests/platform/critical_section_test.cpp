#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/critical_section.h"

using namespace VadiZov::platform;

TEST(CriticalSection, IsRecursiveOnOneThread)
{
    CriticalSection cs(1024);
    cs.enter();
    cs.enter();  // would deadlock if it were not recursive
    EXPECT_TRUE(cs.tryEnter());
    cs.leave();
    cs.leave();
    cs.leave();
    // fully released: another thread can take it
    bool taken = false;
    std::thread other([&] { taken = cs.tryEnter(); if (taken) cs.leave(); });
    other.join();
    EXPECT_TRUE(taken);
}

TEST(CriticalSection, ExcludesOtherThreads)
{
    CriticalSection cs(1024);
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                CriticalSectionGuard guard(cs);
                CriticalSectionGuard again(&cs);
                ++counter;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 8L * 20000);
}
