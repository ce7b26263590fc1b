// The text of a Lua error value for the log. Scripts may raise any value (error({}), error(nil),
// error(setmetatable({}, {__tostring = ...}))): the log gets what tostring makes of it, never a
// null text.
#pragma once

#include <string>

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

// Strings and numbers as they are; other values through their __tostring (run protected, so a
// failing one cannot raise a second error) or, without a usable one, as tostring writes them
// ("nil", "true", "table: 0x..."). The stack is left as it was.
std::string luaErrorText(lua_State* L, int index);

} // namespace VadiZov
