// Lua states on several threads open and close host files at once: the handle registry they
// share must keep every handle's state apart.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/bglobals.h"
#include "lua/bsandbox_stdio.h"
#include "tests/support/stored_file_system.h"

namespace VadiZov::testing {
namespace {

TEST(SandboxRegistryThreadTest, ConcurrentOpensAndClosesKeepEveryHandleRegisteredUntilClosed)
{
    StoredFileSystem fs;
    g_fileSystem = &fs;
    constexpr int kThreads = 4;
    constexpr int kRounds = 200;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&failures, t] {
            const std::string path = "thread" + std::to_string(t) + ".txt";
            for (int round = 0; round < kRounds; ++round) {
                FILE* file = sandbox_fopen(path.c_str(), "w");
                if (!file || !sandbox_isRegistered(file) || sandbox_fclose(file) != 0 || sandbox_isRegistered(file))
                    ++failures;
                if (sandbox_fclose(file) != 0)  // a second close never reaches the host
                    ++failures;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    g_fileSystem = nullptr;
    EXPECT_EQ(failures.load(), 0);
    int closes = 0;
    for (const std::string& call : fs.calls)
        closes += call.rfind("close ", 0) == 0;
    EXPECT_EQ(closes, kThreads * kRounds);
}

} // namespace
} // namespace VadiZov::testing
