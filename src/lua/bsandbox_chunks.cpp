#include "lua/bsandbox_chunks.h"

#include <cstdio>

#include "lua/blua_guard.h"
#include "lua/bsandbox_stdio.h"

namespace VadiZov {

namespace {

// Registry key of the runtime's own load, kept where scripts cannot reach it.
char gRuntimeLoadKey;

struct FileReader {
    FILE* handle;
    char buffer[LUAL_BUFFERSIZE];
};

const char* readPiece(lua_State*, void* data, size_t* size)
{
    auto* reader = static_cast<FileReader*>(data);
    *size = sandbox_fread(reader->buffer, 1, sizeof reader->buffer, reader->handle);
    return *size > 0 ? reader->buffer : nullptr;
}

int print(lua_State* L)
{
    const LuaNativeLevel level(L);  // tostring may call a script's __tostring, which may print
    const int count = lua_gettop(L);
    lua_getglobal(L, "tostring");
    for (int i = 1; i <= count; ++i) {
        lua_pushvalue(L, -1);
        lua_pushvalue(L, i);
        lua_call(L, 1, 1);
        size_t length = 0;
        const char* text = lua_tolstring(L, -1, &length);
        if (!text)
            return luaL_error(L, "'tostring' must return a string to 'print'");
        if (i > 1)
            sandbox_putchar('\t');
        sandbox_fwrite(text, 1, length, stdout);
        lua_pop(L, 1);
    }
    sandbox_putchar('\n');
    return 0;
}

int loadfile(lua_State* L)
{
    const char* path = luaL_optstring(L, 1, nullptr);
    const bool hasEnvironment = !lua_isnoneornil(L, 3);
    if (loadScriptFile(L, path) != 0) {
        lua_pushnil(L);
        lua_insert(L, -2);
        return 2;
    }
    if (hasEnvironment) {
        lua_pushvalue(L, 3);
        lua_setfenv(L, -2);
    }
    return 1;
}

int dofile(lua_State* L)
{
    const char* path = luaL_optstring(L, 1, nullptr);
    lua_settop(L, 1);
    if (loadScriptFile(L, path) != 0)
        return lua_error(L);
    lua_call(L, 0, LUA_MULTRET);
    return lua_gettop(L) - 1;
}

// load and loadstring: the runtime's own, with the mode always "t".
int loadText(lua_State* L)
{
    if (lua_gettop(L) < 3)
        lua_settop(L, 3);
    lua_pushliteral(L, "t");
    lua_replace(L, 3);
    const int arguments = lua_gettop(L);
    lua_pushlightuserdata(L, &gRuntimeLoadKey);
    lua_rawget(L, LUA_REGISTRYINDEX);
    lua_insert(L, 1);
    lua_call(L, arguments, LUA_MULTRET);
    return lua_gettop(L);
}

} // namespace

int loadScriptFile(lua_State* L, const char* path)
{
    FileReader reader;
    reader.handle = path ? sandbox_fopen(path, "rb") : stdin;
    if (!reader.handle) {
        lua_pushfstring(L, "cannot open %s", path);
        return LUA_ERRFILE;
    }
    if (path)
        lua_pushfstring(L, "@%s", path);
    else
        lua_pushliteral(L, "=stdin");
    const int status = lua_loadx(L, readPiece, &reader, lua_tostring(L, -1), "t");
    lua_remove(L, -2);
    const bool failedRead = sandbox_ferror(reader.handle) != 0;
    if (path)
        sandbox_fclose(reader.handle);
    if (status == 0 && failedRead) {
        lua_pop(L, 1);
        lua_pushfstring(L, "cannot read %s", path ? path : "stdin");
        return LUA_ERRFILE;
    }
    return status;
}

void openSandboxChunks(lua_State* L)
{
    lua_pushlightuserdata(L, &gRuntimeLoadKey);
    lua_getglobal(L, "load");
    lua_rawset(L, LUA_REGISTRYINDEX);

    const luaL_Reg functions[] = {{"print", print},       {"loadfile", loadfile}, {"dofile", dofile},
                                  {"load", loadText},     {"loadstring", loadText}, {nullptr, nullptr}};
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    luaL_register(L, nullptr, functions);
    lua_pop(L, 1);
}

} // namespace VadiZov
