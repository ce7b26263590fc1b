// One Lua state of the library: the engine's system state ("S0") or an object's state ("V%d").
// Creates the state, has the scripting API registered into it, runs files and chunks with a
// traceback on error and reports Lua errors through the library log.
#pragma once

#include <cstddef>
#include <string>

#include <luajit-2.1/lua.hpp>

#include "velkor/types.h"

namespace VadiZov {

class BeamObjectImpl;

class Lua {
public:
    explicit Lua(const char* name);
    ~Lua();
    Lua(const Lua&) = delete;
    Lua& operator=(const Lua&) = delete;

    // Opens the libraries, registers the API and runs the start script (when not null).
    void initialize(BeamObjectImpl* owner, const char* startScript);
    void close();

    // Runs a file of the host file system: 0 success, 1 Lua or read error, -1 no file system,
    // -2 no such file, -3 the file would not open.
    int exec(const char* path);
    // Runs text as a chunk; 0 success, 1 error (logged). When result is given and the chunk
    // returns a string or number, its text is stored there. The stack is left as it was.
    int executeChunk(const char* text, size_t length, const char* chunkName, std::string* result = nullptr);
    // Pushes a copy of the text and returns the state's copy (null text gives "").
    const char* pushString(const char* text);
    // Per-frame housekeeping: empty stack, one GC step, room for the substep callbacks.
    int updateCore();
    // Logs "<name>|<text>"; an error line also flushes the log file.
    void log(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

    int getMemoryUsageKB();
    void dumpStack();
    color colorFromHex(const char* text);
    std::string colorToHex(const color& c);
    void enableStackTraceFile(const char* path, bool full);

    lua_State* state() const { return state_; }
    // Counts the states this wrapper has created: registry references taken in one state are
    // meaningless in the next, even when the new state reuses the old one's address.
    unsigned generation() const { return generation_; }
    BeamObjectImpl* owner() const { return owner_; }
    const std::string& name() const { return name_; }
    // The prefix of the state's log lines.
    void setName(const char* name) { name_ = name ? name : ""; }

    bool runCondition = true;  // read-write from scripts; nothing native reads it

private:
    lua_State* state_ = nullptr;
    unsigned generation_ = 0;
    BeamObjectImpl* owner_ = nullptr;
    std::string name_;
};

// Restores a state's stack top when it goes out of scope: callers of Lua callbacks leave
// nothing behind, so a callback failing every substep cannot fill the stack.
class LuaStackRestore {
public:
    explicit LuaStackRestore(lua_State* L) : L_(L), top_(lua_gettop(L)) {}
    ~LuaStackRestore() { lua_settop(L_, top_); }
    LuaStackRestore(const LuaStackRestore&) = delete;
    LuaStackRestore& operator=(const LuaStackRestore&) = delete;

private:
    lua_State* L_;
    int top_;
};

// Logs the stack of a state at info level, slot by slot; the stack is left unchanged.
void dumpLuaStack(lua_State* L);

} // namespace VadiZov
