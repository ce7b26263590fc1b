#include "lua/binding/blua_binding.h"

namespace VadiZov::LuaBinding {

Namespace getGlobalNamespace(lua_State* L)
{
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    return Namespace(L, lua_gettop(L), 1);
}

void popScope(lua_State* L, int slots)
{
    if (slots < 0 || slots > lua_gettop(L))
        luaL_error(L, "invalid stack");
    lua_pop(L, slots);
}

void Namespace::pop()
{
    popScope(L_, slots_);
    slots_ = 0;
}

} // namespace VadiZov::LuaBinding
