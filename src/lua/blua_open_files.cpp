#include "lua/blua_open_files.h"

#include "base/bscript_values.h"
#include "lua/blua_guard.h"

namespace VadiZov {

namespace {

// Constant-initialised: installed while the library loads, with no order among files.
LuaHostFileCount s_hostFileCount = nullptr;

int filesOpen(lua_State* L) { return luaIoFilesOpen(L) + (s_hostFileCount ? s_hostFileCount(L) : 0); }

} // namespace

int luaIoFilesOpen(lua_State* L)
{
    const LuaStateGuard* guard = LuaStateGuard::of(L);
    return guard ? guard->ioFilesOpen() : 0;
}

void luaIoFileOpened(lua_State* L)
{
    if (LuaStateGuard* guard = LuaStateGuard::of(L))
        guard->countIoFile(+1);
}

void luaIoFileClosed(lua_State* L)
{
    if (LuaStateGuard* guard = LuaStateGuard::of(L))
        guard->countIoFile(-1);
}

void setLuaHostFileCount(LuaHostFileCount count) { s_hostFileCount = count; }

bool luaRoomForFile(lua_State* L, const char* member)
{
    if (filesOpen(L) >= kMaxOpenFilesPerState)
        lua_gc(L, LUA_GCCOLLECT, 0);
    return roomFor(member, size_t(filesOpen(L)), kMaxOpenFilesPerState, "open files");
}

} // namespace VadiZov
