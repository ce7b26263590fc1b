// The standard libraries of every Lua state, inside the sandbox: the runtime's own libraries
// except io (the runtime is built without ffi), then the library's io, print, loading
// functions, os and require over the sandbox's C functions, a base library without newproxy,
// pattern functions the time budget can stop, a debug library of traceback and getinfo only,
// and jit without attach.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

// Raises Lua errors: call it in protected mode.
void openSandboxedLibraries(lua_State* L);

} // namespace VadiZov
