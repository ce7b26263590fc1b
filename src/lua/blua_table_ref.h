// A counted reference to a Lua table held by native code: the table stays in the registry until
// the last handle lets go of it.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

class LuaTableRef {
public:
    LuaTableRef() = default;
    ~LuaTableRef() { release(); }
    LuaTableRef(const LuaTableRef& other);
    LuaTableRef& operator=(const LuaTableRef& other);
    LuaTableRef(LuaTableRef&& other) noexcept : record_(other.record_) { other.record_ = nullptr; }
    LuaTableRef& operator=(LuaTableRef&& other) noexcept;

    // The argument must be a table (Lua's standard argument error otherwise).
    static LuaTableRef fromStack(lua_State* L, int index);

    // Drops this handle's reference; the registry entry goes with the last one.
    void release();

    bool valid() const { return record_ != nullptr; }
    lua_State* state() const { return record_ ? record_->state : nullptr; }
    int type() const { return record_ ? record_->type : LUA_TNONE; }
    int count() const { return record_ ? record_->count : 0; }
    // Pushes the referenced value (nil for an empty handle).
    void push(lua_State* L) const;

private:
    struct Record {
        lua_State* state;
        int ref;
        int type;
        int count;
    };

    Record* record_ = nullptr;
};

} // namespace VadiZov
