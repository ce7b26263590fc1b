// One Lua state of the library: the engine's system state ("S0") or an object's state ("V%d").
// Creates the state, has the scripting API registered into it (through the registration the
// API's own layer hands over), runs files and chunks with a traceback on error and reports Lua
// errors through the library log.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <type_traits>

#include <luajit-2.1/lua.hpp>

#include "lua/blua_guard.h"
#include "velkor/types.h"

namespace VadiZov {

class BeamObjectImpl;

class Lua;

// The budget of a callback or queued chunk (luaLimits().callSeconds).
double luaCallSeconds();

// What registers the scripting API into a new state, in a protected call: `owner` becomes the
// global `obj` (null for the system state); it may raise Lua errors. The API's layer installs
// its registration as the library is loaded; a state made without one has the libraries only.
using LuaApiRegistration = void (*)(lua_State* L, Lua& lua, BeamObjectImpl* owner);
void setLuaApiRegistration(LuaApiRegistration registration);

class Lua {
public:
    explicit Lua(const char* name);
    ~Lua();
    Lua(const Lua&) = delete;
    Lua& operator=(const Lua&) = delete;

    // Opens the libraries, registers the API and runs the start script (when not null) with the
    // init time budget. The state's memory is capped (luaLimits()).
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
    // Per-frame housekeeping: empty stack, one GC step, room for the substep callbacks. A
    // finalizer's error is logged; nothing escapes.
    int updateCore();

    // Runs body(L) in a protected call under the time budget: `what` names the call in the
    // message of a stop, `seconds` is its budget when no call of this state runs around it.
    // Everything the body pushes or calls is protected, so neither a script error nor a full
    // state reaches the runtime's panic. 0 on success, else the Lua status with the error's
    // text in *error. The stack is left as it was.
    template <class F>
    int protectedCall(const char* what, double seconds, F&& body, std::string* error = nullptr);
    // Whether the last outermost protected call ran out of time.
    bool lastCallStopped() const { return lastCallStopped_; }
    // Calls the function the registry reference names with the arguments push(L) leaves on the
    // stack (`arguments` of them), protected, with the call budget; false with the error's text
    // on failure. A function stopped for its time is not called again: its reference is
    // released and set to LUA_NOREF, and "Lua function '%s' ran out of time and is no longer
    // called." is logged.
    template <class Push>
    bool callReference(int& reference, const char* name, int arguments, Push&& push, std::string& error);
    // A registry reference to the global `name`, read raw (no script code runs for it); nil
    // gives LUA_REFNIL, a failure LUA_NOREF.
    int referenceGlobal(const char* name);
    // The state's guard; a LuaCallBudget on it gives the calls made inside it one budget (an
    // object's init.lua, say, with the init budget).
    LuaStateGuard* guard() const { return guard_.get(); }
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
    using ProtectedBody = void (*)(lua_State* L, void* data);
    void dropReference(int& reference, const char* name);
    int runProtected(const char* what, double seconds, ProtectedBody body, void* data, std::string* error);

    lua_State* state_ = nullptr;
    unsigned generation_ = 0;
    BeamObjectImpl* owner_ = nullptr;
    std::string name_;
    std::unique_ptr<LuaStateGuard> guard_;
    int callerRef_ = LUA_NOREF;  // the native function that runs protected calls' bodies
    bool lastCallStopped_ = false;
};

template <class Push>
bool Lua::callReference(int& reference, const char* name, int arguments, Push&& push, std::string& error)
{
    const int ref = reference;
    const int status = protectedCall(name, luaCallSeconds(), [ref, arguments, &push](lua_State* L) {
        lua_rawgeti(L, LUA_REGISTRYINDEX, ref);
        push(L);
        lua_call(L, arguments, 0);
    }, &error);
    // Stopped for its time even when the script's own pcall swallowed the stop and returned.
    if (lastCallStopped_)
        dropReference(reference, name);
    return status == 0;
}

template <class F>
int Lua::protectedCall(const char* what, double seconds, F&& body, std::string* error)
{
    using Body = std::remove_reference_t<F>;
    const ProtectedBody run = [](lua_State* L, void* data) { (*static_cast<Body*>(data))(L); };
    return runProtected(what, seconds, run, &body, error);
}

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
