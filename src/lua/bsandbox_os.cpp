#include "lua/bsandbox_os.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lua/bsandbox_runtime.h"
#include "lua/bsandbox_stdio.h"

namespace VadiZov {

namespace {

int osExecute(lua_State* L)
{
    lua_pushinteger(L, sandbox_system(luaL_optstring(L, 1, nullptr)));
    return 1;
}

int osExit(lua_State* L)
{
    int status = EXIT_SUCCESS;
    if (lua_isboolean(L, 1))
        status = lua_toboolean(L, 1) ? EXIT_SUCCESS : EXIT_FAILURE;
    else
        status = int(luaL_optinteger(L, 1, EXIT_SUCCESS));
    sandbox_exit(status);
}

int osGetenv(lua_State* L)
{
    const char* value = sandbox_getenv(luaL_checkstring(L, 1));
    if (value)
        lua_pushstring(L, value);
    else
        lua_pushnil(L);
    return 1;
}

// The result of a file change: scripts learn that nothing happened.
int changeResult(lua_State* L, int status, const char* path, const char* refusal)
{
    if (status != 0) {
        lua_pushnil(L);
        lua_pushfstring(L, "%s: %s", path, refusal);
        return 2;
    }
    lua_pushboolean(L, 1);
    return 1;
}

int osRemove(lua_State* L)
{
    const char* path = luaL_checkstring(L, 1);
    return changeResult(L, sandbox_remove(path), path, "scripts cannot remove files");
}

int osRename(lua_State* L)
{
    const char* from = luaL_checkstring(L, 1);
    const char* to = luaL_checkstring(L, 2);
    return changeResult(L, sandbox_rename(from, to), from, "scripts cannot rename files");
}

int osTmpname(lua_State* L)
{
    char name[L_tmpnam] = {};
    if (!sandbox_tmpnam(name))
        return luaL_error(L, "unable to generate a unique filename");
    lua_pushstring(L, name);
    return 1;
}

// The locale is the process's: scripts may ask, and may ask for the locale already in force.
int osSetlocale(lua_State* L)
{
    const char* wanted = luaL_optstring(L, 1, nullptr);
    static const char* const categories[] = {"all", "collate", "ctype", "monetary", "numeric", "time", nullptr};
    luaL_checkoption(L, 2, "all", categories);
    const char* name = sandbox_setlocale(LC_ALL, wanted);
    if (name)
        lua_pushstring(L, name);
    else
        lua_pushnil(L);
    return 1;
}

} // namespace

void openSandboxOs(lua_State* L)
{
    const luaL_Reg functions[] = {{"execute", osExecute}, {"exit", osExit},     {"getenv", osGetenv},
                                  {"remove", osRemove},   {"rename", osRename}, {"tmpname", osTmpname},
                                  {"setlocale", osSetlocale},
                                  {nullptr, nullptr}};
    lua_getglobal(L, "os");
    luaL_register(L, nullptr, functions);
    lua_pop(L, 1);
}

} // namespace VadiZov
