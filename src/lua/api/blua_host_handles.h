// The host objects a script was handed and must give back: files it opened, directories it
// listed and sound sources it created. Each is registered with the state that got it, under a
// lifetime serial (base/blifetime.h), so that
// - a Lua value of a closed or deleted one reads as gone instead of reaching freed host memory;
// - the engine's own references to a sound (attachments, queued actions) see its deletion;
// - a state holds a bounded number of each, and what it still holds when it closes is given back
//   (files closed, directories closed, sources deleted).
#pragma once

#include <cstdint>

#include <luajit-2.1/lua.hpp>

#include "lua/blua_open_files.h"

namespace VadiZov {

class FS;
class GameEngine;

enum class HostHandleKind { File, Directory, Sound };

// Open directories and created sources one state may hold at a time; its open files (with its
// io files) are capped by kMaxOpenFilesPerState (lua/blua_open_files.h).
constexpr int kMaxOpenDirectoriesPerState = 64;
constexpr int kMaxSoundSourcesPerState = 256;

// Called while the API is registered: remembers the state's main thread (coroutines share its
// handles) and makes the state give back what it holds when it is closed.
void prepareHostHandles(lua_State* L);

// The state's main thread, which owns its handles.
lua_State* handleOwnerOf(lua_State* L);

// Handles of the kind the state holds now.
int heldHostHandles(lua_State* owner, HostHandleKind kind);

// Registers a handle; the result is the serial its Lua value carries. `giver` is the FS a file or
// directory came from, or the GameEngine that made a source.
uint64_t beginHostHandle(lua_State* owner, HostHandleKind kind, void* object, void* giver);
// Forgets a handle before it is closed or deleted; false when it was not registered (already
// given back). The giver it was registered with is stored in `giver` when given.
bool endHostHandle(void* object, void** giver = nullptr);

} // namespace VadiZov
