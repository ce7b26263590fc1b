#include "lua/blua.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/blog.h"
#include "lua/blua_error_text.h"
#include "lua/blua_libraries.h"
#include "lua/blua_limits.h"
#include "lua/blua_trace.h"
#include "lua/bsandbox_debug.h"
#include "base/bglobals.h"
#include "base/bmath.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

constexpr int kGarbageStepSize = 20;
constexpr int kStackReserve = 200;

// The body of the protected call being entered on this thread, with its data: read by
// runPendingBody at once, before anything could enter another call.
struct PendingBody {
    void (*body)(lua_State*, void*);
    void* data;
};
thread_local PendingBody t_pendingBody{nullptr, nullptr};

// The one native function every protected call goes through, made once per state: calling it
// allocates nothing, where a lua_cpcall would make a new function object each time.
int runPendingBody(lua_State* L)
{
    const PendingBody pending = t_pendingBody;
    t_pendingBody = {nullptr, nullptr};
    if (pending.body)
        pending.body(L, pending.data);
    return 0;
}

// Constant-initialised: installing it while the library loads needs no order among files.
LuaApiRegistration s_apiRegistration = nullptr;

struct SetupCall {
    Lua* lua;
    BeamObjectImpl* owner;
    int callerRef;
};

int setUpState(lua_State* L)
{
    auto* call = static_cast<SetupCall*>(lua_touserdata(L, 1));
    lua_settop(L, 0);
    lua_pushcfunction(L, runPendingBody);
    call->callerRef = luaL_ref(L, LUA_REGISTRYINDEX);
    openLuaLibraries(L);
    lua_settop(L, 0);
    if (s_apiRegistration)
        s_apiRegistration(L, *call->lua, call->owner);
    return 0;
}

} // namespace

void setLuaApiRegistration(LuaApiRegistration registration) { s_apiRegistration = registration; }

namespace {

const char* textOrEmpty(const char* text) { return text ? text : ""; }

// The line of the running chunk where its last error was raised, found by the error handler
// below while the failing frames are still on the stack; 0 when unknown.
thread_local int t_failingLine = 0;

// Error handler: notes the innermost line of the chunk named by upvalue 1, then adds the
// library's traceback. Never a function a script could have replaced: a handler runs where the
// time budget cannot stop it.
int noteFailingLine(lua_State* L)
{
    const char* chunkName = lua_tostring(L, lua_upvalueindex(1));
    lua_Debug frame;
    for (int level = 1; chunkName && lua_getstack(L, level, &frame); ++level) {
        if (lua_getinfo(L, "Sl", &frame) && frame.currentline > 0 && frame.source &&
            std::strcmp(frame.source, chunkName) == 0) {
            t_failingLine = frame.currentline;
            break;
        }
    }
    if (!lua_isstring(L, 1))
        return 1;  // an error value that is no text stays as it is
    pushSandboxTraceback(L, L, lua_tostring(L, 1), 1);
    return 1;
}

// A syntax error never reaches the handler; its message starts with the chunk and the line.
int lineFromMessage(const char* message)
{
    const char* mark = message ? std::strstr(message, "]:") : nullptr;
    return mark ? std::atoi(mark + 2) : 0;
}

// The text of line `number` (from 1) of the chunk; the first line when the number is unknown.
std::string_view chunkLine(const char* text, size_t length, int number)
{
    const std::string_view chunk(text, length);
    size_t start = 0;
    for (int line = 1; line < number; ++line) {
        const size_t end = chunk.find('\n', start);
        if (end == std::string_view::npos)
            return chunk.substr(0, chunk.find('\n'));
        start = end + 1;
    }
    return chunk.substr(start, chunk.find('\n', start) - start);
}

struct ChunkRun {
    const char* text;
    size_t length;
    const char* chunkName;
    std::string* result;
    int status;
};

// Loads and runs the chunk with the failing-line handler; the error value stays on top.
void runChunk(lua_State* L, ChunkRun& run)
{
    lua_pushstring(L, run.chunkName);
    lua_pushcclosure(L, noteFailingLine, 1);
    const int handler = lua_gettop(L);
    t_failingLine = 0;
    // Source text only: a binary chunk from a stranger's folder could break memory safety.
    run.status = luaL_loadbufferx(L, run.text, run.length, run.chunkName, "t");
    if (run.status == 0)
        run.status = lua_pcall(L, 0, 1, handler);
    if (run.status == 0 && run.result && (lua_type(L, -1) == LUA_TSTRING || lua_type(L, -1) == LUA_TNUMBER)) {
        size_t resultLength = 0;
        const char* value = lua_tolstring(L, -1, &resultLength);
        run.result->assign(value, resultLength);
    }
    if (run.status != 0)
        lua_error(L);  // handed on to the protected call around, which reports it
}

void stepGarbageCollector(lua_State* L) { lua_gc(L, LUA_GCSTEP, kGarbageStepSize); }

int collectEverything(lua_State* L)
{
    lua_gc(L, LUA_GCCOLLECT, 0);
    return 0;
}

} // namespace

Lua::Lua(const char* name) : name_(textOrEmpty(name)), guard_(std::make_unique<LuaStateGuard>(name_)) {}

Lua::~Lua() { close(); }

void Lua::initialize(BeamObjectImpl* owner, const char* startScript)
{
    owner_ = owner;
    state_ = guard_->openState();
    ++generation_;
    if (!state_) {
        log(LOG_ERROR, "could not create a Lua state");
        return;
    }
    SetupCall call{this, owner, LUA_NOREF};
    const int status = lua_cpcall(state_, setUpState, &call);
    callerRef_ = call.callerRef;
    if (status != 0) {
        log(LOG_ERROR, "*** FATAL LUA ERROR: %s", luaErrorText(state_, -1).c_str());
    }
    lua_settop(state_, 0);
    if (startScript) {
        const LuaCallBudget budget(guard_.get(), startScript, luaLimits().initSeconds);
        exec(startScript);
    }
}

void Lua::close()
{
    guard_->closeState();
    state_ = nullptr;
    callerRef_ = LUA_NOREF;
    name_.clear();
}

int Lua::exec(const char* path)
{
    path = textOrEmpty(path);
    if (!g_fileSystem) {
        log(LOG_ERROR, "cannot open file '%s': no filesystem provided", path);
        return -1;
    }
    if (g_fileSystem->fileExists(path) == 0) {
        log(LOG_ERROR, "cannot open file '%s': %s", path,
            g_fileSystem->directoryExists(path) ? "is a directory" : "not existing");
        return -2;
    }
    FilePure* file = g_fileSystem->openFile(path, "rb");
    if (!file) {
        log(LOG_ERROR, "cannot open file '%s': error opening file read-only", path);
        return -3;
    }
    const long length = file->length();
    // Zero-filled with room to spare, so the text is always terminated.
    char* buffer = length < 0 ? nullptr : static_cast<char*>(std::calloc(size_t(length) + 16, 1));
    if (!buffer) {
        file->close();
        return 1;
    }
    int result = 1;
    if (file->read(buffer, size_t(length), 1, size_t(length)) != 0)
        result = executeChunk(buffer, size_t(length), path);
    file->close();
    std::free(buffer);
    return result;
}

int Lua::executeChunk(const char* text, size_t length, const char* chunkName, std::string* result)
{
    if (!state_)
        return 1;
    text = text ? text : "";
    chunkName = textOrEmpty(chunkName);
    ChunkRun run{text, length, chunkName, result, 0};
    std::string error;
    if (protectedCall(chunkName, luaCallSeconds(), [&run](lua_State* L) { runChunk(L, run); }, &error) == 0)
        return 0;
    const char* message = error.c_str();
    log(LOG_ERROR, "*** FATAL LUA ERROR: %s", message);
    const int lineNumber = t_failingLine > 0 ? t_failingLine : lineFromMessage(message);
    const std::string_view line = chunkLine(text, length, lineNumber);
    log(LOG_ERROR, "*** while executing this line: %.*s", int(line.size()), line.data());
    log(LOG_ERROR, "*** in chunk: %s", chunkName);
    return 1;
}

const char* Lua::pushString(const char* text)
{
    return lua_pushfstring(state_, "%s", textOrEmpty(text));
}

int Lua::updateCore()
{
    if (!state_)
        return 0;
    lua_settop(state_, 0);
    std::string error;
    // Finalizers run here; whatever they raise is reported, never a panic.
    if (protectedCall("garbage collection", luaCallSeconds(), [](lua_State* L) { stepGarbageCollector(L); },
                      &error) != 0)
        log(LOG_ERROR, "*** LUA ERROR in a finalizer: %s", error.c_str());
    bool grown = false;
    protectedCall("stack", luaCallSeconds(),
                  [&grown](lua_State* L) { grown = lua_checkstack(L, kStackReserve) != 0; });
    if (!grown)
        log(LOG_ERROR, "Could not grow Lua stack");
    return 0;
}

int Lua::runProtected(const char* what, double seconds, ProtectedBody body, void* data, std::string* error)
{
    if (!state_ || callerRef_ < 0) {
        if (error)
            *error = "no Lua state";
        return LUA_ERRRUN;
    }
    // A chunk run from inside a running call (Lua:exec of a file that execs itself) nests on the
    // C stack like a coroutine resumed inside another, and shares that limit.
    LuaCallBudget budget(guard_.get(), what, seconds);
    if (budget.tooDeep()) {
        if (error)
            *error = "C stack overflow";
        return LUA_ERRRUN;
    }
    const LuaStackRestore restore(state_);
    lua_rawgeti(state_, LUA_REGISTRYINDEX, callerRef_);
    t_pendingBody = {body, data};
    const int status = lua_pcall(state_, 0, 0, 0);
    // Still inside the budget: an error value's __tostring is script code too.
    if (status != 0 && error)
        *error = luaErrorText(state_, -1);
    lastCallStopped_ = budget.finish();
    // Stopped, yet it returned: a wait cut short just before a return, or a stop the script's
    // own pcall took. It ends as a stop all the same.
    int result = status;
    if (lastCallStopped_ && status == 0) {
        result = LUA_ERRRUN;
        if (error)
            *error = guard_->stopText();
    }
    // The runtime does not collect before it reports a full state: collecting now lets the
    // next call start with what the script still holds, not with its garbage too.
    if (status == LUA_ERRMEM)
        lua_cpcall(state_, collectEverything, nullptr);
    return result;
}

void Lua::dropReference(int& reference, const char* name)
{
    luaL_unref(state_, LUA_REGISTRYINDEX, reference);
    reference = LUA_NOREF;
    log(LOG_ERROR, "Lua function '%s' ran out of time and is no longer called.", name);
}

double luaCallSeconds() { return luaLimits().callSeconds; }

int Lua::referenceGlobal(const char* name)
{
    int reference = LUA_NOREF;
    protectedCall(name, luaCallSeconds(), [name, &reference](lua_State* L) {
        lua_pushstring(L, name);
        lua_rawget(L, LUA_GLOBALSINDEX);
        reference = luaL_ref(L, LUA_REGISTRYINDEX);
    });
    return reference;
}

void Lua::log(int level, const char* format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    logFormat(level, "%s|%s", name_.c_str(), text);
    if (level == LOG_ERROR)
        flushLog();
}

int Lua::getMemoryUsageKB() { return state_ ? lua_gc(state_, LUA_GCCOUNT, 0) : 0; }

void Lua::dumpStack() { dumpLuaStack(state_); }

color Lua::colorFromHex(const char* text) { return VadiZov::colorFromHex(textOrEmpty(text)); }

std::string Lua::colorToHex(const color& c) { return VadiZov::colorToHex(c); }

void Lua::enableStackTraceFile(const char* path, bool full)
{
    path = textOrEmpty(path);
    if (!startLuaStackTrace(state_, path, full))
        log(LOG_ERROR, "unable to open lua stack log for writing: %s", path);
}

void dumpLuaStack(lua_State* L)
{
    const int count = lua_gettop(L);
    logFormat(LOG_INFO, "== STACK (%d) DUMP ==", count);
    for (int i = 1; i <= count; ++i) {
        const int fromTop = i - count - 1;
        switch (lua_type(L, i)) {
        case LUA_TBOOLEAN:
            logFormat(LOG_INFO, "%d / %d | boolean %s", i, fromTop, lua_toboolean(L, i) ? "true" : "false");
            break;
        case LUA_TNUMBER:
            logFormat(LOG_INFO, "%d / %d | number: %g", i, fromTop, lua_tonumber(L, i));
            break;
        case LUA_TSTRING:
            logFormat(LOG_INFO, "%d / %d | string: '%s'", i, fromTop, lua_tostring(L, i));
            break;
        default:
            // Other types have no string conversion: written as the C runtime writes a null text.
            logFormat(LOG_INFO, "%d / %d | %s : %s", i, fromTop, luaL_typename(L, i), "(null)");
            break;
        }
    }
    logFormat(LOG_INFO, "== STACK DUMP END ==");
}

} // namespace VadiZov
