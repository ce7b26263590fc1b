// The debug library scripts get: traceback and a getinfo of source, lines and names. Nothing
// that reads or writes upvalues, locals, metatables, the registry or environments, no hooks
// (the time budget's hook must stay), and getinfo never hands out a function.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

// Pushes "message\nstack traceback:..." for the stack of L1 from level on (message may be null).
// A C function without a name reads "?": the runtime's own traceback would print its address.
void pushSandboxTraceback(lua_State* L, lua_State* L1, const char* message, int level);

// Replaces the global debug (and package.loaded.debug) with the sandbox's. Raises Lua errors.
void openSandboxDebug(lua_State* L);

} // namespace VadiZov
