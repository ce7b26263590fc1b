#include "lua/bsocket_guard_lua.h"

#include <cstring>

#include "lua/bsocket_guard.h"

namespace VadiZov {

namespace {

// Registry key of the table that keeps the socket library's unguarded functions.
char gOriginalsKey;

constexpr const char* kBindRefused = "bind restricted";
constexpr const char* kConnectRefused = "connect restricted";
constexpr const char* kRefused = "restricted";
constexpr const char* kLingerRefused = "linger restricted";

const char* const kTcpClasses[] = {"tcp{master}", "tcp{client}", "tcp{server}"};
const char* const kUdpClasses[] = {"udp{unconnected}", "udp{connected}"};

int refuse(lua_State* L, const char* text)
{
    lua_pushnil(L);
    lua_pushstring(L, text);
    return 2;
}

void pushOriginals(lua_State* L)
{
    lua_pushlightuserdata(L, &gOriginalsKey);
    lua_rawget(L, LUA_REGISTRYINDEX);
}

// Calls the kept function with the values on top of the stack as its arguments.
void callKept(lua_State* L, const char* key, int arguments, int results)
{
    pushOriginals(L);
    lua_getfield(L, -1, key);
    lua_remove(L, -2);
    lua_insert(L, -(arguments + 1));
    lua_call(L, arguments, results);
}

// Calls the kept function with every argument on the stack; returns all its results.
int callOriginal(lua_State* L, const char* key)
{
    callKept(L, key, lua_gettop(L), LUA_MULTRET);
    return lua_gettop(L);
}

// Replaces the host argument with the address the guard read; false when refused.
bool admitHost(lua_State* L, int argument)
{
    const GuardedHost guarded = guardHost(luaL_checkstring(L, argument));
    if (guarded.verdict != 0)
        return false;
    lua_pushstring(L, guarded.address);
    lua_replace(L, argument);
    return true;
}

// A socket method with a host argument. Upvalues: the kept function's key, the host's argument
// index, the refusal text, and whether "*" passes (UDP setpeername "*" only disconnects).
int guardedMethod(lua_State* L)
{
    const int argument = int(lua_tointeger(L, lua_upvalueindex(2)));
    const bool starPasses = lua_toboolean(L, lua_upvalueindex(4));
    const char* host = luaL_checkstring(L, argument);
    if (!(starPasses && std::strcmp(host, "*") == 0) && !admitHost(L, argument))
        return refuse(L, lua_tostring(L, lua_upvalueindex(3)));
    return callOriginal(L, lua_tostring(L, lua_upvalueindex(1)));
}

// socket.connect(address, port [, localAddress [, localPort [, family]]]): binds first, then
// connects, as the library does.
int guardedConnect(lua_State* L)
{
    luaL_checkstring(L, 1);
    if (!lua_isnoneornil(L, 3) && !admitHost(L, 3))
        return refuse(L, kBindRefused);
    if (!admitHost(L, 1))
        return refuse(L, kConnectRefused);
    return callOriginal(L, "connect");
}

// The resolver's record of a host: name, aliases and addresses.
void pushResolved(lua_State* L, const char* name, const char* address)
{
    lua_createtable(L, 0, 3);
    lua_pushstring(L, name);
    lua_setfield(L, -2, "name");
    lua_newtable(L);
    lua_setfield(L, -2, "alias");
    lua_createtable(L, 1, 0);
    lua_pushstring(L, address);
    lua_rawseti(L, -2, 1);
    lua_setfield(L, -2, "ip");
}

// Names resolve numerically only: an allowed host is its canonical address ("localhost"
// keeps its name), and no name service is asked.
const char* resolvedName(const char* host, const GuardedHost& guarded)
{
    return std::strcmp(host, "localhost") == 0 ? host : guarded.address;
}

int toip(lua_State* L)
{
    const char* host = luaL_checkstring(L, 1);
    const GuardedHost guarded = guardHost(host);
    if (guarded.verdict != 0)
        return refuse(L, kRefused);
    lua_pushstring(L, guarded.address);
    pushResolved(L, resolvedName(host, guarded), guarded.address);
    return 2;
}

int tohostname(lua_State* L)
{
    const char* host = luaL_checkstring(L, 1);
    const GuardedHost guarded = guardHost(host);
    if (guarded.verdict != 0)
        return refuse(L, kRefused);
    const char* name = resolvedName(host, guarded);
    lua_pushstring(L, name);
    pushResolved(L, name, guarded.address);
    return 2;
}

int getaddrinfo(lua_State* L)
{
    const GuardedHost guarded = guardHost(luaL_checkstring(L, 1));
    if (guarded.verdict != 0)
        return refuse(L, kRefused);
    lua_createtable(L, 1, 0);
    lua_createtable(L, 0, 2);
    lua_pushliteral(L, "inet");
    lua_setfield(L, -2, "family");
    lua_pushstring(L, guarded.address);
    lua_setfield(L, -2, "addr");
    lua_rawseti(L, -2, 1);
    return 1;
}

// getnameinfo(host, service): the host answered like tohostname; the service (a local table
// lookup) by the library with no host.
int getnameinfo(lua_State* L)
{
    if (lua_isnoneornil(L, 1))
        return callOriginal(L, "getnameinfo");
    const char* host = luaL_checkstring(L, 1);
    const GuardedHost guarded = guardHost(host);
    if (guarded.verdict != 0)
        return refuse(L, kRefused);
    lua_settop(L, 2);
    lua_createtable(L, 1, 0);
    lua_pushstring(L, resolvedName(host, guarded));
    lua_rawseti(L, -2, 1);
    lua_replace(L, 1);
    if (lua_isnil(L, 2))
        return 2;
    lua_pushnil(L);
    lua_pushvalue(L, 2);
    callKept(L, "getnameinfo", 2, 2);
    lua_replace(L, 2);
    lua_settop(L, 2);
    return 2;
}

// Moves field name of the table at index into the kept functions under key (when present).
bool keepOriginal(lua_State* L, int table, const char* name, const char* key)
{
    lua_getfield(L, table, name);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        return false;
    }
    pushOriginals(L);
    lua_insert(L, -2);
    lua_setfield(L, -2, key);
    lua_pop(L, 1);
    return true;
}

// The kept function goes under its own name: no two replaced functions share one.
void replaceFunction(lua_State* L, int table, const char* name, lua_CFunction guarded)
{
    if (!keepOriginal(L, table, name, name))
        return;
    lua_pushcfunction(L, guarded);
    lua_setfield(L, table, name);
}

void guardMethod(lua_State* L, int methods, const char* className, const char* name, int hostArgument,
                 const char* refusal, bool starPasses)
{
    lua_pushfstring(L, "%s.%s", className, name);
    const char* key = lua_tostring(L, -1);
    if (!keepOriginal(L, methods, name, key)) {
        lua_pop(L, 1);
        return;
    }
    lua_pushinteger(L, hostArgument);
    lua_pushstring(L, refusal);
    lua_pushboolean(L, starPasses);
    lua_pushcclosure(L, guardedMethod, 4);
    lua_setfield(L, methods, name);
}

// The methods table of a socket class; false when the library has no such class.
bool pushClassMethods(lua_State* L, const char* className)
{
    luaL_getmetatable(L, className);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        return false;
    }
    lua_getfield(L, -1, "__index");
    lua_remove(L, -2);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        return false;
    }
    return true;
}

// A lingering close blocks in the kernel until the peer takes the data or the linger time ends,
// and a dropped socket is closed by its finalizer, where no time budget runs: a socket may
// linger only with a time of 0 (the close then resets the connection at once). Upvalue 1: the
// kept setoption.
int guardedSetoption(lua_State* L)
{
    const char* option = luaL_checkstring(L, 2);
    if (std::strcmp(option, "linger") == 0 && lua_istable(L, 3)) {
        lua_getfield(L, 3, "on");
        const bool on = lua_toboolean(L, -1);
        lua_getfield(L, 3, "timeout");
        const lua_Number timeout = lua_tonumber(L, -1);
        lua_pop(L, 2);
        if (on && timeout != 0)
            return refuse(L, kLingerRefused);
    }
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

void guardSetoption(lua_State* L, int methods)
{
    lua_getfield(L, methods, "setoption");
    if (!lua_isfunction(L, -1)) {
        lua_pop(L, 1);
        return;
    }
    lua_pushcclosure(L, guardedSetoption, 1);
    lua_setfield(L, methods, "setoption");
}

// setfd would point a socket at any descriptor of the process, past the guard.
void withholdDescriptorSetter(lua_State* L, int methods)
{
    lua_pushnil(L);
    lua_setfield(L, methods, "setfd");
}

void guardTcpClass(lua_State* L, const char* className)
{
    if (!pushClassMethods(L, className))
        return;
    const int methods = lua_gettop(L);
    guardMethod(L, methods, className, "connect", 2, kConnectRefused, false);
    guardMethod(L, methods, className, "setpeername", 2, kConnectRefused, false);
    guardMethod(L, methods, className, "bind", 2, kBindRefused, false);
    guardMethod(L, methods, className, "setsockname", 2, kBindRefused, false);
    guardSetoption(L, methods);
    withholdDescriptorSetter(L, methods);
    lua_pop(L, 1);
}

void guardUdpClass(lua_State* L, const char* className)
{
    if (!pushClassMethods(L, className))
        return;
    const int methods = lua_gettop(L);
    guardMethod(L, methods, className, "setpeername", 2, kConnectRefused, true);
    guardMethod(L, methods, className, "setsockname", 2, kBindRefused, false);
    guardMethod(L, methods, className, "sendto", 3, kRefused, false);
    withholdDescriptorSetter(L, methods);
    lua_pop(L, 1);
}

void guardResolver(lua_State* L, int module)
{
    lua_getfield(L, module, "dns");
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        return;
    }
    const int dns = lua_gettop(L);
    replaceFunction(L, dns, "toip", toip);
    replaceFunction(L, dns, "tohostname", tohostname);
    replaceFunction(L, dns, "getaddrinfo", getaddrinfo);
    replaceFunction(L, dns, "getnameinfo", getnameinfo);
    lua_pop(L, 1);
}

} // namespace

void guardSocketModule(lua_State* L, int module)
{
    module = module < 0 ? lua_gettop(L) + module + 1 : module;
    lua_pushlightuserdata(L, &gOriginalsKey);
    lua_newtable(L);
    lua_rawset(L, LUA_REGISTRYINDEX);

    guardResolver(L, module);
    replaceFunction(L, module, "connect", guardedConnect);
    for (const char* className : kTcpClasses)
        guardTcpClass(L, className);
    for (const char* className : kUdpClasses)
        guardUdpClass(L, className);
}

} // namespace VadiZov
