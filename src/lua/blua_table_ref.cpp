#include "lua/blua_table_ref.h"

#include <new>

namespace VadiZov {

LuaTableRef::LuaTableRef(const LuaTableRef& other) : record_(other.record_)
{
    if (record_)
        ++record_->count;
}

LuaTableRef& LuaTableRef::operator=(const LuaTableRef& other)
{
    if (record_ != other.record_) {
        release();
        record_ = other.record_;
        if (record_)
            ++record_->count;
    }
    return *this;
}

LuaTableRef& LuaTableRef::operator=(LuaTableRef&& other) noexcept
{
    if (this != &other) {
        release();
        record_ = other.record_;
        other.record_ = nullptr;
    }
    return *this;
}

LuaTableRef LuaTableRef::fromStack(lua_State* L, int index)
{
    luaL_checktype(L, index, LUA_TTABLE);
    // The registry entry first: it may raise (a full state), and nothing is held yet then. A
    // record that cannot be made gives the entry back before the error. Raised as a Lua error:
    // no C++ exception may cross the Lua frames around us.
    lua_pushvalue(L, index);
    const int ref = luaL_ref(L, LUA_REGISTRYINDEX);
    auto* record = new (std::nothrow) Record{L, ref, LUA_TTABLE, 1};
    if (!record) {
        luaL_unref(L, LUA_REGISTRYINDEX, ref);
        luaL_error(L, "bad allocation");
    }
    LuaTableRef handle;
    handle.record_ = record;
    return handle;
}

void LuaTableRef::release()
{
    if (!record_)
        return;
    if (--record_->count == 0) {
        luaL_unref(record_->state, LUA_REGISTRYINDEX, record_->ref);
        delete record_;
    }
    record_ = nullptr;
}

void LuaTableRef::push(lua_State* L) const
{
    if (record_)
        lua_rawgeti(L, LUA_REGISTRYINDEX, record_->ref);
    else
        lua_pushnil(L);
}

} // namespace VadiZov
