#include "lua/bsandbox.h"

#include <cstdio>
#include <cstdlib>

#include "lua/bsandbox_base.h"
#include "lua/bsandbox_chunks.h"
#include "lua/bsandbox_debug.h"
#include "lua/bsandbox_io.h"
#include "lua/bsandbox_long_natives.h"
#include "lua/bsandbox_os.h"
#include "lua/bsandbox_package.h"
#include "lua/bsandbox_stdio.h"
#include "lua/bsandbox_string.h"

namespace VadiZov {

namespace {

// The runtime's libraries that reach no file, stream or process by themselves (base, os and
// package are trimmed below). io and debug are the library's own, and there is no ffi.
const luaL_Reg kRuntimeLibraries[] = {
    {"", luaopen_base},          {LUA_LOADLIBNAME, luaopen_package}, {LUA_TABLIBNAME, luaopen_table},
    {LUA_OSLIBNAME, luaopen_os}, {LUA_STRLIBNAME, luaopen_string},   {LUA_MATHLIBNAME, luaopen_math},
    {LUA_BITLIBNAME, luaopen_bit}, {LUA_JITLIBNAME, luaopen_jit},     {nullptr, nullptr}};

// jit.attach hands a script's function the runtime's internal events; the rest of the jit
// library (version, on, off) stays. The build has no trace compiler, so jit.on reports that.
void trimJitLibrary(lua_State* L)
{
    lua_getglobal(L, "jit");
    lua_pushnil(L);
    lua_setfield(L, -2, "attach");
    lua_pop(L, 1);
}

// An error outside any protected call: reported like the runtime does, then the process ends
// through the sandbox's exit.
int panic(lua_State* L)
{
    const char* message = lua_tostring(L, -1);
    sandbox_fprintf(stderr, "PANIC: unprotected error in call to Lua API (%s)\n", message ? message : "?");
    sandbox_exit(EXIT_FAILURE);
}

void openRuntimeLibraries(lua_State* L)
{
    // The package library takes its default search paths: LUA_PATH and LUA_CPATH are not read.
    lua_pushboolean(L, 1);
    lua_setfield(L, LUA_REGISTRYINDEX, "LUA_NOENV");
    for (const luaL_Reg* library = kRuntimeLibraries; library->func; ++library) {
        lua_pushcfunction(L, library->func);
        lua_pushstring(L, library->name);
        lua_call(L, 1, 0);
    }
}

} // namespace

void openSandboxedLibraries(lua_State* L)
{
    lua_atpanic(L, panic);
    openRuntimeLibraries(L);
    openSandboxBase(L);
    openSandboxString(L);
    checkLongNativesAtEntry(L);
    openSandboxIo(L);
    openSandboxChunks(L);
    openSandboxOs(L);
    openSandboxPackage(L);
    openSandboxDebug(L);
    trimJitLibrary(L);
}

} // namespace VadiZov
