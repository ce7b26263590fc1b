// The time budget across threads: the watchdog thread arms the hook of a state whose call runs
// on another thread (an object's core thread) while the host thread uses its own state, with the
// trace hook chained in. Run under ThreadSanitizer with the other hand-off tests.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "lua/blua.h"
#include "tests/support/lua_test_support.h"
#include "tests/support/scoped_lua_limits.h"

namespace VadiZov::testing {
namespace {

using LuaBudgetHandoff = LuaTest;

TEST_F(LuaBudgetHandoff, LoopsOnTwoThreadsAreStoppedEachInItsOwnState)
{
    const InWorkingFolder folder;
    const ScopedLuaLimits limits(0.1, 0.2, luaLimits().memoryBytes);
    Lua core("V0");
    core.initialize(nullptr, nullptr);
    Lua host("S0");
    host.initialize(nullptr, nullptr);
    core.enableStackTraceFile("trace.txt", false);

    const std::string loop = "while true do end";
    int coreResult = 0;
    std::thread coreThread([&] {
        for (int i = 0; i < 3; ++i)
            coreResult += core.executeChunk(loop.data(), loop.size(), "physics");
    });
    int hostResult = 0;
    for (int i = 0; i < 3; ++i)
        hostResult += host.executeChunk(loop.data(), loop.size(), "engine");
    coreThread.join();

    EXPECT_EQ(coreResult, 3);
    EXPECT_EQ(hostResult, 3);
    // (The log's repeat filter may fold identical lines.)
    EXPECT_FALSE(sink.matching("V0|*** FATAL LUA ERROR: [string \"physics\"]:1: V0|'physics' ran longer than 0.1 s").empty());
    EXPECT_FALSE(sink.matching("S0|*** FATAL LUA ERROR: [string \"engine\"]:1: S0|'engine' ran longer than 0.1 s").empty());
    // Both states work on after their stops.
    std::string result;
    EXPECT_EQ(core.executeChunk("return 1", 8, "physics", &result), 0);
    EXPECT_EQ(result, "1");
}

} // namespace
} // namespace VadiZov::testing
