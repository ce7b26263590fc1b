#include "lua/blua_libraries.h"

#include "base/blog.h"
#include "base/bsettings.h"
#include "lua/bsandbox.h"
#include "lua/bsocket_guard_lua.h"
#include "platform/shared_library.h"

namespace VadiZov {

namespace {

// Debian's LuaSocket core for Lua 5.1; its Lua C API symbols resolve against our LuaJIT.
constexpr const char* kSocketCoreLibrary = "liblua5.1-socket.so.2";
constexpr const char* kSocketCoreEntry = "luaopen_socket_core";
// The socket module calls the Lua API without linking a Lua library itself: it needs the
// LuaJIT this library runs on to be visible globally, which a host's private load hides.
constexpr const char* kLuaRuntimeLibrary = "libluajit-5.1.so.2";

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
    guardSocketModule(L, -1);
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
}

} // namespace VadiZov
