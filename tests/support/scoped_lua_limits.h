// Sets the Lua limits for a test and puts the library's back when it ends: short budgets and a
// small memory cap keep the tests of the limits quick.
#pragma once

#include "lua/blua_limits.h"

namespace VadiZov::testing {

class ScopedLuaLimits {
public:
    ScopedLuaLimits(double callSeconds, double initSeconds, size_t memoryBytes) : saved_(luaLimits())
    {
        luaLimits().callSeconds = callSeconds;
        luaLimits().initSeconds = initSeconds;
        luaLimits().memoryBytes = memoryBytes;
    }
    ~ScopedLuaLimits() { luaLimits() = saved_; }
    ScopedLuaLimits(const ScopedLuaLimits&) = delete;
    ScopedLuaLimits& operator=(const ScopedLuaLimits&) = delete;

private:
    LuaLimits saved_;
};

} // namespace VadiZov::testing
