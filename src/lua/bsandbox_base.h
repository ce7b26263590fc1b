// The base library's changes for the sandbox:
// - no newproxy: its proxies shared metatables with any other proxy (and through them a
//   script could forge userdata of the binding's classes), and their finalizers run where no
//   hook can stop them;
// - xpcall's message handler is skipped for a call that ran out of time: the handler of an
//   error raised by the time budget's hook would run where hooks are off;
// - coroutine.resume and coroutine.wrap count how deeply coroutines resume one another on one
//   thread: each level runs on the C stack, which no Lua stack limit bounds.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

// Raises Lua errors: call it in protected mode, after the runtime's base and coroutine libraries.
void openSandboxBase(lua_State* L);

} // namespace VadiZov
