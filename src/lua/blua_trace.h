// The call/line trace of Lua states into one C runtime file shared by all states.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

// Replaces the trace file with a new one at path and hooks the state: every call, return and
// line when full, calls only otherwise. False when the file could not be opened.
bool startLuaStackTrace(lua_State* L, const char* path, bool full);

// The hook: one line per event into the trace file, if one is open.
void luaStackTraceHook(lua_State* L, lua_Debug* event);

} // namespace VadiZov
