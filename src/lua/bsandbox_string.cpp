#include "lua/bsandbox_string.h"

#include "lua/blua_guard.h"
#include "lua/bsandbox_patterns.h"

namespace VadiZov {

namespace {

// The zero-based start of a search from the optional 1-based init argument: negative counts
// from the end, and a start past the end searches at the end.
size_t searchStart(lua_State* L, int argument, size_t length)
{
    lua_Integer start = luaL_optinteger(L, argument, 1);
    if (start < 0)
        start += lua_Integer(length);
    else
        --start;
    if (start < 0)
        start = 0;
    return size_t(start) > length ? length : size_t(start);
}

int findOrMatch(lua_State* L, bool find)
{
    size_t length = 0, patternLength = 0;
    const char* subject = luaL_checklstring(L, 1, &length);
    const char* pattern = luaL_checklstring(L, 2, &patternLength);
    const size_t start = searchStart(L, 3, length);
    PatternMatcher matcher(L, subject, length);
    if (find && (lua_toboolean(L, 4) || !hasPatternSpecials(pattern, patternLength))) {
        if (const char* at = findPlain(matcher, subject + start, length - start, pattern, patternLength)) {
            lua_pushinteger(L, at - subject + 1);
            lua_pushinteger(L, at - subject + lua_Integer(patternLength));
            return 2;
        }
        lua_pushnil(L);
        return 1;
    }
    const bool anchored = *pattern == '^';
    if (anchored)
        ++pattern;
    const char* s = subject + start;
    do {
        if (const char* e = matcher.matchAt(s, pattern)) {
            if (!find)
                return matcher.pushCaptures(s, e, true);
            lua_pushinteger(L, s - subject + 1);
            lua_pushinteger(L, e - subject);
            return matcher.pushCaptures(nullptr, nullptr, false) + 2;
        }
    } while (s++ < matcher.end() && !anchored);
    lua_pushnil(L);
    return 1;
}

int stringFind(lua_State* L) { return findOrMatch(L, true); }

int stringMatch(lua_State* L) { return findOrMatch(L, false); }

// The iterator of gmatch. Upvalues: the subject, the pattern, the position to go on from.
int nextMatch(lua_State* L)
{
    size_t length = 0;
    const char* subject = lua_tolstring(L, lua_upvalueindex(1), &length);
    const char* pattern = lua_tostring(L, lua_upvalueindex(2));
    const lua_Integer position = lua_tointeger(L, lua_upvalueindex(3));
    PatternMatcher matcher(L, subject, length);
    for (const char* s = subject + position; s <= matcher.end(); ++s) {
        if (const char* e = matcher.matchAt(s, pattern)) {
            // An empty match moves on by one, so the loop ends.
            lua_pushinteger(L, (e - subject) + (e == s ? 1 : 0));
            lua_replace(L, lua_upvalueindex(3));
            return matcher.pushCaptures(s, e, true);
        }
    }
    return 0;
}

int stringGmatch(lua_State* L)
{
    luaL_checkstring(L, 1);
    luaL_checkstring(L, 2);
    lua_settop(L, 2);
    lua_pushinteger(L, 0);
    lua_pushcclosure(L, nextMatch, 3);
    return 1;
}

// A replacement text: "%0" is the whole match, "%1" to "%9" the captures, "%" before anything
// else that character.
void addReplacementText(lua_State* L, PatternMatcher& matcher, luaL_Buffer& b, const char* s, const char* e)
{
    size_t length = 0;
    const char* text = lua_tolstring(L, 3, &length);
    for (size_t i = 0; i < length; ++i) {
        if (text[i] != '%') {
            luaL_addchar(&b, text[i]);
            continue;
        }
        ++i;  // at length this is the text's terminating zero, added as it is
        if (text[i] < '0' || text[i] > '9') {
            luaL_addchar(&b, text[i]);
        } else if (text[i] == '0') {
            luaL_addlstring(&b, s, size_t(e - s));
        } else {
            matcher.pushCapture(text[i] - '1', s, e);
            luaL_addvalue(&b);
        }
    }
}

// A function or table replacement calls back into Lua (a table through its __index), which may
// call gsub again: each such level holds a buffer on the C stack, so it counts as a native level.
void addReplacement(lua_State* L, PatternMatcher& matcher, luaL_Buffer& b, const char* s, const char* e)
{
    const int type = lua_type(L, 3);
    if (type == LUA_TNUMBER || type == LUA_TSTRING) {
        addReplacementText(L, matcher, b, s, e);
        return;
    }
    const LuaNativeLevel level(L);
    switch (type) {
    case LUA_TFUNCTION: {
        lua_pushvalue(L, 3);
        const int count = matcher.pushCaptures(s, e, true);
        lua_call(L, count, 1);
        break;
    }
    default:  // a table
        matcher.pushCapture(0, s, e);
        lua_gettable(L, 3);
        break;
    }
    if (!lua_toboolean(L, -1)) {
        lua_pop(L, 1);
        lua_pushlstring(L, s, size_t(e - s));  // the match stays as it was
    } else if (!lua_isstring(L, -1)) {
        luaL_error(L, "invalid replacement value (a %s)", luaL_typename(L, -1));
    }
    luaL_addvalue(&b);
}

int stringGsub(lua_State* L)
{
    size_t length = 0;
    const char* subject = luaL_checklstring(L, 1, &length);
    const char* pattern = luaL_checkstring(L, 2);
    const int replacement = lua_type(L, 3);
    const lua_Integer most = luaL_optinteger(L, 4, lua_Integer(length) + 1);
    if (replacement != LUA_TNUMBER && replacement != LUA_TSTRING && replacement != LUA_TFUNCTION &&
        replacement != LUA_TTABLE)
        luaL_argerror(L, 3, "string/function/table expected");
    const bool anchored = *pattern == '^';
    if (anchored)
        ++pattern;
    PatternMatcher matcher(L, subject, length);
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    const char* s = subject;
    lua_Integer count = 0;
    while (count < most) {
        const char* e = matcher.matchAt(s, pattern);
        if (e) {
            ++count;
            addReplacement(L, matcher, b, s, e);
        }
        if (e && e > s)
            s = e;
        else if (s < matcher.end())
            luaL_addchar(&b, *s++);
        else
            break;
        if (anchored)
            break;
    }
    luaL_addlstring(&b, s, size_t(matcher.end() - s));
    luaL_pushresult(&b);
    lua_pushinteger(L, count);
    return 2;
}

} // namespace

void openSandboxString(lua_State* L)
{
    const luaL_Reg functions[] = {{"find", stringFind},     {"match", stringMatch}, {"gmatch", stringGmatch},
                                  {"gsub", stringGsub},     {nullptr, nullptr}};
    lua_getglobal(L, "string");
    luaL_register(L, nullptr, functions);
    lua_pop(L, 1);
}

} // namespace VadiZov
