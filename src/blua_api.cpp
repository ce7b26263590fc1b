#include "blua_api.h"

#include "blua.h"
#include "blua_binding.h"

namespace VadiZov {

void registerLuaStateClass(LuaBinding::Namespace& scope)
{
    scope.beginClass<Lua>("Lua")
        .addFunction("exec", &Lua::exec)
        .addFunction("colorFromHex", &Lua::colorFromHex)
        .addFunction("colorToHex", &Lua::colorToHex)
        .addFunction("dumpStack", &Lua::dumpStack)
        .addFunction("getMemoryUsageKB", &Lua::getMemoryUsageKB)
        .addFunction("enableStackTraceFile", &Lua::enableStackTraceFile)
        .addFunction("updateCore", &Lua::updateCore)
        .addProperty("runCondition", &Lua::runCondition)
        .endClass();
}

void registerLuaApi(lua_State* L, Lua& lua, BeamObjectImpl* /*owner*/)
{
    LuaBinding::Namespace global = LuaBinding::getGlobalNamespace(L);
    // Classes, in their fixed order; the library's other classes join this list.
    registerLuaStateClass(global);
    registerLuaGlobalFunctions(global);
    global.pop();

    // Globals: each state's `Lua` is its own wrapper, replacing the class table of that name.
    // `BeamEngine`, `FS`, `gameEngine`, `terrainBlock` and `obj` (the owner) follow here.
    LuaBinding::pushObjectPointer(L, &lua, LuaBinding::classKeyOf<Lua>());
    lua_setglobal(L, "Lua");
}

} // namespace VadiZov
