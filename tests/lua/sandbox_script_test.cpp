// What a script of any Lua state can reach of files, streams, the environment and processes:
// only the host file system, the log and the process's standard input.
#include <gtest/gtest.h>

#include <clocale>

#include <cstdio>
#include <pthread.h>
#include <memory>
#include <string>
#include <vector>

#include "base/bglobals.h"
#include "base/blog.h"
#include "base/bsettings.h"
#include "lua/blua.h"
#include "tests/support/log_capture.h"
#include "tests/support/lua_test_support.h"
#include "tests/support/stored_file_system.h"
#include "tests/support/scoped_settings.h"

namespace VadiZov::testing {
namespace {

using Strings = std::vector<std::string>;

class SandboxScriptTest : public LogCapture {
protected:
    void SetUp() override
    {
        LogCapture::SetUp();
        g_fileSystem = &fs;
        Settings::socketEnabled = false;
        lua = std::make_unique<Lua>("S0");
        lua->initialize(nullptr, nullptr);
        sink.lines.clear();
        fs.takeCalls();
    }
    void TearDown() override
    {
        lua.reset();
        g_fileSystem = nullptr;
        LogCapture::TearDown();
    }
    std::string run(const std::string& code) { return runProtected(*lua, code); }
    // The chunk's one result as text, or "error: " and the message.
    std::string eval(const std::string& code)
    {
        lua_State* L = lua->state();
        const LuaStackRestore restore(L);
        if (luaL_loadstring(L, code.c_str()) != 0 || lua_pcall(L, 0, 1, 0) != 0)
            return std::string("error: ") + lua_tostring(L, -1);
        lua_getglobal(L, "tostring");
        lua_insert(L, -2);
        lua_call(L, 1, 1);
        return lua_tostring(L, -1);
    }
    std::vector<std::pair<int, std::string>> logged() const
    {
        std::vector<std::pair<int, std::string>> out;
        for (const LogLine& line : sink.lines)
            out.emplace_back(line.level, line.text);
        return out;
    }

    StoredFileSystem fs;
    std::unique_ptr<Lua> lua;

private:
    ScopedSettings settings_;
};

using Logged = std::vector<std::pair<int, std::string>>;

TEST_F(SandboxScriptTest, PrintAndStandardStreamsReachTheLogInPieces)
{
    ASSERT_EQ(run("print('a', 'b')"), "");
    EXPECT_EQ(logged(), (Logged{{4, "a"}, {4, "\t"}, {4, "b"}, {4, "\n"}}));
    for (const LogLine& line : sink.lines)
        EXPECT_FALSE(line.newline);

    sink.lines.clear();
    ASSERT_EQ(run("print(1.5, nil, true)"), "");
    EXPECT_EQ(logged(), (Logged{{4, "1.5"}, {4, "\t"}, {4, "nil"}, {4, "\t"}, {4, "true"}, {4, "\n"}}));

    // io.write reports success for what it logged, and returns its file for chaining.
    sink.lines.clear();
    ASSERT_EQ(run("assert(io.write('x', 5) == io.stdout)\n"
                  "assert(io.stderr:write('bad') == io.stderr)\n"
                  "assert(io.stdout:write('y'):write('z'))"),
              "");
    EXPECT_EQ(logged(), (Logged{{4, "x"}, {4, "5"}, {3, "bad"}, {4, "y"}, {4, "z"}}));
    EXPECT_EQ(eval("return select('#', print())"), "0");
}

TEST_F(SandboxScriptTest, FilesComeOnlyFromTheHostFileSystem)
{
    EXPECT_EQ(eval("local f, err = io.open('missing.txt') return tostring(f) .. ' ' .. err"),
              "nil missing.txt: cannot open file");
    EXPECT_EQ(fs.takeCalls(), Strings{"fileExists missing.txt"});

    ASSERT_EQ(run("local f = assert(io.open('out.txt', 'w'))\n"
                  "assert(f:write('first\\n', 2, '\\nthird') == f)\n"
                  "assert(f:close() == true)"),
              "");
    EXPECT_EQ(fs.files.at("out.txt"), "first\n2\nthird");
    EXPECT_EQ(fs.takeCalls(), (Strings{"openFile out.txt w", "write out.txt", "write out.txt", "write out.txt",
                                       "close out.txt"}));

    fs.files["data.txt"] = "alpha\nbeta\n12345gamma";
    EXPECT_EQ(eval("local f = io.open('data.txt')\n"
                   "local a, b = f:read('*l', '*L')\n"
                   "local c = f:read(3)\n"
                   "local rest = f:read('*a')\n"
                   "local atEnd, endAll = f:read('*l'), f:read('*a')\n"
                   "f:close()\n"
                   "return table.concat({a, b, c, rest, tostring(atEnd), '[' .. endAll .. ']'}, '|')"),
              "alpha|beta\n|123|45gamma|nil|[]");
    EXPECT_EQ(eval("local f = io.open('data.txt')\n"
                   "local at = f:seek('end')\n"
                   "local back = f:seek('set', 6)\n"
                   "local word = f:read(4)\n"
                   "local here = f:seek()\n"
                   "f:close()\n"
                   "return at .. ' ' .. back .. ' ' .. word .. ' ' .. here"),
              "21 6 beta 10");
    EXPECT_EQ(eval("local t = {} for l in io.lines('data.txt') do t[#t + 1] = l end return table.concat(t, ',')"),
              "alpha,beta,12345gamma");
    EXPECT_EQ(fs.takeCalls().back(), "close data.txt");  // io.lines closes at the end
    EXPECT_EQ(eval("local f = io.open('data.txt') local t = {}\n"
                   "for a, b in f:lines(1, '*l') do t[#t + 1] = a .. '+' .. b end\n"
                   "f:close() return table.concat(t, ',')"),
              "a+lpha,b+eta,1+2345gamma");
}

TEST_F(SandboxScriptTest, FileObjectsBehaveAsScriptsExpect)
{
    fs.files["data.txt"] = "one\ntwo\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"local f = io.open('data.txt') f:close() return io.type(f)", "closed file"},
        {"return io.type(io.open('data.txt'))", "file"},
        {"return tostring(io.type({})) .. tostring(io.type(nil))", "nilnil"},
        {"local f = io.open('data.txt') f:close() return select(2, pcall(f.read, f))", "attempt to use a closed file"},
        {"local f = io.open('data.txt') f:close() return select(2, pcall(f.close, f))", "attempt to use a closed file"},
        {"return select(2, io.stdout:close())", "cannot close standard file"},
        {"return select(2, io.close())", "cannot close standard file"},
        {"return select(2, pcall(io.open('data.txt').read, io.open('data.txt'), '*x'))",
         "bad argument #2 to '?' (invalid format)"},
        {"return select(2, pcall(io.lines, 'absent.txt'))", "absent.txt: cannot open file"},
        {"io.input('data.txt') return io.read() .. io.read('*l')", "onetwo"},
        {"io.output('made.txt') io.write('made') io.close() io.output(io.stdout) return 1", "1"},
        {"return io.open('data.txt'):setvbuf('full')", "true"},
    };
    for (const auto& [code, expected] : cases)
        EXPECT_EQ(eval(code), expected) << code;
    EXPECT_EQ(fs.files.at("made.txt"), "made");
}

// Arguments a hostile script may pass: each ends in a result or a Lua error, never in a read or
// write outside what the state owns (the sanitizer build runs these).
TEST_F(SandboxScriptTest, HostileArgumentsEndInResultsOrErrors)
{
    fs.files["data.txt"] = "one\ntwo\n";
    fs.files["long.txt"] = std::string(20000, 'x') + "\nend";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"return io.open('data.txt'):read(1e300)", "one\ntwo\n"},
        {"return #io.open('long.txt'):read('*l')", "20000"},
        {"return select(2, io.open('data.txt'):seek('set', -5))", "seek failed"},
        {"return pcall(io.open('data.txt').seek, io.open('data.txt'), 'bogus')", "false"},
        {"return pcall(io.open('data.txt').setvbuf, io.open('data.txt'), 'bad')", "false"},
        {"return pcall(io.write, {})", "false"},
        {"return pcall(io.input, 42)", "false"},
        {"return io.type(float3(1, 2, 3))", "nil"},
        {"local t = {} for i = 1, 300 do t[i] = '*l' end return select(2, pcall(io.lines, 'data.txt', unpack(t)))",
         "bad argument #252 to '?' (too many arguments)"},
        {"return select(2, pcall(print, setmetatable({}, { __tostring = function() return {} end })))",
         "'tostring' must return a string to 'print'"},
        {"return select(2, load(function() return {} end))", "reader function must return a string"},
        {"return pcall(io.open('data.txt').read, io.open('data.txt'), {})", "false"},
    };
    for (const auto& [code, expected] : cases)
        EXPECT_EQ(eval(code), expected) << code;
}

TEST_F(SandboxScriptTest, UnclosedFileIsClosedWhenCollected)
{
    fs.files["data.txt"] = "x";
    ASSERT_EQ(run("do local f = io.open('data.txt') end collectgarbage() collectgarbage()"), "");
    EXPECT_EQ(fs.takeCalls().back(), "close data.txt");
}

TEST_F(SandboxScriptTest, NumberAndEndProbesGoThroughTheUnimplementedFunctions)
{
    fs.files["n.txt"] = "42";
    EXPECT_EQ(eval("local f = io.open('n.txt') return tostring(f:read('*n'))"), "nil");
    EXPECT_EQ(logged(), (Logged{{2, "Lua used unimplemented function fscanf"}}));
    sink.lines.clear();
    EXPECT_EQ(eval("local f = io.open('n.txt') return '[' .. f:read(0) .. ']'"), "[]");
    EXPECT_EQ(logged(), (Logged{{2, "Lua used unimplemented function getc"}, {2, "Lua used unimplemented function ungetc"}}));
}

TEST_F(SandboxScriptTest, ProcessesAndFileChangesAreRefused)
{
    fs.files["keep.txt"] = "kept";
    struct Case {
        const char* code;
        const char* result;
        const char* warning;
    };
    const std::vector<Case> cases = {
        {"return io.popen('ls', 'r')", "nil", "Lua tried to open a process: ls (in mode r)"},
        {"return select(2, io.popen('ls -a'))", "ls -a: cannot open a process",
         "Lua tried to open a process: ls -a (in mode r)"},
        {"return io.tmpfile()", "nil", "Lua tried to open a tmpfile"},
        {"return os.execute('touch x')", "0", "Lua tried to execute system command: touch x"},
        {"return os.execute()", "0", "Lua tried to execute system command: NULL"},
        {"local ok, err = os.remove('keep.txt') return tostring(ok) .. ' ' .. err",
         "nil keep.txt: scripts cannot remove files", "Lua tried to remove a file: keep.txt"},
        {"local ok, err = os.rename('keep.txt', 'new.txt') return tostring(ok) .. ' ' .. err",
         "nil keep.txt: scripts cannot rename files", "Lua tried to rename a file: keep.txt to new.txt"},
        {"return select(2, pcall(os.tmpname))", "unable to generate a unique filename",
         "Lua tried to get a temp file name: NULL"},
    };
    for (const Case& c : cases) {
        sink.lines.clear();
        EXPECT_EQ(eval(c.code), c.result) << c.code;
        EXPECT_EQ(logged(), (Logged{{2, c.warning}})) << c.code;
    }
    EXPECT_EQ(fs.files, (std::map<std::string, std::string>{{"keep.txt", "kept"}}));
    EXPECT_EQ(eval("return tostring(os.getenv('PATH')) .. tostring(os.getenv('HOME'))"), "nilnil");
    EXPECT_EQ(eval("return type(os.time()) .. type(os.clock()) .. type(os.date('%Y'))"), "numbernumberstring");
}

// A script must not switch the process's locale under the library's number formatting.
TEST_F(SandboxScriptTest, LocaleStaysAsTheProcessHasIt)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"return os.setlocale()", "C"},
        {"return os.setlocale('C')", "C"},
        {"return os.setlocale('POSIX', 'numeric')", "C"},
        {"return tostring(os.setlocale(''))", "nil"},
        {"return tostring(os.setlocale('de_DE.UTF-8', 'numeric'))", "nil"},
        {"return select(2, pcall(os.setlocale, 'C', 'bogus')):match('invalid option') ~= nil", "true"},
        {"os.setlocale('de_DE.UTF-8') return tostring(1.5)", "1.5"},
    };
    for (const auto& [code, result] : cases)
        EXPECT_EQ(eval(code), result) << code;
    EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C");
}

TEST_F(SandboxScriptTest, CodeLoadsFromTheHostFileSystem)
{
    fs.files["lib.lua"] = "#!shebang line is skipped\nlocal n = ... return (n or 0) + 41";
    fs.files["./mods/util.lua"] = "return { name = ... }";
    fs.files["broken.lua"] = "return (";
    fs.files["./broken.lua"] = "return (";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"return loadfile('lib.lua')(1)", "42"},
        {"return dofile('lib.lua')", "41"},
        {"local f, err = loadfile('missing.lua') return tostring(f) .. ' ' .. err", "nil cannot open missing.lua"},
        {"return select(2, pcall(dofile, 'missing.lua'))", "cannot open missing.lua"},
        {"return select(2, loadfile('broken.lua'))", "broken.lua:1: unexpected symbol near '<eof>'"},
        {"return loadfile('lib.lua', 't', { })(2)", "43"},
        {"return require('mods.util').name", "mods.util"},
        {"return require('mods.util') == package.loaded['mods.util']", "true"},
        {"return (select(2, pcall(require, 'absent')):find(\"no file './absent.lua'\", 1, true) ~= nil)", "true"},
        {"return select(2, pcall(require, 'broken')):match('^error loading module .broken. from file ..%/broken%.lua.')",
         "error loading module 'broken' from file './broken.lua'"},
        {"return load('return 5', 'five', 'b')()", "5"},
        {"return load('return x', 'env', 't', { x = 3 })()", "3"},
        {"return loadstring('return 6')()", "6"},
        {"local parts = { 'return ', '7' } return load(function() return table.remove(parts, 1) end)()", "7"},
    };
    for (const auto& [code, expected] : cases)
        EXPECT_EQ(eval(code), expected) << code;
    const Strings calls = fs.takeCalls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "fileExists ./mods/util.lua"), calls.end());
    EXPECT_EQ(std::find(calls.begin(), calls.end(), "fileExists ./mods/util.so"), calls.end());
}

TEST_F(SandboxScriptTest, BinaryChunksAreRefusedOnEveryPath)
{
    lua_State* L = lua->state();
    ASSERT_EQ(luaL_loadstring(L, "return 99"), 0);
    ASSERT_EQ(run("bytecode = string.dump(loadstring('return 99'))"), "");
    lua_pop(L, 1);
    lua_getglobal(L, "bytecode");
    size_t length = 0;
    const char* bytes = lua_tolstring(L, -1, &length);
    const std::string bytecode(bytes, length);
    lua_pop(L, 1);
    fs.files["bin.lua"] = bytecode;
    fs.files["./binmod.lua"] = bytecode;

    const std::vector<std::string> refusals = {
        "return select(2, load(bytecode))",
        "return select(2, load(bytecode, 'b', 'b'))",
        "return select(2, loadstring(bytecode))",
        "return select(2, loadfile('bin.lua'))",
        "return select(2, pcall(dofile, 'bin.lua'))",
        "return select(2, pcall(require, 'binmod'))",
    };
    for (const std::string& code : refusals)
        EXPECT_NE(eval(code).find("attempt to load chunk with wrong mode"), std::string::npos) << code;

    EXPECT_EQ(lua->exec("bin.lua"), 1);
    EXPECT_EQ(lua->executeChunk(bytecode.data(), bytecode.size(), "binary"), 1);
    EXPECT_FALSE(sink.matching("attempt to load chunk with wrong mode").empty());
}

TEST_F(SandboxScriptTest, FunctionsThatBypassTheSandboxAreWithheld)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"return package.loadlib", "nil"},
        {"return package.preload.ffi", "nil"},
        {"return package.loaded.ffi", "nil"},
        {"return pcall(require, 'ffi')", "false"},
        {"return #package.loaders", "2"},
        {"return debug.getregistry", "nil"},
        {"return debug.setmetatable", "nil"},
        {"return debug.setupvalue", "nil"},
        {"return debug.upvaluejoin", "nil"},
        {"return debug.setlocal", "nil"},
        {"return type(debug.traceback) .. type(debug.getinfo)", "functionfunction"},
        {"return debug.getinfo(1, 'S').source", "return debug.getinfo(1, 'S').source"},
        {"return package.loaded.io == io", "true"},
    };
    for (const auto& [code, expected] : cases)
        EXPECT_EQ(eval(code), expected) << code;
}

// The log sink of a child process: what the parent can read is the child's standard error.
class StderrSink final : public LogSink {
public:
    void log(int level, const char* text, bool newline) override
    {
        std::fprintf(stderr, "[%d] %s%s", level, text, newline ? "\n" : "");
    }
};

class SandboxProcessTest : public SandboxScriptTest {
protected:
    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        SandboxScriptTest::SetUp();
    }
    void useStderrSink()
    {
        static StderrSink childSink;
        g_logSink = &childSink;
    }
};

TEST_F(SandboxProcessTest, OsExitLogsAndEndsTheProcess)
{
    const std::vector<std::pair<std::string, int>> cases = {{"os.exit(5)", 5}, {"os.exit(false)", 1}, {"os.exit()", 0}};
    for (const auto& [code, status] : cases) {
        const std::string expected = "\\[3\\] Fatal Lua Error\\. Lua is exiting with error " + std::to_string(status);
        EXPECT_EXIT(
            {
                useStderrSink();
                run(code);
            },
            ::testing::ExitedWithCode(status), expected)
            << code;
    }
}

// Raises an error with no protected call and no C++ handler anywhere up the thread's stack, as
// in a host: the runtime can only give up.
void* raiseUnprotected(void* state)
{
    auto* L = static_cast<lua_State*>(state);
    lua_pushliteral(L, "outside any protected call");
    lua_error(L);
    return nullptr;
}

TEST_F(SandboxProcessTest, UnprotectedErrorEndsTheProcessThroughTheSandboxExit)
{
    EXPECT_EXIT(
        {
            useStderrSink();
            pthread_t thread;
            pthread_create(&thread, nullptr, raiseUnprotected, lua->state());
            pthread_join(thread, nullptr);
        },
        ::testing::ExitedWithCode(1), "Fatal Lua Error\\. Lua is exiting with error 1");
}

TEST_F(SandboxProcessTest, StandardInputIsTheProcessInput)
{
    const std::string input = tempPath("stdin.txt");
    {
        FILE* f = std::fopen(input.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs("first input line\nsecond\n", f);
        std::fclose(f);
    }
    EXPECT_EXIT(
        {
            useStderrSink();
            if (!std::freopen(input.c_str(), "r", stdin))
                std::_Exit(2);
            run("logInfo('read: ' .. io.read())");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "\\[1\\] read: first input line");
}

} // namespace
} // namespace VadiZov::testing
