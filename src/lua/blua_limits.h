// What one Lua state and one script call may use. The library reads these values, scripts
// cannot reach them; docs/scripting.md lists them under "Time and memory".
#pragma once

#include <cstddef>

namespace VadiZov {

struct LuaLimits {
    // Wall time of one call from the library into a script: an object's init (with its
    // init.lua) and a state's start script get initSeconds, every other callback and every
    // queued chunk or file callSeconds. A call past its time ends with a Lua error.
    double initSeconds = 5.0;
    double callSeconds = 1.0;
    // Memory of one Lua state; past it the state's allocations fail with "not enough memory".
    size_t memoryBytes = size_t(256) << 20;
    // Coroutines resumed inside one another: each level runs on the C stack.
    int coroutineDepth = 200;
};

// The limits in force, process-wide. The memory cap is taken when a state is created, the time
// budgets when a call starts.
LuaLimits& luaLimits();

} // namespace VadiZov
