#include "lua/bsandbox_package.h"

#include <string>

#include "lua/bsandbox_chunks.h"
#include "lua/bsandbox_stdio.h"

namespace VadiZov {

namespace {

bool readable(const std::string& path)
{
    FILE* handle = sandbox_fopen(path.c_str(), "r");
    if (!handle)
        return false;
    sandbox_fclose(handle);
    return true;
}

// The first file of the templates (";"-separated, "?" standing for the name) that opens; the
// files tried are listed in tried.
std::string findModuleFile(const std::string& name, const std::string& templates, std::string& tried)
{
    size_t start = 0;
    while (start <= templates.size()) {
        size_t end = templates.find(';', start);
        if (end == std::string::npos)
            end = templates.size();
        std::string path = templates.substr(start, end - start);
        start = end + 1;
        if (path.empty())
            continue;
        for (size_t at = path.find('?'); at != std::string::npos; at = path.find('?', at + name.size()))
            path.replace(at, 1, name);
        if (readable(path))
            return path;
        tried += "\n\tno file '" + path + "'";
    }
    return std::string();
}

// Upvalue 1: the package table, whose path is read at each search.
int searchLuaFile(lua_State* L)
{
    std::string name = luaL_checkstring(L, 1);
    for (char& c : name)
        if (c == '.')
            c = '/';
    lua_getfield(L, lua_upvalueindex(1), "path");
    const char* templates = lua_tostring(L, -1);
    if (!templates)
        return luaL_error(L, "'package.path' must be a string");
    std::string tried;
    const std::string path = findModuleFile(name, templates, tried);
    if (path.empty()) {
        lua_pushstring(L, tried.c_str());
        return 1;
    }
    if (loadScriptFile(L, path.c_str()) != 0)
        return luaL_error(L, "error loading module '%s' from file '%s':\n\t%s", lua_tostring(L, 1), path.c_str(),
                          lua_tostring(L, -1));
    return 1;
}

} // namespace

void openSandboxPackage(lua_State* L)
{
    lua_getglobal(L, "package");
    const int package = lua_gettop(L);

    lua_pushnil(L);
    lua_setfield(L, package, "loadlib");
    // The runtime is built without them; a preload entry would still name one.
    lua_getfield(L, package, "preload");
    for (const char* name : {"ffi", "jit.util", "jit.profile"}) {
        lua_pushnil(L);
        lua_setfield(L, -2, name);
    }
    lua_pop(L, 1);

    lua_getfield(L, package, "loaders");
    lua_rawgeti(L, -1, 1);  // the preload searcher
    lua_createtable(L, 2, 0);
    lua_insert(L, -2);
    lua_rawseti(L, -2, 1);
    lua_pushvalue(L, package);
    lua_pushcclosure(L, searchLuaFile, 1);
    lua_rawseti(L, -2, 2);
    lua_setfield(L, package, "loaders");
    lua_pop(L, 2);
}

} // namespace VadiZov
