#include "lua/blua_watchdog.h"

#include <algorithm>
#include <vector>

#include "lua/blua_guard.h"
#include "platform/critical_section.h"
#include "platform/event.h"
#include "platform/perf_counter.h"
#include "platform/thread.h"

namespace VadiZov {

namespace {

// How often running calls are looked at: a call is stopped at most two looks after its time.
constexpr uint32_t kTickMs = 20;

// Set once the watchdog is gone (the library is being unloaded): a state closed after it has
// nothing to leave.
bool s_watchdogGone = false;

class Watchdog {
public:
    ~Watchdog()
    {
        s_watchdogGone = true;
        {
            platform::CriticalSectionGuard hold(lock_);
            stopping_ = true;
        }
        wake_.set();
        thread_.join();
    }

    void watch(LuaStateGuard* guard)
    {
        platform::CriticalSectionGuard hold(lock_);
        guards_.push_back(guard);
        if (!thread_.started())
            thread_.start(&Watchdog::run, this);
        wake_.set();
    }

    void unwatch(LuaStateGuard* guard)
    {
        platform::CriticalSectionGuard hold(lock_);
        guards_.erase(std::remove(guards_.begin(), guards_.end(), guard), guards_.end());
    }

private:
    static void run(void* self) { static_cast<Watchdog*>(self)->loop(); }

    void loop()
    {
        for (;;) {
            bool idle = false;
            {
                platform::CriticalSectionGuard hold(lock_);
                if (stopping_)
                    return;
                const int64_t now = luaClockNow();
                for (LuaStateGuard* guard : guards_)
                    guard->watch(now);
                idle = guards_.empty();
            }
            wake_.wait(idle ? platform::kInfinite : kTickMs);
        }
    }

    platform::CriticalSection lock_;
    std::vector<LuaStateGuard*> guards_;
    bool stopping_ = false;
    platform::Event wake_{false, false};
    platform::Thread thread_;
};

Watchdog& watchdog()
{
    static Watchdog instance;
    return instance;
}

} // namespace

void watchLuaState(LuaStateGuard* guard) { watchdog().watch(guard); }

void unwatchLuaState(LuaStateGuard* guard)
{
    if (!s_watchdogGone)
        watchdog().unwatch(guard);
}

int64_t luaClockNow()
{
    int64_t now = 0;
    platform::queryPerformanceCounter(&now);
    return now;
}

} // namespace VadiZov
