#include "tools/lua_api_doc/lua_api_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "base/bglobals.h"
#include "lua/api/blua_api.h"
#include "lua/binding/blua_binding_core.h"
#include "lua/blua.h"

namespace VadiZov::apidoc {

namespace {

bool rawFieldIsTable(lua_State* L, int table, const char* field)
{
    lua_pushstring(L, field);
    lua_rawget(L, table);
    const bool isTable = lua_istable(L, -1);
    lua_pop(L, 1);
    return isTable;
}

std::string rawStringField(lua_State* L, int table, const char* field)
{
    lua_pushstring(L, field);
    lua_rawget(L, table);
    std::string text = lua_type(L, -1) == LUA_TSTRING ? lua_tostring(L, -1) : "";
    lua_pop(L, 1);
    return text;
}

bool hasIdentityMarker(lua_State* L, int table)
{
    lua_pushlightuserdata(L, const_cast<void*>(LuaBinding::identityKey()));
    lua_rawget(L, table);
    const bool marked = lua_toboolean(L, -1) != 0;
    lua_pop(L, 1);
    return marked;
}

// The string keys of the table at index whose values are C functions.
std::vector<std::string> functionKeys(lua_State* L, int table)
{
    std::vector<std::string> keys;
    lua_pushnil(L);
    while (lua_next(L, table) != 0) {
        if (lua_type(L, -2) == LUA_TSTRING && lua_iscfunction(L, -1))
            keys.push_back(lua_tostring(L, -2));
        lua_pop(L, 1);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}

// Keys of table[field] whose values are C functions (a property table).
std::vector<std::string> propertyKeys(lua_State* L, int table, const char* field)
{
    lua_pushstring(L, field);
    lua_rawget(L, table);
    std::vector<std::string> keys;
    if (lua_istable(L, -1))
        keys = functionKeys(L, lua_gettop(L));
    lua_pop(L, 1);
    return keys;
}

bool contains(const std::vector<std::string>& list, const std::string& name)
{
    return std::find(list.begin(), list.end(), name) != list.end();
}

// The lookup functions and the finaliser: the binding's machinery, which lookups never hand to
// a script.
bool isMachinery(const std::string& name)
{
    return name == "__index" || name == "__newindex" || name == "__gc";
}

void addProperties(ApiClass& c, lua_State* L, int table, MemberKind kind)
{
    const std::vector<std::string> setters = propertyKeys(L, table, "__propset");
    for (const std::string& name : propertyKeys(L, table, "__propget"))
        c.members.push_back({name, kind, contains(setters, name)});
}

// Members of the class table at classIndex and of its static metatable at staticIndex (0: none).
void readMembers(ApiClass& c, lua_State* L, int classIndex, int staticIndex)
{
    if (staticIndex) {
        for (const std::string& name : functionKeys(L, staticIndex)) {
            if (name == "__call")
                c.members.push_back({"__call", MemberKind::Constructor});
            else if (!isMachinery(name))
                c.members.push_back({name, MemberKind::StaticFunction});
        }
        addProperties(c, L, staticIndex, MemberKind::StaticProperty);
    }
    for (const std::string& name : functionKeys(L, classIndex)) {
        if (isMachinery(name))
            continue;
        c.members.push_back({name, name.rfind("__", 0) == 0 ? MemberKind::Operator : MemberKind::Method});
    }
    addProperties(c, L, classIndex, MemberKind::Property);
    std::stable_sort(c.members.begin(), c.members.end(), [](const ApiMember& a, const ApiMember& b) {
        return a.kind != b.kind ? a.kind < b.kind : a.name < b.name;
    });
}

// Finds, among the registry's tables, the static metatable whose "__class" is the class table at
// classIndex; leaves it on the stack and returns its index, or returns 0 with nothing pushed.
int pushStaticMetatable(lua_State* L, int classIndex)
{
    lua_pushnil(L);
    while (lua_next(L, LUA_REGISTRYINDEX) != 0) {
        const int value = lua_gettop(L);
        if (lua_istable(L, value) && !hasIdentityMarker(L, value)) {
            lua_pushstring(L, "__class");
            lua_rawget(L, value);
            const bool matches = lua_rawequal(L, -1, classIndex) != 0;
            lua_pop(L, 1);
            if (matches) {
                lua_remove(L, value - 1);  // the key: the walk ends here
                return lua_gettop(L);
            }
        }
        lua_pop(L, 1);
    }
    return 0;
}

// Whether _G[name] is the static table whose metatable is at staticIndex.
bool globalIsStaticTable(lua_State* L, const std::string& name, int staticIndex)
{
    lua_getglobal(L, name.c_str());
    bool matches = false;
    if (lua_istable(L, -1) && lua_getmetatable(L, -1)) {
        matches = lua_rawequal(L, -1, staticIndex) != 0;
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
    return matches;
}

std::vector<ApiClass> readClasses(lua_State* L)
{
    std::vector<ApiClass> classes;
    lua_pushnil(L);
    while (lua_next(L, LUA_REGISTRYINDEX) != 0) {
        const int value = lua_gettop(L);
        // A class table: marked, and pointing at its const table.
        if (lua_istable(L, value) && hasIdentityMarker(L, value) && rawFieldIsTable(L, value, "__const")) {
            ApiClass c;
            c.name = rawStringField(L, value, "__type");
            const int staticIndex = pushStaticMetatable(L, value);
            if (staticIndex)
                c.staticTableIsGlobal = globalIsStaticTable(L, c.name, staticIndex);
            readMembers(c, L, value, staticIndex);
            if (staticIndex)
                lua_pop(L, 1);
            classes.push_back(std::move(c));
        }
        lua_pop(L, 1);
    }
    std::sort(classes.begin(), classes.end(), [](const ApiClass& a, const ApiClass& b) { return a.name < b.name; });
    return classes;
}

std::string numberText(double value)
{
    char text[64];
    if (std::floor(value) == value && std::fabs(value) < 9007199254740992.0)
        std::snprintf(text, sizeof text, "%.0f", value);
    else
        std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

// The class a bound object's metatable names: its class or its const table.
std::string objectClass(lua_State* L, int index)
{
    if (!lua_getmetatable(L, index))
        return "";
    const int meta = lua_gettop(L);
    std::string name = hasIdentityMarker(L, meta) ? rawStringField(L, meta, "__type") : "";
    lua_pop(L, 1);
    if (name.rfind("const ", 0) == 0)
        name.erase(0, 6);
    return name;
}

std::vector<ApiGlobal> readGlobals(lua_State* L)
{
    std::vector<ApiGlobal> globals;
    lua_pushvalue(L, LUA_GLOBALSINDEX);
    const int table = lua_gettop(L);
    lua_pushnil(L);
    while (lua_next(L, table) != 0) {
        if (lua_type(L, -2) == LUA_TSTRING) {
            const std::string name = lua_tostring(L, -2);
            if (lua_type(L, -1) == LUA_TUSERDATA) {
                const std::string cls = objectClass(L, lua_gettop(L));
                if (!cls.empty())
                    globals.push_back({name, GlobalKind::Object, cls});
            } else if (lua_iscfunction(L, -1)) {
                globals.push_back({name, GlobalKind::Function, ""});
            } else if (lua_type(L, -1) == LUA_TNUMBER) {
                globals.push_back({name, GlobalKind::Constant, numberText(lua_tonumber(L, -1))});
            }
        }
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
    std::sort(globals.begin(), globals.end(), [](const ApiGlobal& a, const ApiGlobal& b) {
        return a.kind != b.kind ? a.kind < b.kind : a.name < b.name;
    });
    return globals;
}

struct Registration {
    Lua* lua;
    BeamObjectImpl* owner;
};

int registerIntoBareState(lua_State* L)
{
    const auto* r = static_cast<const Registration*>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    registerLuaApi(L, *r->lua, r->owner);
    return 0;
}

// Stands in for each global object while the API registers: a distinct address per global.
alignas(16) unsigned char s_placeholders[5][16];

template <class T>
T* placeholder(int i)
{
    return reinterpret_cast<T*>(s_placeholders[i]);
}

} // namespace

ApiSurface readApiSurface(lua_State* L)
{
    ApiSurface surface;
    surface.classes = readClasses(L);
    surface.globals = readGlobals(L);
    return surface;
}

ApiSurface readRegisteredApi()
{
    lua_State* L = luaL_newstate();
    if (!L)
        throw std::runtime_error("no Lua state");
    Lua lua("api");
    Registration r{&lua, placeholder<BeamObjectImpl>(0)};
    // The registration reads these process globals; they hold nothing in this program.
    g_engine = placeholder<BeamEngineImpl>(1);
    g_fileSystem = placeholder<FS>(2);
    g_gameEngine = placeholder<GameEngine>(3);
    g_terrain = placeholder<TerrainBlock>(4);
    const int status = lua_cpcall(L, registerIntoBareState, &r);
    g_engine = nullptr;
    g_fileSystem = nullptr;
    g_gameEngine = nullptr;
    g_terrain = nullptr;
    if (status != 0) {
        const std::string error = lua_tostring(L, -1) ? lua_tostring(L, -1) : "?";
        lua_close(L);
        throw std::runtime_error("registering the API failed: " + error);
    }
    ApiSurface surface = readApiSurface(L);
    lua_close(L);
    return surface;
}

const char* kindName(MemberKind kind)
{
    switch (kind) {
    case MemberKind::Constructor: return "constructor";
    case MemberKind::StaticFunction: return "static function";
    case MemberKind::StaticProperty: return "static property";
    case MemberKind::Method: return "method";
    case MemberKind::Operator: return "operator";
    case MemberKind::Property: return "property";
    }
    return "?";
}

} // namespace VadiZov::apidoc
