// string.find, string.match, string.gmatch and string.gsub over the library's pattern matcher,
// which the time budget can stop (bsandbox_patterns.h). Same arguments, results and messages as
// the runtime's.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

// Replaces the four functions in the string library. Raises Lua errors.
void openSandboxString(lua_State* L);

} // namespace VadiZov
