#include "lua/binding/blua_binding_core.h"

#include <cstring>

namespace VadiZov::LuaBinding {

namespace {

const char s_identityMarker = 0;

// Name used when a parameter's class was never registered in the state.
constexpr const char* kUnregisteredClass = "unregistered class";

void rawGetField(lua_State* L, int tableIndex, const char* key)
{
    tableIndex = absoluteIndex(L, tableIndex);
    lua_pushstring(L, key);
    lua_rawget(L, tableIndex);
}

void rawSetField(lua_State* L, int tableIndex, const char* key)
{
    tableIndex = absoluteIndex(L, tableIndex);
    lua_pushstring(L, key);
    lua_insert(L, -2);
    lua_rawset(L, tableIndex);
}

void setRegistryValue(lua_State* L, const void* key)
{
    lua_pushlightuserdata(L, const_cast<void*>(key));
    lua_insert(L, -2);
    lua_rawset(L, LUA_REGISTRYINDEX);
}

// Text of a key for messages: a string or number as it reads, anything else by its type name.
const char* keyText(lua_State* L, int index)
{
    const int type = lua_type(L, index);
    if (type == LUA_TSTRING || type == LUA_TNUMBER) {
        lua_pushvalue(L, index);  // convert a copy so a number key is left as it is
        return lua_tostring(L, -1);
    }
    return luaL_typename(L, index);
}

bool hasIdentityMarker(lua_State* L, int metatableIndex)
{
    metatableIndex = absoluteIndex(L, metatableIndex);
    lua_pushlightuserdata(L, const_cast<void*>(identityKey()));
    lua_rawget(L, metatableIndex);
    const bool marked = lua_toboolean(L, -1) != 0;
    lua_pop(L, 1);
    return marked;
}

// Pushes the "__type" of the table at index, or the fallback when it has none.
const char* typeNameOf(lua_State* L, int tableIndex, const char* fallback)
{
    rawGetField(L, tableIndex, "__type");
    const char* name = lua_tostring(L, -1);
    return name ? name : fallback;
}

[[noreturn]] void raiseMismatch(lua_State* L, int index, const char* expected, const char* found)
{
    const char* message = lua_pushfstring(L, "%s expected, got %s", expected, found);
    if (index > 0)
        luaL_argerror(L, index, message);
    lua_error(L);
    __builtin_unreachable();
}

void makeSelfMetatable(lua_State* L, const char* typeName)
{
    lua_newtable(L);
    lua_pushvalue(L, -1);
    lua_setmetatable(L, -2);
    lua_pushstring(L, typeName);
    rawSetField(L, -2, "__type");
    lua_pushcfunction(L, instanceIndex);
    rawSetField(L, -2, "__index");
    lua_pushcfunction(L, instanceNewindex);
    rawSetField(L, -2, "__newindex");
    lua_newtable(L);
    rawSetField(L, -2, "__propget");
    lua_pushlightuserdata(L, const_cast<void*>(identityKey()));
    lua_pushboolean(L, 1);
    lua_rawset(L, -3);
}

void setFinalizer(lua_State* L, int tableIndex, const void* classKey)
{
    tableIndex = absoluteIndex(L, tableIndex);
    lua_pushlightuserdata(L, const_cast<void*>(classKey));
    lua_pushcclosure(L, finalizeObject, 1);
    rawSetField(L, tableIndex, "__gc");
}

// The table getmetatable gives a script for the class: a plain table naming the type. What a
// script does to it changes nothing the binding reads.
void pushStandIn(lua_State* L, const char* typeName)
{
    lua_createtable(L, 0, 1);
    lua_pushstring(L, typeName);
    rawSetField(L, -2, "__type");
}

bool isKey(lua_State* L, int index, const char* name)
{
    return lua_type(L, index) == LUA_TSTRING && std::strcmp(lua_tostring(L, index), name) == 0;
}

// What the "__parent" link of a class table holds.
enum class ParentLink { Table, None, NotATable };

// The one step of the four member lookups up the class chain: a parent table replaces the table
// at tableIndex and the walk goes on; otherwise the stack is left as it was and the caller ends
// the walk its own way. Chains longer than kMaxParentDepth raise a Lua error rather than loop.
ParentLink followParent(lua_State* L, int tableIndex, int& depth)
{
    rawGetField(L, tableIndex, "__parent");
    if (!lua_istable(L, -1)) {
        const ParentLink end = lua_isnil(L, -1) ? ParentLink::None : ParentLink::NotATable;
        lua_pop(L, 1);
        return end;
    }
    if (++depth > kMaxParentDepth)
        luaL_error(L, "__parent chain too long");
    lua_replace(L, tableIndex);
    return ParentLink::Table;
}

// Fetches raw t[name] and checks that it is a table; raises the internal error otherwise.
void getRequiredTable(lua_State* L, int tableIndex, const char* name, const char* errorText)
{
    rawGetField(L, tableIndex, name);
    if (!lua_istable(L, -1))
        luaL_error(L, "%s", errorText);
}

} // namespace

const void* identityKey() { return &s_identityMarker; }

void pushRegistryValue(lua_State* L, const void* key)
{
    lua_pushlightuserdata(L, const_cast<void*>(key));
    lua_rawget(L, LUA_REGISTRYINDEX);
}

int instanceIndex(lua_State* L)
{
    // The finaliser is the collector's alone.
    if (isKey(L, 2, "__gc") || !lua_getmetatable(L, 1))
        return 0;
    for (int depth = 0;;) {
        const int table = lua_gettop(L);
        lua_pushvalue(L, 2);
        lua_rawget(L, table);
        if (lua_iscfunction(L, -1))
            return 1;
        if (!lua_isnil(L, -1))
            return luaL_error(L, "not a cfunction");
        lua_pop(L, 1);

        getRequiredTable(L, table, "__propget", "missing __propget table");
        lua_pushvalue(L, 2);
        lua_rawget(L, -2);
        if (lua_iscfunction(L, -1)) {
            lua_pushvalue(L, 1);
            lua_call(L, 1, 1);
            return 1;
        }
        if (!lua_isnil(L, -1))
            return luaL_error(L, "not a cfunction");
        lua_pop(L, 2);

        const ParentLink link = followParent(L, table, depth);
        if (link == ParentLink::None) {
            lua_pushnil(L);
            return 1;
        }
        if (link == ParentLink::NotATable)
            return luaL_error(L, "__parent is not a table");
    }
}

int instanceNewindex(lua_State* L)
{
    if (!lua_getmetatable(L, 1))
        return luaL_error(L, "no member named '%s'", keyText(L, 2));
    for (int depth = 0;;) {
        const int table = lua_gettop(L);
        rawGetField(L, table, "__propset");
        if (lua_istable(L, -1)) {
            lua_pushvalue(L, 2);
            lua_rawget(L, -2);
            if (!lua_isnil(L, -1)) {
                lua_pushvalue(L, 1);
                lua_pushvalue(L, 3);
                lua_call(L, 2, 0);
                return 0;
            }
            lua_pop(L, 1);
        }
        lua_pop(L, 1);

        const ParentLink link = followParent(L, table, depth);
        if (link == ParentLink::None)
            return luaL_error(L, "no member named '%s'", keyText(L, 2));
        if (link == ParentLink::NotATable)
            return luaL_error(L, "__parent is not a table");
    }
}

// Only functions are handed out: the metatable's tables (__class, __propget, __propset, the
// stand-in) stay the binding's.
int staticIndex(lua_State* L)
{
    if (!lua_getmetatable(L, 1))
        return 0;
    for (int depth = 0;;) {
        const int table = lua_gettop(L);
        lua_pushvalue(L, 2);
        lua_rawget(L, table);
        if (lua_iscfunction(L, -1))
            return 1;
        lua_pop(L, 1);

        getRequiredTable(L, table, "__propget", "missing __propget table");
        lua_pushvalue(L, 2);
        lua_rawget(L, -2);
        if (lua_iscfunction(L, -1)) {
            lua_pushvalue(L, 1);
            lua_call(L, 1, 1);
            return 1;
        }
        lua_pop(L, 2);

        if (followParent(L, table, depth) != ParentLink::Table)
            return 0;
    }
}

int staticNewindex(lua_State* L)
{
    if (!lua_getmetatable(L, 1))
        return luaL_error(L, "no writable variable '%s'", keyText(L, 2));
    for (int depth = 0;;) {
        const int table = lua_gettop(L);
        rawGetField(L, table, "__propset");
        if (lua_istable(L, -1)) {
            lua_pushvalue(L, 2);
            lua_rawget(L, -2);
            if (lua_iscfunction(L, -1)) {
                lua_pushvalue(L, 3);
                lua_call(L, 1, 0);
                return 0;
            }
            lua_pop(L, 1);
        }
        lua_pop(L, 1);

        if (followParent(L, table, depth) != ParentLink::Table)
            return luaL_error(L, "no writable variable '%s'", keyText(L, 2));
    }
}

void beginClassTables(lua_State* L, int scopeIndex, const char* name, const void* staticKey, const void* classKey,
                      const void* constKey)
{
    scopeIndex = absoluteIndex(L, scopeIndex);
    luaL_checkstack(L, 8, "class registration");
    pushRegistryValue(L, classKey);
    if (lua_istable(L, -1)) {
        lua_pop(L, 1);
        pushRegistryValue(L, constKey);
        pushRegistryValue(L, classKey);
        pushRegistryValue(L, staticKey);
        return;
    }
    lua_pop(L, 1);

    // Const table.
    lua_pushfstring(L, "const %s", name);
    makeSelfMetatable(L, lua_tostring(L, -1));
    pushStandIn(L, lua_tostring(L, -2));
    rawSetField(L, -2, "__metatable");
    lua_remove(L, -2);
    setFinalizer(L, -1, classKey);
    const int constTable = lua_gettop(L);

    // Class table.
    makeSelfMetatable(L, name);
    lua_newtable(L);
    rawSetField(L, -2, "__propset");
    lua_pushvalue(L, constTable);
    rawSetField(L, -2, "__const");
    setFinalizer(L, -1, classKey);
    pushStandIn(L, name);
    rawSetField(L, -2, "__metatable");
    const int classTable = lua_gettop(L);
    lua_pushvalue(L, classTable);
    rawSetField(L, constTable, "__class");

    // Static table and its metatable.
    lua_newtable(L);
    lua_newtable(L);
    lua_pushcfunction(L, staticIndex);
    rawSetField(L, -2, "__index");
    lua_pushcfunction(L, staticNewindex);
    rawSetField(L, -2, "__newindex");
    lua_newtable(L);
    rawSetField(L, -2, "__propget");
    lua_newtable(L);
    rawSetField(L, -2, "__propset");
    lua_pushvalue(L, classTable);
    rawSetField(L, -2, "__class");
    rawGetField(L, classTable, "__metatable");
    rawSetField(L, -2, "__metatable");
    lua_pushvalue(L, -1);
    lua_setmetatable(L, -3);
    lua_insert(L, -2);  // static metatable below the static table
    rawSetField(L, scopeIndex, name);

    lua_pushvalue(L, -1);
    setRegistryValue(L, staticKey);
    lua_pushvalue(L, classTable);
    setRegistryValue(L, classKey);
    lua_pushvalue(L, constTable);
    setRegistryValue(L, constKey);
}

void* getClass(lua_State* L, int index, const void* classKey, bool canBeConst)
{
    index = absoluteIndex(L, index);
    const int top = lua_gettop(L);
    luaL_checkstack(L, 6, "argument check");

    pushRegistryValue(L, classKey);
    const int expected = lua_gettop(L);
    if (!lua_istable(L, expected)) {
        const char* found = luaL_typename(L, index);
        if (lua_type(L, index) == LUA_TUSERDATA && lua_getmetatable(L, index) && hasIdentityMarker(L, -1))
            found = typeNameOf(L, -1, found);
        raiseMismatch(L, index, kUnregisteredClass, found);
    }
    // The common case first: a modifiable object of exactly this class (its metatable is the
    // class table, which carries the identity marker).
    if (lua_type(L, index) == LUA_TUSERDATA && lua_getmetatable(L, index)) {
        if (lua_rawequal(L, -1, expected)) {
            const Userdata* record = static_cast<Userdata*>(lua_touserdata(L, index));
            checkAlive(L, record);
            lua_settop(L, top);
            return record->object();
        }
        lua_pop(L, 1);
    }
    const char* expectedName = typeNameOf(L, expected, kUnregisteredClass);

    if (lua_type(L, index) != LUA_TUSERDATA || !lua_getmetatable(L, index) || !hasIdentityMarker(L, -1))
        raiseMismatch(L, index, expectedName, luaL_typename(L, index));
    const int valueMetatable = lua_gettop(L);

    rawGetField(L, valueMetatable, "__const");
    const bool isConst = lua_isnil(L, -1);
    lua_pop(L, 1);
    if (isConst) {
        rawGetField(L, expected, "__const");
        lua_replace(L, expected);
    }

    lua_pushvalue(L, valueMetatable);
    for (int depth = 0;; ++depth) {
        if (lua_rawequal(L, -1, expected))
            break;
        rawGetField(L, -1, "__parent");
        if (!lua_istable(L, -1) || depth >= kMaxParentDepth)
            raiseMismatch(L, index, expectedName, typeNameOf(L, valueMetatable, "?"));
        lua_remove(L, -2);
    }
    if (isConst && !canBeConst)
        luaL_argerror(L, index, "cannot be const");

    const Userdata* record = static_cast<Userdata*>(lua_touserdata(L, index));
    checkAlive(L, record);
    lua_settop(L, top);
    return record->object();
}

Userdata* getExactRecord(lua_State* L, int index, const void* classKey)
{
    index = absoluteIndex(L, index);
    const int top = lua_gettop(L);
    luaL_checkstack(L, 6, "argument check");

    pushRegistryValue(L, classKey);
    const int expected = lua_gettop(L);
    const char* expectedName = lua_istable(L, expected) ? typeNameOf(L, expected, kUnregisteredClass)
                                                        : kUnregisteredClass;
    if (lua_type(L, index) != LUA_TUSERDATA || !lua_getmetatable(L, index) || !hasIdentityMarker(L, -1))
        raiseMismatch(L, index, expectedName, luaL_typename(L, index));
    const int valueMetatable = lua_gettop(L);
    bool matches = lua_istable(L, expected) && lua_rawequal(L, valueMetatable, expected);
    if (!matches && lua_istable(L, expected)) {
        rawGetField(L, expected, "__const");
        matches = lua_rawequal(L, valueMetatable, -1);
    }
    if (!matches)
        raiseMismatch(L, index, expectedName, typeNameOf(L, valueMetatable, "?"));
    lua_settop(L, top);
    return static_cast<Userdata*>(lua_touserdata(L, index));
}

void* getExact(lua_State* L, int index, const void* classKey)
{
    const Userdata* record = getExactRecord(L, index, classKey);
    checkAlive(L, record);
    return record->object();
}

void checkAlive(lua_State* L, const Userdata* record)
{
    if (record->expired())
        luaL_error(L, "object no longer exists");
    if (record->tracked())
        beforeScriptAccess();
}

void* getReference(lua_State* L, int index, const void* classKey, bool canBeConst)
{
    if (lua_isnil(L, index) || lua_isnone(L, index))
        luaL_error(L, "nil passed to reference");
    void* object = getClass(L, index, classKey, canBeConst);
    if (!object)
        luaL_error(L, "nil passed to reference");
    return object;
}

namespace {

// A new userdata block of `size` bytes carrying the metatable stored under key. Nothing runs
// between the block's creation and the caller's construction in it, so the finaliser never
// sees it unbuilt.
void* newUserdataWithMetatable(lua_State* L, size_t size, const void* key)
{
    pushRegistryValue(L, key);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        luaL_error(L, "cannot push an object of an unregistered class");
    }
    void* block = lua_newuserdata(L, size);
    lua_insert(L, -2);
    lua_setmetatable(L, -2);
    return block;
}

} // namespace

void pushObjectPointer(lua_State* L, void* pointer, const void* key)
{
    if (!pointer) {
        lua_pushnil(L);
        return;
    }
    const LifeFlag life = lifeFlagOf(pointer);
    new (newUserdataWithMetatable(L, sizeof(UserdataPointer), key)) UserdataPointer(pointer, life);
}

void pushCheckedPointer(lua_State* L, void* pointer, const void* key, uint64_t serial, UserdataChecked::AliveTest alive)
{
    if (!pointer) {
        lua_pushnil(L);
        return;
    }
    new (newUserdataWithMetatable(L, sizeof(UserdataChecked), key)) UserdataChecked(pointer, serial, alive);
}

void pushClassTableForValue(lua_State* L, const void* classKey)
{
    pushRegistryValue(L, classKey);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        luaL_error(L, "cannot push an object of an unregistered class");
    }
}

int finalizeObject(lua_State* L)
{
    const void* classKey = lua_touserdata(L, lua_upvalueindex(1));
    Userdata* record = getExactRecord(L, 1, classKey);
    if (record->inUse())
        return luaL_error(L, "object is in use");
    // A second call must not destroy it again: the destroyed value turns into a pointer record
    // holding nothing.
    if (record->ownsObject()) {
        record->~Userdata();
        new (record) UserdataPointer(nullptr, {});
    }
    return 0;
}

} // namespace VadiZov::LuaBinding
