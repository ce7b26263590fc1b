#include "lua/bsocket_limit.h"

#include "base/bscript_values.h"
#include "lua/blua_limits.h"

namespace VadiZov {

namespace {

// Registry key of the state's sockets: a table with weak keys, so a dropped socket leaves it
// when the collector closes it.
char gSocketsKey;

const char* const kConstructors[] = {"tcp", "tcp4", "tcp6", "udp", "udp4", "udp6", "connect"};
const char* const kClasses[] = {"tcp{master}", "tcp{client}", "tcp{server}", "udp{unconnected}", "udp{connected}"};

void pushSockets(lua_State* L)
{
    lua_pushlightuserdata(L, &gSocketsKey);
    lua_rawget(L, LUA_REGISTRYINDEX);
    if (lua_istable(L, -1))
        return;
    lua_pop(L, 1);
    lua_newtable(L);
    lua_createtable(L, 0, 1);
    lua_pushliteral(L, "k");
    lua_setfield(L, -2, "__mode");
    lua_setmetatable(L, -2);
    lua_pushlightuserdata(L, &gSocketsKey);
    lua_pushvalue(L, -2);
    lua_rawset(L, LUA_REGISTRYINDEX);
}

// The sockets made and not closed yet (a socket made without an address gets its descriptor
// later, from bind or connect, so the descriptor cannot tell).
int openSockets(lua_State* L)
{
    pushSockets(L);
    int open = 0;
    lua_pushnil(L);
    while (lua_next(L, -2)) {
        lua_pop(L, 1);
        ++open;
    }
    lua_pop(L, 1);
    return open;
}

// A socket's close: the original (upvalue 1), then the socket leaves the count.
int countedClose(lua_State* L)
{
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_pushvalue(L, 2);
    lua_insert(L, 1);  // the socket, kept below the call
    lua_call(L, lua_gettop(L) - 2, LUA_MULTRET);
    pushSockets(L);
    lua_pushvalue(L, 1);
    lua_pushnil(L);
    lua_rawset(L, -3);
    lua_pop(L, 1);
    lua_remove(L, 1);
    return lua_gettop(L);
}

bool roomForSocket(lua_State* L, const char* member)
{
    const int cap = luaLimits().openSockets;
    if (openSockets(L) >= cap)
        lua_gc(L, LUA_GCCOLLECT, 0);
    return roomFor(member, size_t(openSockets(L)), cap, "open sockets");
}

// Upvalues: the function that makes a socket, and the member's name for the log. All its
// results are returned; a socket among the first is counted.
int countedMaker(lua_State* L)
{
    if (!roomForSocket(L, lua_tostring(L, lua_upvalueindex(2)))) {
        lua_pushnil(L);
        lua_pushliteral(L, "too many open sockets");
        return 2;
    }
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    if (lua_type(L, 1) == LUA_TUSERDATA) {
        pushSockets(L);
        lua_pushvalue(L, 1);
        lua_pushboolean(L, 1);
        lua_rawset(L, -3);
        lua_pop(L, 1);
    }
    return lua_gettop(L);
}

void countMaker(lua_State* L, int table, const char* name, const char* member)
{
    lua_getfield(L, table, name);
    if (!lua_isfunction(L, -1)) {
        lua_pop(L, 1);
        return;
    }
    lua_pushstring(L, member);
    lua_pushcclosure(L, countedMaker, 2);
    lua_setfield(L, table, name);
}

void countMethods(lua_State* L, int methods)
{
    countMaker(L, methods, "accept", "accept");
    lua_getfield(L, methods, "close");
    if (lua_isfunction(L, -1)) {
        lua_pushcclosure(L, countedClose, 1);
        lua_setfield(L, methods, "close");
    } else {
        lua_pop(L, 1);
    }
}

} // namespace

void limitSocketModule(lua_State* L, int module)
{
    module = module < 0 ? lua_gettop(L) + module + 1 : module;
    for (const char* name : kConstructors) {
        lua_pushfstring(L, "socket.%s", name);
        countMaker(L, module, name, lua_tostring(L, -1));
        lua_pop(L, 1);
    }
    for (const char* className : kClasses) {
        luaL_getmetatable(L, className);
        if (lua_istable(L, -1)) {
            lua_getfield(L, -1, "__index");
            if (lua_istable(L, -1))
                countMethods(L, lua_gettop(L));
            lua_pop(L, 1);
        }
        lua_pop(L, 1);
    }
}

} // namespace VadiZov
