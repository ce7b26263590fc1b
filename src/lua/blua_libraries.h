// The one place where a new Lua state gets its libraries.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

// Opens the standard libraries inside the sandbox, and the socket core behind the address guard
// when Settings::socketEnabled is true. Raises Lua errors: run it in a protected call.
void openLuaLibraries(lua_State* L);

} // namespace VadiZov
