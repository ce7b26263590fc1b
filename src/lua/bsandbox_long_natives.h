// The runtime's library functions that may run long in native code in one call (sorting,
// joining, repeating, formatting, unpacking), where the time budget's hook does not fire: each
// looks at the stop flag as it is entered, so a loop of them ends within one call of its time.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

void checkLongNativesAtEntry(lua_State* L);

} // namespace VadiZov
