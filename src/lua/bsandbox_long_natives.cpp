#include "lua/bsandbox_long_natives.h"

#include "lua/blua_guard.h"

namespace VadiZov {

namespace {

struct LongNative {
    const char* library;  // null: a global
    const char* name;
};

// All of them plain C functions of the runtime (no upvalues, no environment of their own), so
// the check calls them directly on its own frame, with the same arguments.
constexpr LongNative kLongNatives[] = {
    {"table", "sort"},  {"table", "concat"}, {"table", "insert"}, {"table", "maxn"},
    {"string", "rep"},  {"string", "format"}, {nullptr, "unpack"},
};

// Upvalue 1: the runtime's function.
int checkedAtEntry(lua_State* L)
{
    if (LuaStateGuard* guard = LuaStateGuard::of(L))
        guard->checkTime(L);
    const auto function = reinterpret_cast<lua_CFunction>(lua_touserdata(L, lua_upvalueindex(1)));
    return function(L);
}

void replaceWithChecked(lua_State* L, int table, const char* name)
{
    lua_getfield(L, table, name);
    const lua_CFunction function = lua_tocfunction(L, -1);
    lua_pop(L, 1);
    if (!function)
        return;
    lua_pushlightuserdata(L, reinterpret_cast<void*>(function));
    lua_pushcclosure(L, checkedAtEntry, 1);
    lua_setfield(L, table, name);
}

} // namespace

void checkLongNativesAtEntry(lua_State* L)
{
    for (const LongNative& native : kLongNatives) {
        if (native.library)
            lua_getglobal(L, native.library);
        else
            lua_pushvalue(L, LUA_GLOBALSINDEX);
        if (lua_istable(L, -1))
            replaceWithChecked(L, lua_gettop(L), native.name);
        lua_pop(L, 1);
    }
}

} // namespace VadiZov
