// The files one state's scripts hold open: the io library's and the host file system's handles
// (FS:openFile) count against one cap, so neither road holds more than it between them.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

constexpr int kMaxOpenFilesPerState = 64;

// io files the state holds open now (its coroutines included).
int luaIoFilesOpen(lua_State* L);
void luaIoFileOpened(lua_State* L);
void luaIoFileClosed(lua_State* L);

// The host file handles the state holds, as the API layer counts them; it installs the count as
// the library is loaded (0 until then).
using LuaHostFileCount = int (*)(lua_State* L);
void setLuaHostFileCount(LuaHostFileCount count);

// Room for one more file of the state: when full, a full collection closes what the scripts
// dropped first. Past the cap logs "*** <member>: no room for more than 64 open files, refused".
bool luaRoomForFile(lua_State* L, const char* member);

} // namespace VadiZov
