#include "lua/blua_libraries.h"

#include "base/blog.h"
#include "base/bsettings.h"
#include "platform/shared_library.h"

namespace VadiZov {

namespace {

// Debian's LuaSocket core for Lua 5.1; its Lua C API symbols resolve against our LuaJIT.
constexpr const char* kSocketCoreLibrary = "liblua5.1-socket.so.2";
constexpr const char* kSocketCoreEntry = "luaopen_socket_core";
// The socket module calls the Lua API without linking a Lua library itself: it needs the
// LuaJIT this library runs on to be visible globally, which a host's private load hides.
constexpr const char* kLuaRuntimeLibrary = "libluajit-5.1.so.2";

// Scripts see no environment.
int getenvYieldsNothing(lua_State* L)
{
    lua_pushnil(L);
    return 1;
}

lua_CFunction socketCoreEntry()
{
    // Loaded once and kept until this library is unloaded: every state that opened it holds
    // closures into its code, and no state outlives the library that made it.
    static platform::SharedLibrary runtime;
    static platform::SharedLibrary library;
    static const bool attempted = [] {
        runtime.load(kLuaRuntimeLibrary, true);
        if (!library.load(kSocketCoreLibrary))
            logFormat(LOG_WARN, "cannot open the socket library %s: %s", kSocketCoreLibrary,
                      library.errorText().c_str());
        return true;
    }();
    (void)attempted;
    return reinterpret_cast<lua_CFunction>(library.symbol(kSocketCoreEntry));
}

void openSocketCore(lua_State* L)
{
    const lua_CFunction open = socketCoreEntry();
    if (!open) {
        logFormat(LOG_WARN, "socket library not available: %s not found", kSocketCoreEntry);
        return;
    }
    lua_pushcfunction(L, open);
    lua_pushstring(L, "socket.core");
    lua_call(L, 1, 1);
    // Recorded as loaded, so require("socket.core") returns this module instead of loading the
    // shared object a second time through the search path.
    lua_getglobal(L, "package");
    lua_getfield(L, -1, "loaded");
    lua_pushvalue(L, -3);
    lua_setfield(L, -2, "socket.core");
    lua_pop(L, 3);
}

} // namespace

void openLuaLibraries(lua_State* L)
{
    // The package library takes its default search paths: LUA_PATH and LUA_CPATH are ignored.
    lua_pushboolean(L, 1);
    lua_setfield(L, LUA_REGISTRYINDEX, "LUA_NOENV");
    luaL_openlibs(L);

    lua_getglobal(L, "os");
    lua_pushcfunction(L, getenvYieldsNothing);
    lua_setfield(L, -2, "getenv");
    lua_pop(L, 1);

    if (Settings::socketEnabled)
        openSocketCore(L);
}

} // namespace VadiZov
