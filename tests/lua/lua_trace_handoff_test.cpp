// The shared stack-trace file handed between threads: an object's state traces from its core
// thread while the system state replaces the file (or fails to open one) on the host thread.
// Run under ThreadSanitizer with the other hand-off tests.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "lua/blua.h"
#include "tests/support/lua_test_support.h"

namespace VadiZov::testing {
namespace {

using LuaTraceHandoff = LuaTest;

std::unique_ptr<Lua> stateNamed(const char* name)
{
    auto lua = std::make_unique<Lua>(name);
    lua->initialize(nullptr, nullptr);
    return lua;
}

TEST_F(LuaTraceHandoff, FileCanBeReplacedWhileAnotherThreadWritesToIt)
{
    const InWorkingFolder folder;  // trace files are named below the working directory
    auto traced = stateNamed("V0");
    auto replacing = stateNamed("S0");
    traced->enableStackTraceFile("first.txt", true);
    std::atomic<bool> stop{false};
    std::thread core([&] {
        const std::string loop = "local n = 0 for i = 1, 200 do n = n + i end return n";
        while (!stop.load())
            traced->executeChunk(loop.data(), loop.size(), "core");
    });
    const std::string paths[] = {"a.txt", "missing-dir/trace.txt", "b.txt"};
    for (int i = 0; i < 300; ++i)
        replacing->enableStackTraceFile(paths[i % 3].c_str(), true);
    stop = true;
    core.join();

    replacing->enableStackTraceFile("last.txt", false);
    const std::string line = "local x = 1";
    ASSERT_EQ(traced->executeChunk(line.data(), line.size(), "core"), 0);
    replacing->enableStackTraceFile("closer.txt", false);  // flushes last.txt
    EXPECT_NE(readWholeFile("last.txt").find("core:1|main|LINE|"), std::string::npos);
}

} // namespace
} // namespace VadiZov::testing
