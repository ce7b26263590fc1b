// The thread that watches the deadlines of running script calls: a few times per tenth of a
// second it asks each watched state's guard to check its running call, and sleeps while no state
// is watched. Started with the first watched state, stopped when the library unloads.
#pragma once

#include <cstdint>

namespace VadiZov {

class LuaStateGuard;

// Each state is watched from its creation to its close. unwatchLuaState returns only once the
// watchdog no longer looks at the guard.
void watchLuaState(LuaStateGuard* guard);
void unwatchLuaState(LuaStateGuard* guard);

// The clock of the deadlines: monotonic nanoseconds.
int64_t luaClockNow();

} // namespace VadiZov
