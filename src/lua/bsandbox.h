// The standard libraries of every Lua state, inside the sandbox: the runtime's own libraries
// except io and ffi, then the library's io, print, loading functions, os and require over the
// sandbox's C functions, and a debug library without the functions that reach the binding's
// internals.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

// Raises Lua errors: call it in protected mode.
void openSandboxedLibraries(lua_State* L);

} // namespace VadiZov
