#include "lua/bsandbox_base.h"

#include <cstring>

#include "lua/blua_guard.h"
#include "lua/blua_limits.h"

namespace VadiZov {

namespace {

// xpcall in Lua, calling the runtime's own as a tail call: a coroutine can still yield inside
// it, which a C function in between would forbid.
constexpr const char* kXpcallSource =
    "local runtimeXpcall, checkedHandler = ...\n"
    "return function(f, handler, ...) return runtimeXpcall(f, checkedHandler(handler), ...) end\n";

// Calls the handler of upvalue 1 unless the running call is out of time; then the message
// passes unchanged (the handler would run where the hook that raised it cannot fire).
int runHandler(lua_State* L)
{
    const LuaStateGuard* guard = LuaStateGuard::of(L);
    if (guard && guard->outOfTime()) {
        lua_settop(L, 1);
        return 1;
    }
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

// A Lua handler is wrapped; C handlers (debug.traceback) and other values pass as they are.
int checkedHandler(lua_State* L)
{
    lua_settop(L, 1);
    if (lua_isfunction(L, 1) && !lua_iscfunction(L, 1))
        lua_pushcclosure(L, runHandler, 1);
    return 1;
}

void replaceXpcall(lua_State* L)
{
    if (luaL_loadbuffer(L, kXpcallSource, std::strlen(kXpcallSource), "=[sandbox]") != 0)
        lua_error(L);
    lua_getglobal(L, "xpcall");
    lua_pushcfunction(L, checkedHandler);
    lua_call(L, 2, 1);
    lua_setglobal(L, "xpcall");
}

// Calls upvalue 1 with every argument, one resume level deeper; returns all its results.
int callOneLevelDeeper(lua_State* L)
{
    const LuaNativeLevel level(L);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

// coroutine.wrap: the runtime's function, each call of it counted. Upvalue 1: runtime's wrap.
int wrapCounted(lua_State* L)
{
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, 1);
    lua_pushcclosure(L, callOneLevelDeeper, 1);
    return 1;
}

void countResumes(lua_State* L)
{
    lua_getglobal(L, "coroutine");
    lua_getfield(L, -1, "resume");
    lua_pushcclosure(L, callOneLevelDeeper, 1);
    lua_setfield(L, -2, "resume");
    lua_getfield(L, -1, "wrap");
    lua_pushcclosure(L, wrapCounted, 1);
    lua_setfield(L, -2, "wrap");
    lua_pop(L, 1);
}

} // namespace

void openSandboxBase(lua_State* L)
{
    lua_pushnil(L);
    lua_setglobal(L, "newproxy");
    replaceXpcall(L);
    countResumes(L);
}

} // namespace VadiZov
