#include "lua/blua_guard.h"

#include <cstdio>
#include <cstdlib>

#include "lua/blua_limits.h"
#include "lua/blua_watchdog.h"

namespace VadiZov {

namespace {

// The guard whose call runs on this thread, innermost first: a call into another state made
// from inside it pauses its clock.
thread_local LuaStateGuard* t_runningGuard = nullptr;
thread_local int t_resumeDepth = 0;

int64_t nanoseconds(double seconds) { return int64_t(seconds * 1e9); }

// Instructions between two looks of the budget's hook at its flag while a call is within its time.
constexpr int kInstructionsPerLook = 1000;

} // namespace

LuaStateGuard::LuaStateGuard(const std::string& name) : name_(name) {}

LuaStateGuard::~LuaStateGuard() { closeState(); }

lua_State* LuaStateGuard::openState()
{
    closeState();
    used_ = 0;
    ioFiles_.store(0, std::memory_order_relaxed);
    cap_ = luaLimits().memoryBytes;
    state_ = lua_newstate(&LuaStateGuard::allocate, this);
    if (!state_)
        return nullptr;
    {
        platform::CriticalSectionGuard hold(lock_);
        installHooks();
    }
    watchLuaState(this);
    return state_;
}

void LuaStateGuard::closeState()
{
    if (!state_)
        return;
    // A state closed under its own running call (never done on purpose) leaves no dangling mark.
    if (t_runningGuard == this)
        t_runningGuard = outer_;
    depth_ = 0;
    unwatchLuaState(this);
    lua_close(state_);
    state_ = nullptr;
}

LuaStateGuard* LuaStateGuard::of(lua_State* L)
{
    void* guard = nullptr;
    if (!L || lua_getallocf(L, &guard) != &LuaStateGuard::allocate)
        return nullptr;
    return static_cast<LuaStateGuard*>(guard);
}

// Only growth is refused: a block that shrinks or is freed always succeeds, as the runtime
// requires.
void* LuaStateGuard::allocate(void* self, void* block, size_t oldSize, size_t newSize)
{
    auto* guard = static_cast<LuaStateGuard*>(self);
    if (newSize == 0) {
        std::free(block);
        guard->used_ -= oldSize;
        return nullptr;
    }
    if (newSize > oldSize && newSize - oldSize > guard->cap_ - guard->used_)
        return nullptr;
    void* moved = std::realloc(block, newSize);
    if (!moved)
        return nullptr;
    guard->used_ = guard->used_ - oldSize + newSize;
    return moved;
}

bool LuaStateGuard::beginCall(const char* what, double seconds)
{
    if (depth_ > 0) {
        // A chunk run inside this state's running call (Lua:exec of a file that execs itself).
        if (!enterResume())
            return false;
        ++depth_;
        return true;
    }
    LuaStateGuard* outer = t_runningGuard != this ? t_runningGuard : nullptr;
    if (outer && !enterResume())
        return false;  // another state's call inside a running one, too deep
    ++depth_;
    outer_ = outer;
    if (outer_)
        outer_->stopRunning();  // paused: the watchdog does not count it meanwhile
    else
        t_resumeDepth = 0;
    t_runningGuard = this;
    what_ = what ? what : "";
    seconds_ = seconds;
    budget_.store(nanoseconds(seconds), std::memory_order_relaxed);
    serial_.store(serial_.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    running_.store(true, std::memory_order_release);
    return true;
}

bool LuaStateGuard::endCall()
{
    if (depth_ == 0)
        return false;
    if (--depth_ > 0) {
        leaveResume();
        return false;
    }
    stopRunning();
    bool stopped = false;
    if (stopped_.load(std::memory_order_seq_cst)) {
        platform::CriticalSectionGuard hold(lock_);
        stopped = true;
        stopped_.store(false, std::memory_order_seq_cst);
        armed_ = false;
        installHooks();
    }
    t_runningGuard = outer_;
    if (outer_) {
        leaveResume();
        outer_->running_.store(true, std::memory_order_release);  // its clock goes on
    }
    outer_ = nullptr;
    return stopped;
}

// Marks the call as not running. When the watchdog is deciding to arm just then, this waits
// until it has. Both sides use one sequentially consistent order: either the watchdog sees the
// call stopped and does not arm, or it armed (and set stopped_) before this looks at stopped_,
// or this sees it arming and waits for it.
void LuaStateGuard::stopRunning()
{
    running_.store(false, std::memory_order_seq_cst);
    if (arming_.load(std::memory_order_seq_cst))
        platform::CriticalSectionGuard hold(lock_);
}

void LuaStateGuard::watch(int64_t now)
{
    const int64_t sinceLastLook = now - lastLook_.load(std::memory_order_relaxed);
    const uint32_t serial = serial_.load(std::memory_order_acquire);
    if (serial != watchedSerial_.load(std::memory_order_relaxed)) {
        elapsed_.store(0, std::memory_order_relaxed);  // a new call: counted from this look on
        lastLook_.store(now, std::memory_order_relaxed);
        watchedSerial_.store(serial, std::memory_order_release);
        return;
    }
    if (!running_.load(std::memory_order_acquire)) {
        lastLook_.store(now, std::memory_order_relaxed);
        return;  // ended or paused: a paused call keeps what it has used
    }
    const int64_t elapsed = elapsed_.load(std::memory_order_relaxed) + sinceLastLook;
    elapsed_.store(elapsed, std::memory_order_relaxed);
    lastLook_.store(now, std::memory_order_relaxed);
    if (elapsed < budget_.load(std::memory_order_relaxed))
        return;
    platform::CriticalSectionGuard hold(lock_);
    arming_.store(true, std::memory_order_seq_cst);
    // Only the flag: the hook, always installed, sees it on the state's own thread. Installing a
    // hook from this thread would race with the runtime's own changes of its hook mask (around
    // every hook call and every finalizer) and could leave the hooks disabled for good.
    if (running_.load(std::memory_order_seq_cst) && serial_.load(std::memory_order_relaxed) == serial && !armed_ &&
        state_) {
        stopped_.store(true, std::memory_order_seq_cst);
        armed_ = true;
    }
    arming_.store(false, std::memory_order_seq_cst);
}

// What the watchdog has counted, plus the time since its last look; a call it has not looked at
// yet started less than one look ago and has used nothing yet as far as this knows.
double LuaStateGuard::secondsLeft() const
{
    if (outOfTime())
        return 0.0;
    int64_t used = 0;
    if (watchedSerial_.load(std::memory_order_acquire) == serial_.load(std::memory_order_relaxed))
        used = elapsed_.load(std::memory_order_relaxed) + (luaClockNow() - lastLook_.load(std::memory_order_relaxed));
    const int64_t left = budget_.load(std::memory_order_relaxed) - used;
    return left > 0 ? double(left) * 1e-9 : 0.0;
}

void LuaStateGuard::stopNow()
{
    platform::CriticalSectionGuard hold(lock_);
    if (depth_ == 0 || !state_)
        return;
    stopped_.store(true, std::memory_order_seq_cst);
    armed_ = true;
    installHooks();
}

std::string LuaStateGuard::stopText() const
{
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.14g", seconds_);  // as the runtime writes a number
    return name_ + "|'" + what_ + "' ran longer than " + seconds + " s and was stopped";
}

double luaSecondsLeft()
{
    constexpr double kNoCall = 1e9;
    return t_runningGuard ? t_runningGuard->secondsLeft() : kNoCall;
}

void luaStopRunningCall()
{
    if (t_runningGuard)
        t_runningGuard->stopNow();
}

bool enterResume()
{
    if (t_resumeDepth >= luaLimits().coroutineDepth)
        return false;
    ++t_resumeDepth;
    return true;
}

void leaveResume()
{
    if (t_resumeDepth > 0)
        --t_resumeDepth;
}

void LuaStateGuard::setTraceHook(lua_Hook hook, int mask)
{
    platform::CriticalSectionGuard hold(lock_);
    traceHook_ = mask ? hook : nullptr;
    traceMask_ = traceHook_ ? mask : 0;
    installHooks();
}

// The runtime keeps one hook per state, shared by its coroutines: the budget's, always, called
// every kInstructionsPerLook instructions (every instruction once the call is stopped), which
// hands the trace the events it asked for. Only the state's own thread installs it.
void LuaStateGuard::installHooks()
{
    if (state_)
        lua_sethook(state_, &LuaStateGuard::budgetHook, traceMask_ | LUA_MASKCOUNT,
                    armed_ ? 1 : kInstructionsPerLook);
}

void LuaStateGuard::budgetHook(lua_State* L, lua_Debug* event)
{
    LuaStateGuard* guard = of(L);
    if (!guard)
        return;
    if (event->event == LUA_HOOKCOUNT) {
        if (!guard->outOfTime())
            return;
        guard->raiseStop(L, 0);  // the hook runs in the frame of the function it stopped
    }
    const int wanted = event->event == LUA_HOOKCALL ? LUA_MASKCALL
                       : event->event == LUA_HOOKLINE ? LUA_MASKLINE
                                                      : LUA_MASKRET;  // return and tail return
    if (guard->traceHook_ && (guard->traceMask_ & wanted))
        guard->traceHook_(L, event);
}

void LuaStateGuard::raiseStop(lua_State* L, int level)
{
    // From now on at every instruction, so that a script's own pcall cannot keep the call alive,
    // whether the stop came from the hook or from a native loop.
    lua_sethook(L, &LuaStateGuard::budgetHook, traceMask_ | LUA_MASKCOUNT, 1);
    luaL_where(L, level);
    lua_pushfstring(L, "%s|'%s' ran longer than %f s and was stopped", name_.c_str(), what_, seconds_);
    lua_concat(L, 2);
    lua_error(L);
    std::abort();  // lua_error does not return
}

} // namespace VadiZov
