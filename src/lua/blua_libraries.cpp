#include "lua/blua_libraries.h"

#include "base/bsettings.h"
#include "lua/bsandbox.h"
#include "lua/bsocket_guard_lua.h"
#include "lua/bsocket_limit.h"

namespace VadiZov {

// LuaSocket's core, linked in statically (Debian's liblua5.1-socket.a); its Lua C API calls bind
// to the library's own runtime.
extern "C" int luaopen_socket_core(lua_State* L);

namespace {

// Every class the libraries keep in the registry (LuaSocket's among them) answers getmetatable
// with its name only: with the class itself a script could give its objects a finalizer, which
// the runtime runs with every hook off (no time budget stops it), or swap its methods.
void lockClassMetatables(lua_State* L)
{
    lua_pushnil(L);
    while (lua_next(L, LUA_REGISTRYINDEX)) {
        if (lua_type(L, -2) == LUA_TSTRING && lua_istable(L, -1)) {
            lua_pushliteral(L, "__metatable");
            lua_rawget(L, -2);
            const bool locked = !lua_isnil(L, -1);
            lua_pop(L, 1);
            lua_pushliteral(L, "__index");
            lua_rawget(L, -2);
            const bool isClass = !lua_isnil(L, -1);
            lua_pop(L, 1);
            if (isClass && !locked) {
                lua_pushvalue(L, -2);
                lua_setfield(L, -2, "__metatable");
            }
        }
        lua_pop(L, 1);
    }
}

void openSocketCore(lua_State* L)
{
    lua_pushcfunction(L, luaopen_socket_core);
    lua_pushstring(L, "socket.core");
    lua_call(L, 1, 1);
    guardSocketModule(L, -1);
    limitSocketModule(L, -1);
    // Recorded as loaded, so require("socket.core") and require("socket") give this guarded
    // module; no search could load another copy.
    lua_getglobal(L, "package");
    lua_getfield(L, -1, "loaded");
    lua_pushvalue(L, -3);
    lua_setfield(L, -2, "socket.core");
    lua_pushvalue(L, -3);
    lua_setfield(L, -2, "socket");
    lua_pop(L, 3);
}

} // namespace

void openLuaLibraries(lua_State* L)
{
    openSandboxedLibraries(L);
    if (Settings::socketEnabled)
        openSocketCore(L);
    lockClassMetatables(L);
}

} // namespace VadiZov
