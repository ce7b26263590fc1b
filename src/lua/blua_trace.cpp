#include "lua/blua_trace.h"

#include <cstdint>
#include <cstdio>
#include <mutex>

#include "base/blog.h"
#include "lua/blua_guard.h"
#include "platform/path_below.h"

namespace VadiZov {

namespace {

// One stream for all states. Object states write from their core threads while a script may
// replace the file on the host thread, so the stream is only read or replaced under the lock.
FILE* s_traceFile = nullptr;
std::mutex s_traceLock;

const char* eventTag(int event)
{
    switch (event) {
    case LUA_HOOKCALL: return "CALL";
    case LUA_HOOKRET: return "RETN";
    case LUA_HOOKLINE: return "LINE";
    case LUA_HOOKCOUNT: return "COUT";
    case LUA_HOOKTAILRET: return "TRLR";
    default: return "?  ";
    }
}

const char* orEmpty(const char* text) { return text ? text : ""; }

constexpr const char* kTraceMark = "Lua stack trace start\n";
// A full trace writes megabytes a second; past this the trace stops.
constexpr uint64_t kMaxTraceBytes = uint64_t(64) << 20;

} // namespace

bool startLuaStackTrace(lua_State* L, const char* path, bool full)
{
    {
        std::lock_guard<std::mutex> guard(s_traceLock);
        if (s_traceFile) {
            std::fclose(s_traceFile);
            s_traceFile = nullptr;
        }
        // Scripts name the file: it stays below the working directory, is never a link, and
        // an existing file is replaced only when it is an earlier trace.
        s_traceFile = platform::openOwnFileBelow(".", path ? path : "", kTraceMark, kMaxTraceBytes);
        if (!s_traceFile)
            return false;
        std::fputs(kTraceMark, s_traceFile);
    }
    const int mask = full ? (LUA_MASKCALL | LUA_MASKRET | LUA_MASKLINE | LUA_MASKCOUNT) : LUA_MASKCALL;
    // The state's guard keeps the time budget's hook chained in front of the trace's.
    if (LuaStateGuard* guard = LuaStateGuard::of(L))
        guard->setTraceHook(luaStackTraceHook, mask);
    else
        lua_sethook(L, luaStackTraceHook, mask, 0);
    return true;
}

void luaStackTraceHook(lua_State* L, lua_Debug* event)
{
    lua_getinfo(L, "nSlu", event);
    std::lock_guard<std::mutex> guard(s_traceLock);
    if (!s_traceFile)
        return;
    std::fprintf(s_traceFile, "%s:%d|%s|%s|%s %s\n", event->source ? event->source : "(unknown)",
                 event->currentline, orEmpty(event->what), eventTag(event->event), orEmpty(event->namewhat),
                 orEmpty(event->name));
    if (std::ferror(s_traceFile)) {
        std::fclose(s_traceFile);
        s_traceFile = nullptr;
        logFormat(LOG_ERROR, "Lua stack trace stopped: the file holds at most %llu MiB",
                  static_cast<unsigned long long>(kMaxTraceBytes >> 20));
    }
}

} // namespace VadiZov
