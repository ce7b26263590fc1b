// require over the host file system: the preload searcher and a Lua-file searcher that opens
// files through the sandbox. Native modules cannot be loaded: package.loadlib and the C-library
// searchers are gone, and ffi is not preloaded.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

// Rebuilds package.loaders and drops package.loadlib. Raises Lua errors.
void openSandboxPackage(lua_State* L);

} // namespace VadiZov
