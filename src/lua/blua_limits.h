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
    // Native levels nested on one thread (coroutines resumed inside one another, library
    // functions calling back into Lua, chunks run inside a call): each runs on the C stack.
    int coroutineDepth = 200;
    // Sockets one state may hold open: their kernel buffers are outside the memory cap.
    int openSockets = 64;
};

// The limits in force, process-wide. The memory cap is taken when a state is created, the time
// budgets when a call starts.
LuaLimits& luaLimits();

} // namespace VadiZov
