// Puts the address guard in front of an opened socket core module: name resolution, bind,
// connect and UDP send consult it before any system call, and the module's own functions are
// kept where scripts cannot reach them.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

// Guards the module at the index and its socket classes. Raises Lua errors.
void guardSocketModule(lua_State* L, int module);

} // namespace VadiZov
