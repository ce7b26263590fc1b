// Cost of what scripts reach through the sandbox: print into the log, a small file opened, read
// and closed through the host file system (the reference host's, on disk), a socket call the
// address guard refuses beside one it lets through to the socket library, and the pattern
// functions of the library's matcher beside the runtime's.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "base/bglobals.h"
#include "base/bsettings.h"
#include "host/host_file_system.h"
#include "lua/blua.h"
#include "lua/bsocket_guard.h"
#include "velkor/host.h"

using namespace VadiZov;

namespace {

constexpr int kCallsPerRun = 1000;

class DiscardingSink final : public LogSink {
public:
    void log(int, const char*, bool) override { ++count; }
    long count = 0;
};

// A system-like state with a global `run(n)` that repeats the body n times.
struct SandboxedScript {
    SandboxedScript(const std::string& body, bool withSocket)
    {
        Settings::socketEnabled = withSocket;
        lua = std::make_unique<Lua>("S0");
        lua->initialize(nullptr, nullptr);
        const std::string code = "socket = package.loaded['socket.core'] tcp = socket and socket.tcp()\n"
                                 "function run(n) for i = 1, n do " + body + " end end";
        lua->executeChunk(code.c_str(), code.size(), "bench");
        lua_getglobal(lua->state(), "run");
        runRef = luaL_ref(lua->state(), LUA_REGISTRYINDEX);
    }
    bool run(int n)
    {
        lua_State* L = lua->state();
        lua_rawgeti(L, LUA_REGISTRYINDEX, runRef);
        lua_pushinteger(L, n);
        const bool ok = lua_pcall(L, 1, 0, 0) == 0;
        if (!ok)
            lua_pop(L, 1);
        return ok;
    }
    std::unique_ptr<Lua> lua;
    int runRef = -1;
};

void runScript(benchmark::State& state, const char* body, bool withSocket = false)
{
    DiscardingSink sink;
    g_logSink = &sink;
    SandboxedScript script(body, withSocket);
    for (auto _ : state)
        if (!script.run(kCallsPerRun)) {
            state.SkipWithError("script failed");
            break;
        }
    state.SetItemsProcessed(state.iterations() * kCallsPerRun);
    g_logSink = nullptr;
}

// print with two values: four pieces into the log ("frame", tab, the number, newline).
void BM_SandboxPrint(benchmark::State& state) { runScript(state, "print('frame', i)"); }
BENCHMARK(BM_SandboxPrint);

// io.open, read('*a') and close of a 200-byte file of the reference host's data folder.
void BM_SandboxSmallFileOpenReadClose(benchmark::State& state)
{
    const std::filesystem::path root = std::filesystem::temp_directory_path() / "velkor_bench_sandbox";
    std::filesystem::create_directories(root);
    std::ofstream(root / "small.txt") << std::string(199, 'x') << '\n';
    host::DiskFileSystem fs(root.string());
    g_fileSystem = &fs;
    runScript(state, "local f = io.open('small.txt') local text = f:read('*a') f:close()");
    g_fileSystem = nullptr;
}
BENCHMARK(BM_SandboxSmallFileOpenReadClose);

// A connect the guard refuses: no system call is made.
void BM_SocketConnectRefused(benchmark::State& state) { runScript(state, "tcp:connect('8.8.8.8', 53)", true); }
BENCHMARK(BM_SocketConnectRefused);

// A socket method the guard does not watch, for comparison: the cost of any socket call.
void BM_SocketUnguardedMethod(benchmark::State& state) { runScript(state, "tcp:gettimeout()", true); }
BENCHMARK(BM_SocketUnguardedMethod);

// For scale: a connect the guard lets through, to a closed loop-back port (socket, connect, close).
void BM_SocketConnectLoopbackClosedPort(benchmark::State& state)
{
    runScript(state, "local t = socket.tcp() t:connect('127.0.0.1', 1) t:close()", true);
}
BENCHMARK(BM_SocketConnectLoopbackClosedPort);

// The guard's verdict alone, as the refused call above asks it.
void BM_GuardVerdict(benchmark::State& state)
{
    const char* host = "8.8.8.8";
    for (auto _ : state) {
        benchmark::DoNotOptimize(host);
        benchmark::DoNotOptimize(inet_isrestricted(host));
    }
}
BENCHMARK(BM_GuardVerdict);

// Pattern functions of a parser's inner loop: the library's matcher, which the time budget can
// stop, in a script state; the runtime's own in a plain state, for comparison.
constexpr const char* kPatternWork =
    "local s = 'key_' .. i .. ' = value ' .. i .. '; other = 12.5;' "
    "local k, v = s:match('^(%w+)%s*=%s*(%w+)') "
    "local n = select(2, s:gsub('%d', '#')) "
    "for word in s:gmatch('%a+') do end "
    "local at = s:find(';', 1, true)";

void BM_PatternsLibraryMatcher(benchmark::State& state) { runScript(state, kPatternWork); }
BENCHMARK(BM_PatternsLibraryMatcher);

void BM_PatternsRuntimeMatcher(benchmark::State& state)
{
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    const std::string code = std::string("function run(n) for i = 1, n do ") + kPatternWork + " end end";
    luaL_dostring(L, code.c_str());
    for (auto _ : state) {
        lua_getglobal(L, "run");
        lua_pushinteger(L, kCallsPerRun);
        if (lua_pcall(L, 1, 0, 0) != 0) {
            state.SkipWithError("script failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kCallsPerRun);
    lua_close(L);
}
BENCHMARK(BM_PatternsRuntimeMatcher);

} // namespace
