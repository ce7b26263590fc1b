// The sockets one state may hold open (luaLimits().openSockets): every socket holds kernel
// buffers outside the state's memory cap. The module's constructors and a server's accept are
// counted; past the cap they give nil and "too many open sockets" and log
// "*** <member>: no room for more than <n> open sockets, refused". Closed sockets and those a
// script dropped (the collector closes them) leave room.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

// Counts the sockets of the module at the index and of its server class. Raises Lua errors.
void limitSocketModule(lua_State* L, int module);

} // namespace VadiZov
