#include "lua/blua_error_text.h"

namespace VadiZov {

namespace {

// Runs the value's __tostring: argument 1 is the value. Leaves the text, or nothing when the
// metamethod is missing or gives no string.
int callToString(lua_State* L)
{
    if (!luaL_callmeta(L, 1, "__tostring") || lua_type(L, -1) != LUA_TSTRING)
        return 0;
    return 1;
}

std::string plainText(lua_State* L, int index)
{
    switch (lua_type(L, index)) {
    case LUA_TNIL:
        return "nil";
    case LUA_TBOOLEAN:
        return lua_toboolean(L, index) ? "true" : "false";
    default: {
        // The address is what tostring shows too; it tells two tables apart in a log.
        const char* text = lua_pushfstring(L, "%s: %p", luaL_typename(L, index), lua_topointer(L, index));
        std::string out = text ? text : luaL_typename(L, index);
        lua_pop(L, 1);
        return out;
    }
    }
}

} // namespace

std::string luaErrorText(lua_State* L, int index)
{
    if (!L)
        return "(no Lua state)";
    if (index < 0 && index > LUA_REGISTRYINDEX)
        index = lua_gettop(L) + index + 1;
    const int type = lua_type(L, index);
    if (type == LUA_TSTRING || type == LUA_TNUMBER) {
        size_t length = 0;
        lua_pushvalue(L, index);  // a number is converted in a copy, not in place
        const char* text = lua_tolstring(L, -1, &length);
        std::string out(text, length);
        lua_pop(L, 1);
        return out;
    }
    if (!lua_checkstack(L, 4))
        return luaL_typename(L, index);
    const int top = lua_gettop(L);
    if (type == LUA_TTABLE || type == LUA_TUSERDATA) {
        lua_pushcfunction(L, callToString);
        lua_pushvalue(L, index);
        if (lua_pcall(L, 1, 1, 0) == 0 && lua_type(L, -1) == LUA_TSTRING) {
            size_t length = 0;
            const char* text = lua_tolstring(L, -1, &length);
            std::string out(text, length);
            lua_settop(L, top);
            return out;
        }
        lua_settop(L, top);
    }
    return plainText(L, index);
}

} // namespace VadiZov
