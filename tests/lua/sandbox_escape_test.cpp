// A hostile script's ways out of the sandbox, one row each: native code, binary chunks, the
// runtime's internals, files outside the host file system, forged or freed objects, endless
// loops and unbounded memory. Each row runs in a fresh state and must end in the refusal it
// names, with nothing touched outside: no host file call but the ones listed, no file written,
// no warning unless expected (the sanitizer build runs these too).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/bglobals.h"
#include "base/blog.h"
#include "base/bsettings.h"
#include "lua/blua.h"
#include "tests/support/log_capture.h"
#include "tests/support/lua_test_support.h"
#include "tests/support/scoped_lua_limits.h"
#include "tests/support/scoped_settings.h"
#include "tests/support/stored_file_system.h"

namespace VadiZov::testing {
namespace {

using Strings = std::vector<std::string>;

constexpr double kCallSeconds = 0.2;
constexpr size_t kMemoryBytes = size_t(64) << 20;

struct Escape {
    const char* name;
    std::string code;
    std::string expected;  // a part of "ok: <result>" or "error: <message>"
    Strings hostCalls = {};
    std::string warning = "";  // a part of the one warning or error line expected, if any
};

class SandboxEscape : public LogCapture {
protected:
    void SetUp() override
    {
        LogCapture::SetUp();
        g_fileSystem = &fs;
    }
    void TearDown() override
    {
        lua.reset();
        g_fileSystem = nullptr;
        LogCapture::TearDown();
    }

    void freshState()
    {
        lua = std::make_unique<Lua>("S0");
        lua->initialize(nullptr, nullptr);
        sink.lines.clear();
        fs.takeCalls();
    }

    // "ok: " and the chunk's result as text, or "error: " and the message.
    std::string outcome(const std::string& code)
    {
        std::string result, error;
        const int status = lua->protectedCall("escape", luaLimits().callSeconds, [&](lua_State* L) {
            if (luaL_loadbuffer(L, code.data(), code.size(), "=escape") != 0)
                lua_error(L);
            lua_call(L, 0, 1);
            if (lua_type(L, -1) == LUA_TSTRING || lua_type(L, -1) == LUA_TNUMBER)
                result = lua_tostring(L, -1);
            else if (lua_type(L, -1) == LUA_TBOOLEAN)
                result = lua_toboolean(L, -1) ? "true" : "false";
            else
                result = luaL_typename(L, -1);
        }, &error);
        return status == 0 ? "ok: " + result : "error: " + error;
    }

    Strings warnings() const
    {
        Strings lines;
        for (const LogLine& line : sink.lines)
            if (line.level == LOG_WARN || line.level == LOG_ERROR)
                lines.push_back(line.text);
        return lines;
    }

    StoredFileSystem fs;
    std::unique_ptr<Lua> lua;
};

std::vector<Escape> escapes(const std::string& fifo)
{
    return {
        // Native code: there is no FFI by any road.
        {"string.buffer has nothing that opens the FFI",
         "local b = require('string.buffer').new() return tostring(b.reserve) .. tostring(b.ref)", "ok: nilnil"},
        {"reserve cannot be called", "return require('string.buffer').new():reserve(1)",
         "attempt to call method 'reserve'"},
        {"require of the FFI", "package.path = '?.lua' return require('ffi')", "module 'ffi' not found",
         {"fileExists ffi.lua"}},
        {"the FFI preloaded or loaded",
         "return tostring(package.preload.ffi) .. tostring(package.loaded.ffi) .. tostring(rawget(_G, 'ffi'))",
         "ok: nilnilnil"},
        {"jit.util and jit.profile", "return tostring(jit.util) .. tostring(package.preload['jit.util']) .. "
                                     "tostring(package.preload['jit.profile']) .. tostring(jit.attach)",
         "ok: nilnilnilnil"},
        {"require of jit.util", "package.path = '?.lua' return require('jit.util')", "module 'jit.util' not found",
         {"fileExists jit/util.lua"}},
        {"the trace compiler stays off", "jit.on()", "disabled"},
        {"native libraries", "return tostring(package.loadlib) .. #package.loaders", "ok: nil2"},
        // Binary chunks: every loader forces text, and getinfo hands out no function.
        {"load of a dump", "return select(2, load(string.dump(function() return 1 end)))", "wrong mode"},
        {"load of a dump asking for binary mode",
         "return select(2, load(string.dump(function() return 1 end), 'x', 'b'))", "wrong mode"},
        {"loadstring of a dump", "return select(2, loadstring(string.dump(function() end)))", "wrong mode"},
        {"a reader handing out a dump",
         "local d = string.dump(function() end) "
         "return select(2, load(function() local p = d d = nil return p end))",
         "wrong mode"},
        {"getinfo of the loader inside a reader",
         "local got = 'none' load(function() local i = debug.getinfo(2, 'f') got = tostring(i and i.func) end) "
         "return got",
         "ok: nil"},
        {"getinfo of a function",
         "local i = debug.getinfo(print, 'SfLnu') return tostring(i.func) .. tostring(i.activelines) .. i.what",
         "ok: nilnilC"},
        {"getinfo of a level", "local i = debug.getinfo(1) return tostring(i.func) .. i.currentline", "ok: nil1"},
        {"getinfo with options of its own", "return debug.getinfo(1, '>S')", "invalid option"},
        {"what is left of debug",
         "local n = {} for k in pairs(debug) do n[#n + 1] = k end table.sort(n) return table.concat(n, ',')",
         "ok: getinfo,traceback"},
        {"a traceback shows no native addresses", "return debug.traceback('x')", "[C]: ?"},
        // Files: only through the host file system, which decides what exists.
        {"searchpath probing the machine", "return select(2, package.searchpath('passwd', '/etc/?'))",
         "no file '/etc/passwd'", {"fileExists /etc/passwd"}},
        {"searchpath on a FIFO", "return select(2, package.searchpath('fifo', '" + fifo + "'))", "no file",
         {"fileExists " + std::string(fifo).replace(fifo.find('?'), 1, "fifo")}},
        {"loadfile outside", "return select(2, loadfile('/etc/passwd'))", "cannot open /etc/passwd",
         {"fileExists /etc/passwd"}},
        {"dofile outside", "dofile('/etc/passwd')", "cannot open /etc/passwd", {"fileExists /etc/passwd"}},
        {"io.open outside", "return select(2, io.open('/etc/passwd'))", "/etc/passwd: cannot open file",
         {"fileExists /etc/passwd"}},
        {"io.lines outside", "for l in io.lines('/etc/passwd') do end", "/etc/passwd: cannot open file",
         {"fileExists /etc/passwd"}},
        {"require of an absolute path", "package.path = '?.lua' return require('/etc/passwd')",
         "module '/etc/passwd' not found", {"fileExists /etc/passwd.lua"}},
        {"require climbing out", "package.path = 'mods/?.lua' return require('../x')", "not found",
         {"fileExists mods////x.lua"}},
        {"a process", "return os.execute('touch escaped')", "ok: 0", {}, "Lua tried to execute system command"},
        {"a process with output", "return select(2, io.popen('id'))", "ok: ", {}, "Lua tried to open a process"},
        {"the environment", "return tostring(os.getenv('HOME'))", "ok: nil"},
        // The binding's tables: stand-ins, no finalizer, no internals.
        {"newproxy", "return tostring(newproxy)", "ok: nil"},
        {"the host file system's class table",
         "local mt = getmetatable(FS) rawset(mt, '__parent', getmetatable(float3(0, 0, 0))) rawset(mt, '__index', nil) "
         "return tostring(pcall(function() FS.x = 1 end)) .. ' ' .. type(FS.fileExists)",
         "ok: false function"},
        {"a parent loop through the stand-in", "local mt = getmetatable(FS) rawset(mt, '__parent', mt) "
                                               "return tostring(FS.nosuch)",
         "ok: nil"},
        {"finalizers", "return tostring(BeamObject().__gc) .. tostring(float3(1, 2, 3).__gc) .. tostring(FS.__gc) .. "
                       "tostring(BeamObject.__gc)",
         "ok: nilnilnilnil"},
        {"the static tables' internals", "return tostring(float3.__class) .. tostring(float3.__propget) .. "
                                         "tostring(Settings.__propset) .. tostring(float3.__metatable)",
         "ok: nilnilnilnil"},
        {"a class's metatable replaced", "setmetatable(float3, {})", "cannot change a protected metatable"},
        {"a forged light userdata as an object",
         "local p = require('string.buffer').decode('\\5' .. string.rep('\\0', 8)) "
         "return float3(1, 2, 3):cross(p)",
         "float3 expected, got userdata"},
        {"a finalizer on a table", "setmetatable({}, {__gc = function() error('ran') end}) collectgarbage() "
                                   "collectgarbage() return 'no finalizer'",
         "ok: no finalizer"},
        // Finalizers run with every hook off: no class a script reaches can be given one.
        {"the file class", "local mt = getmetatable(io.stdout) return type(mt) .. ' ' .. mt", "ok: string file"},
        {"a dropped file's class", "return getmetatable(io.open('nosuch') or io.stderr)", "ok: file",
         {"fileExists nosuch"}},
        {"the socket classes",
         "local s = require('socket') local a, b = s.tcp(), s.udp() local t = s.tcp() t:bind('127.0.0.1', 0) t:listen(1) "
         "return getmetatable(a) .. getmetatable(b) .. getmetatable(t) .. tostring(a.__gc) .. tostring(a.__index)",
         "ok: tcp{master}udp{unconnected}tcp{server}nilnil"},
        {"a socket given a finalizer", "getmetatable(require('socket').tcp()).__gc = function() while true do end end",
         "attempt to index a string value"},
        {"a socket lingering in its finalizer",
         "local s = require('socket').tcp() s:bind('127.0.0.1', 0) "
         "local r, why = s:setoption('linger', {on = true, timeout = 1e6}) "
         "return tostring(r) .. ' ' .. why .. ' ' .. s:setoption('linger', {on = true, timeout = 0}) .. "
         "s:setoption('linger', {on = false, timeout = 5})",
         "ok: nil linger restricted 11"},
        {"the buffer class", "return getmetatable(require('string.buffer').new())", "ok: buffer"},
        {"a userdata's metatable replaced", "setmetatable(io.stdout, {__gc = function() while true do end end})",
         "table expected"},
        // Level arithmetic of the debug functions, with any integer.
        {"traceback at the last int level", "return debug.traceback('m', 2 ^ 31 - 1)", "ok: m\nstack traceback:"},
        {"traceback at extreme levels",
         "return #debug.traceback('m', -2 ^ 53) .. #debug.traceback('m', 2 ^ 53) .. #debug.traceback('m', -2 ^ 31)",
         "ok: 181818"},
        {"getinfo at extreme levels",
         "return tostring(debug.getinfo(2 ^ 31 - 1)) .. tostring(debug.getinfo(-2 ^ 40)) .. tostring(debug.getinfo(2 ^ 40))",
         "ok: nilnilnil"},
        // Environments and loaders.
        {"setfenv on a native function", "setfenv(print, {})", "cannot change environment"},
        {"getfenv of a native function", "return getfenv(print) == _G", "ok: true"},
        {"a reader returning no text", "return select(2, load(function() return {} end))",
         "reader function must return a string"},
        // Recursion ends in a Lua error, never in the native stack.
        {"__index calling itself", "local t = setmetatable({}, {__index = function(t, k) return t[k] end}) return t.x",
         "stack overflow"},
        // The runtime calls __tostring from tostring as a tail call: an endless loop, not a deep stack.
        {"__tostring calling tostring", "local t = setmetatable({}, {__tostring = function(x) return tostring(x) end}) "
                                        "return tostring(t)",
         "ran longer than"},
        {"__tostring printing itself", "local t = setmetatable({}, {}) "
                                       "getmetatable(t).__tostring = function(x) print(x) return '' end print(t)",
         "stack overflow"},
        {"gsub calling itself from its replacement",
         "local function f() return (string.gsub('x', '.', f)) end return select(2, pcall(f))",
         "C stack overflow"},
        {"gsub calling itself through a table's __index",
         "local t t = setmetatable({}, {__index = function(_, k) return (string.gsub(k, '.', t)) end}) "
         "return select(2, pcall(string.gsub, 'x', '.', t))",
         "C stack overflow"},
        {"coroutines wrapping themselves", "local function f() return coroutine.wrap(f)() end return f()",
         "C stack overflow"},
        {"coroutines resuming themselves",
         "local function f() local ok, e = coroutine.resume(coroutine.create(f)) error(e, 0) end f()",
         "C stack overflow"},
        // Memory: the state's cap.
        {"string.rep", "return #string.rep('x', 2 ^ 30)", "not enough memory"},
        {"a growing table", "local t = {} for i = 1, 1e9 do t[i] = i end", "not enough memory"},
        {"table.concat", "local t = {} for i = 1, 100 do t[i] = string.rep('y', 1e6) end return #table.concat(t)",
         "not enough memory"},
        {"the collector stopped", "collectgarbage('stop') local piece, s = string.rep('x', 65536), '' "
                                  "for i = 1, 1e6 do s = s .. piece end",
         "not enough memory"},
        // Time: the call's budget, whatever the script does about it.
        {"an endless loop", "while true do end", "'escape' ran longer than 0.2 s and was stopped"},
        {"an endless loop under pcall", "while true do pcall(function() while true do end end) end",
         "ran longer than"},
        {"an endless message handler", "xpcall(function() while true do end end, function() while true do end end)",
         "ran longer than"},
        {"a handler looping after a plain error",
         "xpcall(function() error('x') end, function() while true do end end) return 'went on'", "ran longer than"},
        {"an endless coroutine", "coroutine.wrap(function() while true do end end)()", "ran longer than"},
        {"an endless gsub callback", "string.gsub('aaa', 'a', function() while true do end end)", "ran longer than"},
        {"an endless sort comparator", "table.sort({3, 2, 1}, function() while true do end end)", "ran longer than"},
        {"a pattern slow to fail", "return string.find(string.rep('a', 1e5), string.rep('.-', 10) .. 'b')",
         "ran longer than"},
        {"a pattern with a huge set", "return string.find(string.rep('b', 1e5), '[' .. string.rep('a', 2 ^ 22) .. ']')",
         "ran longer than"},
        {"a huge frontier set", "return string.find(string.rep('b', 1e5), '%f[' .. string.rep('a', 2 ^ 22) .. ']')",
         "ran longer than"},
        {"a loop of long sorts",
         "local t = {} for i = 1, 2e5 do t[i] = (i * 7919) % 2e5 end for i = 1, 1e6 do table.sort(t) end",
         "ran longer than"},
        {"a plain search slow to fail",
         "local s = string.rep('a', 3e7) return s:find(string.rep('a', 1e5) .. 'b', 1, true)", "ran longer than"},
        {"a loop with the trace on", "Lua:enableStackTraceFile('trace.txt', false) while true do end",
         "ran longer than"},
        {"a pattern stop swallowed by pcall",
         "pcall(string.find, string.rep('a', 3000), '.-.-.-.-b') return 'went on'", "ran longer than"},
        {"a long sleep", "require('socket').sleep(4)", "ran longer than"},
        {"an endless sleep", "require('socket').sleep(1e9)", "ran longer than"},
        {"sleeps in a swallowing loop", "while true do pcall(require('socket').sleep, 0.05) end", "ran longer than"},
        {"an endless select", "require('socket').select(nil, nil, 1e9)", "ran longer than"},
        {"an accept waiting long",
         "local s = require('socket').tcp() s:bind('127.0.0.1', 0) s:listen(1) s:settimeout(4) return s:accept()",
         "ran longer than"},
        {"a receive with no time-out",
         "local socket = require('socket') local s = socket.tcp() s:bind('127.0.0.1', 0) s:listen(1) "
         "local c = socket.tcp() c:connect(s:getsockname()) local a = s:accept() a:settimeout(-1) return a:receive()",
         "ran longer than"},
        {"debug.sethook", "debug.sethook(function() end, '', 0)", "attempt to call field 'sethook'"},
        // The network: the guard still holds.
        {"connect outside", "return select(2, require('socket').connect('8.8.8.8', 53))", "connect restricted"},
    };
}

TEST_F(SandboxEscape, EveryRoadOutEndsInARefusal)
{
    const InWorkingFolder folder;  // relative paths a row might write land here
    const std::filesystem::path outside = tempPath("outside");
    std::filesystem::remove_all(outside);
    std::filesystem::create_directories(outside);
    const std::string fifoPath = (outside / "fifo").string();
    ASSERT_EQ(mkfifo(fifoPath.c_str(), 0600), 0);
    const ScopedSettings settings;
    Settings::socketEnabled = true;
    const ScopedLuaLimits limits(kCallSeconds, 2 * kCallSeconds, kMemoryBytes);

    for (const Escape& escape : escapes((outside / "?").string())) {
        SCOPED_TRACE(escape.name);
        // Only the cap may end a memory row: a sanitizer build on a busy machine is slow to reach it.
        const bool memoryRow = escape.expected == "not enough memory";
        const ScopedLuaLimits rowLimits(memoryRow ? 30.0 : kCallSeconds, 2 * kCallSeconds, kMemoryBytes);
        freshState();
        const auto start = std::chrono::steady_clock::now();
        const std::string result = outcome(escape.code);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_NE(result.find(escape.expected), std::string::npos) << result;
        EXPECT_LT(seconds, memoryRow ? 15.0 : 3.0);
        EXPECT_EQ(fs.takeCalls(), escape.hostCalls);
        const Strings lines = warnings();
        if (escape.warning.empty()) {
            EXPECT_TRUE(lines.empty()) << lines.front();
        } else {
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_NE(lines[0].find(escape.warning), std::string::npos) << lines[0];
        }
        // The state is still usable.
        EXPECT_EQ(outcome("return 1 + 1"), "ok: 2");
    }
    // Nothing was made, changed or removed outside the host's files, the one trace file aside.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(outside), {}), 1);
    for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
        EXPECT_EQ(entry.path().filename(), "trace.txt");
    EXPECT_TRUE(fs.files.empty());
    std::filesystem::remove_all(outside);
}

// A file that runs itself through Lua:exec nests on the C stack: the nesting ends in a Lua error
// at a bounded depth, the outer levels go on, and nothing crashes.
TEST_F(SandboxEscape, AFileThatExecsItselfEndsInAnError)
{
    freshState();
    fs.files["self.lua"] = "depth = (depth or 0) + 1 Lua:exec('self.lua')";
    EXPECT_EQ(outcome("Lua:exec('self.lua') return depth"), "ok: 200");
    EXPECT_EQ(sink.matching("S0|*** FATAL LUA ERROR: C stack overflow").size(), 1u);
    EXPECT_EQ(outcome("return 'alive'"), "ok: alive");
}

// The standard input (here a pipe nothing more is written to) is waited on for at most the
// call's time; what is there is read as before.
TEST_F(SandboxEscape, WaitsOnTheStandardInputEndWithTheCallsTime)
{
    const ScopedLuaLimits limits(kCallSeconds, 2 * kCallSeconds, kMemoryBytes);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const int savedInput = dup(STDIN_FILENO);
    ASSERT_EQ(dup2(pipeEnds[0], STDIN_FILENO), STDIN_FILENO);
    ASSERT_EQ(write(pipeEnds[1], "first\nsecond\n", 13), 13);
    freshState();
    EXPECT_EQ(outcome("return io.read() .. io.read('*l')"), "ok: firstsecond");
    for (const char* code : {"return io.read()", "for line in io.lines() do end", "return loadfile()",
                             "return io.read('*a')", "return io.stdin:read(5)"}) {
        SCOPED_TRACE(code);
        freshState();
        const auto start = std::chrono::steady_clock::now();
        const std::string result = outcome(code);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0);
        EXPECT_NE(result.find("'escape' ran longer than 0.2 s and was stopped"), std::string::npos) << result;
        EXPECT_EQ(outcome("return 'alive'"), "ok: alive");
    }
    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
}

// io files and the host's file handles share one cap per state; what a script drops is closed
// by the collector and leaves room.
TEST_F(SandboxEscape, OpenFilesShareOneCapPerState)
{
    freshState();
    EXPECT_EQ(outcome("held = {} for i = 1, 70 do held[i] = io.open('f' .. i, 'w') or select(2, io.open('f' .. i, 'w')) "
                      "end return io.type(held[64]) .. ' ' .. held[65] .. ' ' .. #held"),
              "ok: file f65: too many open files 70");
    // Repeats of one line are logged once.
    EXPECT_EQ(sink.matching("*** io.open: no room for more than 64 open files, refused").size(), 1u);
    EXPECT_EQ(outcome("return tostring(FS:openFile('g', 'w'))"), "ok: nil");
    EXPECT_NE(outcome("for l in io.lines('f1') do end").find("f1: too many open files"), std::string::npos);
    // Closing one makes room for one, through either road.
    EXPECT_EQ(outcome("held[1]:close() return io.type(FS:openFile('g', 'w')) == nil and 'host file'"),
              "ok: host file");
    EXPECT_EQ(outcome("held = nil collectgarbage() for i = 1, 200 do assert(io.open('d' .. i, 'w')) end "
                      "return 'dropped files closed'"),
              "ok: dropped files closed");
    size_t open = 0;
    for (const auto& file : fs.opened)
        open += file->closed ? 0 : 1;
    EXPECT_LE(open, 64u);
}

// Sockets hold kernel buffers outside the memory cap: a state holds a bounded number, made by
// any constructor or by accept; closed and dropped ones leave room.
TEST_F(SandboxEscape, OpenSocketsAreCappedPerState)
{
    const ScopedSettings settings;
    Settings::socketEnabled = true;
    const ScopedLuaLimits limits(kCallSeconds, 2 * kCallSeconds, kMemoryBytes);
    luaLimits().openSockets = 8;
    freshState();
    EXPECT_EQ(outcome("socket = require('socket') held = {} "
                      "for i = 1, 10 do held[i] = socket.tcp() or select(2, socket.udp()) end "
                      "return type(held[8]) .. ' ' .. held[9] .. ' ' .. held[10]"),
              "ok: userdata too many open sockets too many open sockets");
    EXPECT_FALSE(sink.matching("*** socket.udp: no room for more than 8 open sockets, refused").empty());
    // Three closed: a listening server, a client and the accepted end fill the cap again.
    EXPECT_EQ(outcome("for i = 1, 3 do held[i]:close() end "
                      "server = socket.tcp() server:bind('127.0.0.1', 0) server:listen(4) server:settimeout(0.1) "
                      "ip, port = server:getsockname() client = socket.connect(ip, port) accepted = server:accept() "
                      "local other, why = socket.connect(ip, port) "
                      "return type(client) .. ' ' .. type(accepted) .. ' ' .. why"),
              "ok: userdata userdata too many open sockets");
    EXPECT_EQ(outcome("return tostring((socket.tcp())) .. ' ' .. select(2, server:accept())"),
              "ok: nil too many open sockets");
    // Dropped sockets are closed by the collector and make room.
    EXPECT_EQ(outcome("held, server, client, accepted = nil collectgarbage() "
                      "for i = 1, 8 do held = held or {} held[i] = assert(socket.udp()) end return #held"),
              "ok: 8");
}

// A finalizer's error (a native module's, say: scripts cannot make finalizers) is logged with
// the state's name at the next collection, and nothing panics.
TEST_F(SandboxEscape, AFinalizersErrorIsLoggedAtTheCollection)
{
    freshState();
    lua_State* L = lua->state();
    lua_newuserdata(L, 8);
    lua_newtable(L);
    lua_pushcfunction(L, [](lua_State* S) { return luaL_error(S, "finalizer failed"); });
    lua_setfield(L, -2, "__gc");
    lua_setmetatable(L, -2);
    lua_pop(L, 1);
    for (int frame = 0; frame < 1000 && sink.lines.empty(); ++frame)
        lua->updateCore();
    ASSERT_FALSE(sink.lines.empty());
    EXPECT_EQ(sink.lines[0].level, LOG_ERROR);
    EXPECT_EQ(sink.lines[0].text, "S0|*** LUA ERROR in a finalizer: finalizer failed");
    EXPECT_EQ(outcome("return 'alive'"), "ok: alive");
}

// The cap is each state's own: a full state fails alone, the host's calls into it fail as Lua
// errors, and what a failed call held is collected before the next one.
TEST_F(SandboxEscape, MemoryCapIsEachStatesOwn)
{
    const ScopedLuaLimits limits(1.0, 2.0, kMemoryBytes);
    freshState();
    Lua other("S1");
    other.initialize(nullptr, nullptr);
    const auto chunk = [](Lua& state, const std::string& code, std::string* result = nullptr) {
        return state.executeChunk(code.data(), code.size(), "engine", result);
    };
    const std::string hoard = "for i = 1, 1e9 do hoard[i] = string.rep('z', 1000) .. i end";

    EXPECT_EQ(outcome("local hoard = {} " + hoard), "error: not enough memory");
    EXPECT_EQ(outcome("return #string.rep('x', 2 ^ 24)"), "ok: 16777216");

    // Kept in a global, the hoard fills the state for good.
    EXPECT_EQ(outcome("hoard = {} " + hoard), "error: not enough memory");
    EXPECT_GT(lua->getMemoryUsageKB(), int(kMemoryBytes / 1024 * 9 / 10));
    for (int frame = 0; frame < 10; ++frame)
        lua->updateCore();
    EXPECT_EQ(chunk(*lua, "more = string.rep('q', 2 ^ 24)"), 1);
    EXPECT_FALSE(sink.matching("S0|*** FATAL LUA ERROR: not enough memory").empty());
    // Another state is not touched by it.
    std::string result;
    EXPECT_EQ(chunk(other, "return #string.rep('w', 2 ^ 24)", &result), 0);
    EXPECT_EQ(result, "16777216");
}

} // namespace
} // namespace VadiZov::testing
