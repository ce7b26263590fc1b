// Loading code in a script: print, loadfile, dofile, load and loadstring over the sandbox's C
// functions. Files come from the host file system and only source text is accepted: a binary
// chunk could break the runtime's memory safety.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

// Loads a file of the host file system (null: standard input) as a text chunk; pushes the
// function or the error message and returns the load status.
int loadScriptFile(lua_State* L, const char* path);

// Replaces print, loadfile, dofile, load and loadstring in the global table. Raises Lua errors.
void openSandboxChunks(lua_State* L);

} // namespace VadiZov
