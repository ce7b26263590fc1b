// The io library of every Lua state, rebuilt over the sandbox's C functions: files come from the
// host file system, the standard streams are the log (output, error) and the process's input.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

// Sets the global io (and package.loaded.io). Raises Lua errors: call it in protected mode.
void openSandboxIo(lua_State* L);

} // namespace VadiZov
