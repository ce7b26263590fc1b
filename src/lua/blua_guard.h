// What keeps one Lua state within its limits: the memory cap (the state's allocator counts what
// it holds and refuses to grow past the cap, which the runtime reports as "not enough memory")
// and the wall-time budget of the call from the library into a script.
//
// The budget: starting and ending a call only mark it, and a watchdog thread, looking every few
// hundredths of a second, adds up how long each marked call has been running and raises a flag
// for a call past its time. A count hook, installed on the state's own thread for its whole life,
// looks at that flag every thousand instructions; once it is raised the hook raises the Lua error
// "<state>|'<what>' ran longer than <n> s and was stopped", and again at every instruction after
// it, so a script's own pcall cannot keep the call alive. The runtime is built without its trace
// compiler: every instruction runs in the interpreter, where the hook fires. The trace hook of
// Lua:enableStackTraceFile is chained through the same hook, so neither replaces the other.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include <luajit-2.1/lua.hpp>

#include "platform/critical_section.h"

namespace VadiZov {

class LuaStateGuard {
public:
    // name: the state's name for messages, owned by the caller and outliving the guard.
    explicit LuaStateGuard(const std::string& name);
    ~LuaStateGuard();
    LuaStateGuard(const LuaStateGuard&) = delete;
    LuaStateGuard& operator=(const LuaStateGuard&) = delete;

    // Creates the state with the capped allocator (luaLimits().memoryBytes) and puts it under
    // the watchdog; null when no state could be made. One state per guard.
    lua_State* openState();
    // Takes the state from the watchdog and closes it.
    void closeState();
    // The guard of the state (any of its coroutines), or null for a state made elsewhere.
    static LuaStateGuard* of(lua_State* L);

    size_t memoryUsed() const { return used_; }
    // io files the state's scripts hold open (lua/blua_open_files.h).
    int ioFilesOpen() const { return ioFiles_.load(std::memory_order_relaxed); }
    void countIoFile(int change) { ioFiles_.fetch_add(change, std::memory_order_relaxed); }

    // The time budget of one call into the state. Calls nest: only the outermost starts and
    // ends the clock, and while another state's call runs on the same thread inside it, this
    // state's clock is paused. A call made inside a running one (of this state or another) is a
    // native level (enterResume): beginCall is false, and nothing begins, past the limit.
    // endCall tells whether the call was stopped.
    bool beginCall(const char* what, double seconds);
    bool endCall();
    // True once the running call is past its time (the hook is raising its error).
    bool outOfTime() const { return stopped_.load(std::memory_order_relaxed); }
    // For loops in native code, where the hook never fires: raises the stop's error once the
    // call is past its time.
    void checkTime(lua_State* L)
    {
        if (outOfTime())
            raiseStop(L, 1);
    }
    // The stop's message for the last call (the text the hook raises, without a position).
    std::string stopText() const;
    // Nesting of this state's calls on its thread (0 when none runs).
    int callDepth() const { return depth_; }

    // The trace hook of the state; mask 0 removes it. The budget's hook stays chained in front.
    void setTraceHook(lua_Hook hook, int mask);

    // Watchdog side, once per look: counts the time of the running call since the last look
    // and arms the budget's hook when the call is past its time.
    void watch(int64_t now);

private:
    static void* allocate(void* guard, void* block, size_t oldSize, size_t newSize);
    static void budgetHook(lua_State* L, lua_Debug* event);
    // The stop's error, with the place of the Lua function `level` frames up as its position. The
    // hook fires at every instruction from then on, wherever the stop was raised.
    [[noreturn]] void raiseStop(lua_State* L, int level);
    // Owner thread: seconds left of the running call, and marking it as past its time now.
    double secondsLeft() const;
    void stopNow();
    friend double luaSecondsLeft();
    friend void luaStopRunningCall();
    void installHooks();  // under lock_
    void stopRunning();

    const std::string& name_;
    lua_State* state_ = nullptr;
    size_t used_ = 0;
    size_t cap_ = 0;
    std::atomic<int> ioFiles_{0};

    // The running call, as the owning thread marks it: a new serial for each outermost call,
    // and whether it runs now (not ended, not paused).
    std::atomic<uint32_t> serial_{0};
    std::atomic<bool> running_{false};
    std::atomic<int64_t> budget_{0};  // nanoseconds
    // The watchdog's side: set while it decides to arm; a call ending meanwhile waits for it.
    std::atomic<bool> arming_{false};
    // Read by the owner thread too, to bound a wait by the time left.
    std::atomic<uint32_t> watchedSerial_{0};
    std::atomic<int64_t> elapsed_{0};
    std::atomic<int64_t> lastLook_{0};

    platform::CriticalSection lock_;
    std::atomic<bool> stopped_{false};
    bool armed_ = false;
    int depth_ = 0;             // nesting of calls (the owning thread only)
    const char* what_ = "";
    double seconds_ = 0.0;
    LuaStateGuard* outer_ = nullptr;  // the call this one paused, on the same thread
    lua_Hook traceHook_ = nullptr;
    int traceMask_ = 0;
};

// Native levels nested on this thread: coroutines resumed inside one another, library natives
// that call back into Lua (gsub's replacement function, print's tostring) and chunks run
// from inside a running call (Lua:exec). Each level runs on the C stack, which no Lua stack
// limit bounds. enterResume is false when another level would pass luaLimits().coroutineDepth.
// The count starts again with every outermost call from the library, so a level a script's
// error skipped cannot stay counted.
bool enterResume();
void leaveResume();

// One native level for the life of the object; past the limit raises "C stack overflow".
class LuaNativeLevel {
public:
    explicit LuaNativeLevel(lua_State* L)
    {
        if (!enterResume())
            luaL_error(L, "C stack overflow");
    }
    ~LuaNativeLevel() { leaveResume(); }
    LuaNativeLevel(const LuaNativeLevel&) = delete;
    LuaNativeLevel& operator=(const LuaNativeLevel&) = delete;
};

// Seconds left of the call running on this thread (a very large number when none runs): a
// native wait (a socket, a sleep, the standard input) waits at most this long.
double luaSecondsLeft();
// Marks the running call on this thread as past its time: the hook stops it at its next look,
// as if the watchdog had. For a wait that was cut short by luaSecondsLeft.
void luaStopRunningCall();

// The time budget of one call as a scope: LuaCallBudget budget(guard, "init", 5.0). A null
// guard does nothing.
class LuaCallBudget {
public:
    LuaCallBudget(LuaStateGuard* guard, const char* what, double seconds) : guard_(guard)
    {
        if (guard_ && !guard_->beginCall(what, seconds)) {
            guard_ = nullptr;
            tooDeep_ = true;
        }
    }
    // The call would nest past the native level limit: it must not run ("C stack overflow").
    bool tooDeep() const { return tooDeep_; }
    ~LuaCallBudget() { finish(); }
    LuaCallBudget(const LuaCallBudget&) = delete;
    LuaCallBudget& operator=(const LuaCallBudget&) = delete;

    // Ends the budget now; true when the call was stopped for its time.
    bool finish()
    {
        if (guard_)
            stopped_ = guard_->endCall();
        guard_ = nullptr;
        return stopped_;
    }

private:
    LuaStateGuard* guard_;
    bool stopped_ = false;
    bool tooDeep_ = false;
};

} // namespace VadiZov
