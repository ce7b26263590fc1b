// The os library's file, environment and process functions over the sandbox's C functions:
// nothing runs, nothing is removed or renamed, the environment is empty, and exit ends the
// process only after logging.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

// Replaces execute, exit, getenv, remove, rename and tmpname in the global os table; the clock
// and date functions stay. Raises Lua errors.
void openSandboxOs(lua_State* L);

} // namespace VadiZov
