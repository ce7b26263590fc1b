// The scripting API every Lua state receives when it is created.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

class Lua;
class BeamObjectImpl;

namespace LuaBinding {
class Namespace;
}

// Registers the API into the state of `lua`: classes, global functions, globals (`Lua`,
// `obj`, ...), constants. Called by Lua::initialize in a protected call; raises Lua errors.
void registerLuaApi(lua_State* L, Lua& lua, BeamObjectImpl* owner);

// Pieces the registration calls in its fixed order.
void registerLuaStateClass(LuaBinding::Namespace& scope);     // class `Lua`
void registerLuaGlobalFunctions(LuaBinding::Namespace& scope);  // logInfo ... hexdump

} // namespace VadiZov
