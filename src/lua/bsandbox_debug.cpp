#include "lua/bsandbox_debug.h"

#include <cstring>
#include <string>

namespace VadiZov {

namespace {

// Deep stacks show their first and last levels, as the runtime's traceback does.
constexpr int kFirstLevels = 12;
constexpr int kLastLevels = 10;
// Slots pushed before they are joined, well inside the stack's reserve.
constexpr int kPiecesBeforeJoin = 15;
// Deeper than any stack the runtime allows, and far from the end of int for the level arithmetic.
constexpr int kDeepestLevel = 1 << 20;

void pushFrameLine(lua_State* L, const lua_Debug& frame)
{
    lua_pushfstring(L, "\n\t%s:", frame.short_src);
    if (frame.currentline > 0)
        lua_pushfstring(L, "%d:", frame.currentline);
    if (frame.namewhat && *frame.namewhat)
        lua_pushfstring(L, " in function '%s'", frame.name ? frame.name : "?");
    else if (frame.what && *frame.what == 'm')
        lua_pushliteral(L, " in main chunk");
    else if (frame.what && *frame.what == 'C')
        lua_pushliteral(L, " ?");
    else
        lua_pushfstring(L, " in function <%s:%d>", frame.short_src, frame.linedefined);
}

// The thread argument of a debug function, if there is one: the arguments then start one later.
lua_State* threadArgument(lua_State* L, int& first)
{
    if (lua_type(L, 1) == LUA_TTHREAD) {
        first = 2;
        return lua_tothread(L, 1);
    }
    first = 1;
    return L;
}

int traceback(lua_State* L)
{
    int first = 1;
    lua_State* L1 = threadArgument(L, first);
    const char* message = lua_tostring(L, first);
    if (!message && !lua_isnoneornil(L, first)) {
        lua_pushvalue(L, first);  // an error value that is no text stays as it is
        return 1;
    }
    // Any integer a script gives: below 0 shows no level, as does anything past the deepest stack.
    const lua_Integer asked = luaL_optinteger(L, first + 1, L == L1 ? 1 : 0);
    const int level = asked < 0 ? -1 : asked > kDeepestLevel ? kDeepestLevel : int(asked);
    pushSandboxTraceback(L, L1, message, level);
    return 1;
}

// The options a script may ask for: source (S), current line (l), name (n), upvalue count (u).
// "f" (the function itself) and "L" (its active lines) are left out; anything else is refused.
bool keepOptions(const char* requested, std::string& kept)
{
    for (const char* option = requested; *option; ++option) {
        if (std::strchr("Slnu", *option))
            kept += *option;
        else if (!std::strchr("fL", *option))
            return false;
    }
    return true;
}

void setField(lua_State* L, const char* name, const char* value)
{
    lua_pushstring(L, value);
    lua_setfield(L, -2, name);
}

void setField(lua_State* L, const char* name, int value)
{
    lua_pushinteger(L, value);
    lua_setfield(L, -2, name);
}

void pushInfoTable(lua_State* L, const std::string& options, const lua_Debug& info)
{
    lua_createtable(L, 0, 9);
    if (options.find('S') != std::string::npos) {
        setField(L, "source", info.source);
        setField(L, "short_src", info.short_src);
        setField(L, "linedefined", info.linedefined);
        setField(L, "lastlinedefined", info.lastlinedefined);
        setField(L, "what", info.what);
    }
    if (options.find('l') != std::string::npos)
        setField(L, "currentline", info.currentline);
    if (options.find('u') != std::string::npos)
        setField(L, "nups", info.nups);
    if (options.find('n') != std::string::npos) {
        if (info.name)
            setField(L, "name", info.name);
        setField(L, "namewhat", info.namewhat ? info.namewhat : "");
    }
}

int getinfo(lua_State* L)
{
    int first = 1;
    lua_State* L1 = threadArgument(L, first);
    std::string options;
    if (!keepOptions(luaL_optstring(L, first + 1, "flnSu"), options))
        return luaL_argerror(L, first + 1, "invalid option");
    lua_Debug info;
    if (lua_isfunction(L, first)) {
        lua_pushvalue(L, first);
        const std::string fromStack = ">" + options;
        lua_getinfo(L, fromStack.c_str(), &info);
    } else if (lua_isnumber(L, first)) {
        const lua_Integer level = lua_tointeger(L, first);
        if (level < 0 || level > kDeepestLevel || !lua_getstack(L1, int(level), &info)) {
            lua_pushnil(L);
            return 1;
        }
        lua_getinfo(L1, options.c_str(), &info);
    } else {
        return luaL_argerror(L, first, "function or level expected");
    }
    pushInfoTable(L, options, info);
    return 1;
}

} // namespace

void pushSandboxTraceback(lua_State* L, lua_State* L1, const char* message, int level)
{
    const int top = lua_gettop(L);
    if (message)
        lua_pushfstring(L, "%s\n", message);
    lua_pushliteral(L, "stack traceback:");
    lua_Debug frame;
    bool skipped = false;
    if (level < 0 || level > kDeepestLevel)
        level = kDeepestLevel;  // no such level: the traceback is empty
    while (lua_getstack(L1, level++, &frame)) {
        if (!skipped && level > kFirstLevels) {
            skipped = true;
            if (lua_getstack(L1, level + kLastLevels, &frame)) {
                // The runtime reports a frame count for a negative level: jump to the last ones.
                lua_pushliteral(L, "\n\t...");
                lua_getstack(L1, -10, &frame);
                level = frame.i_ci - kLastLevels;
            } else {
                --level;
            }
            continue;
        }
        lua_getinfo(L1, "Snl", &frame);
        pushFrameLine(L, frame);
        if (lua_gettop(L) - top >= kPiecesBeforeJoin)
            lua_concat(L, lua_gettop(L) - top);
    }
    lua_concat(L, lua_gettop(L) - top);
}

void openSandboxDebug(lua_State* L)
{
    const luaL_Reg functions[] = {{"traceback", traceback}, {"getinfo", getinfo}, {nullptr, nullptr}};
    lua_createtable(L, 0, 2);
    luaL_register(L, nullptr, functions);
    lua_pushvalue(L, -1);
    lua_setglobal(L, "debug");
    lua_getglobal(L, "package");
    lua_getfield(L, -1, "loaded");
    lua_pushvalue(L, -3);
    lua_setfield(L, -2, "debug");
    lua_pop(L, 3);
}

} // namespace VadiZov
