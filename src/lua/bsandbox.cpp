#include "lua/bsandbox.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "lua/bsandbox_chunks.h"
#include "lua/bsandbox_io.h"
#include "lua/bsandbox_os.h"
#include "lua/bsandbox_package.h"
#include "lua/bsandbox_stdio.h"

namespace VadiZov {

namespace {

// The runtime's libraries that reach no file, stream or process by themselves (os and package
// are trimmed below). io is the library's own, and ffi is never offered.
const luaL_Reg kRuntimeLibraries[] = {
    {"", luaopen_base},           {LUA_LOADLIBNAME, luaopen_package}, {LUA_TABLIBNAME, luaopen_table},
    {LUA_OSLIBNAME, luaopen_os},  {LUA_STRLIBNAME, luaopen_string},   {LUA_MATHLIBNAME, luaopen_math},
    {LUA_DBLIBNAME, luaopen_debug}, {LUA_BITLIBNAME, luaopen_bit},    {LUA_JITLIBNAME, luaopen_jit},
    {nullptr, nullptr}};

// They reach the registry, other functions' upvalues and locals, and any value's metatable:
// enough to take the sandbox apart or break memory safety.
const char* const kDebugFunctionsWithheld[] = {"getregistry", "setmetatable", "setupvalue", "upvaluejoin",
                                               "setlocal"};

// debug.debug over the sandbox: prompts and errors go to standard error (the log), commands come
// from the process's standard input, as source text only.
int debugPrompt(lua_State* L)
{
    for (;;) {
        char command[250];
        sandbox_fputs("lua_debug> ", stderr);
        if (!sandbox_fgets(command, sizeof command, stdin) || std::string_view(command) == "cont\n")
            return 0;
        if (luaL_loadbufferx(L, command, strnlen(command, sizeof command), "=(debug command)", "t") != 0 ||
            lua_pcall(L, 0, 0, 0) != 0) {
            const char* message = lua_tostring(L, -1);
            sandbox_fputs(message ? message : "(error object is not a string)", stderr);
            sandbox_fputs("\n", stderr);
        }
        lua_settop(L, 0);
    }
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

void trimDebugLibrary(lua_State* L)
{
    lua_getglobal(L, "debug");
    for (const char* name : kDebugFunctionsWithheld) {
        lua_pushnil(L);
        lua_setfield(L, -2, name);
    }
    lua_pushcfunction(L, debugPrompt);
    lua_setfield(L, -2, "debug");
    lua_pop(L, 1);
}

} // namespace

void openSandboxedLibraries(lua_State* L)
{
    lua_atpanic(L, panic);
    openRuntimeLibraries(L);
    openSandboxIo(L);
    openSandboxChunks(L);
    openSandboxOs(L);
    openSandboxPackage(L);
    trimDebugLibrary(L);
}

} // namespace VadiZov
