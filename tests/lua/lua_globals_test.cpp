// The global functions every state gets, and the colour helpers of the wrapper.
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>

#include "base/blog.h"
#include "lua/blua.h"
#include "tests/support/lua_test_support.h"

namespace VadiZov::testing {
namespace {

class LuaGlobalsTest : public LuaTest {
protected:
    void SetUp() override
    {
        LuaTest::SetUp();
        lua = std::make_unique<Lua>("S0");
        lua->initialize(nullptr, nullptr);
        sink.lines.clear();
    }

    std::string run(const std::string& code) { return runProtected(*lua, code); }

    std::unique_ptr<Lua> lua;
};

TEST_F(LuaGlobalsTest, LogFunctionsForwardTheTextUnchangedAtTheirLevel)
{
    struct Case {
        const char* code;
        int level;
        const char* text;
        bool newline;
    };
    const Case cases[] = {
        {"logInfo('info %s %d')", 1, "info %s %d", true}, {"logWarn('warn')", 2, "warn", true},
        {"logError('error')", 3, "error", true},          {"logAlways('always')", 4, "always", true},
        {"logAlwaysNoNewline('partial')", 4, "partial", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        sink.lines.clear();
        resetLogStateForTests();
        ASSERT_EQ(run(c.code), "");
        ASSERT_EQ(sink.lines.size(), 1u);
        EXPECT_EQ(sink.lines[0].level, c.level);
        EXPECT_EQ(sink.lines[0].text, c.text);
        EXPECT_EQ(sink.lines[0].newline, c.newline);
    }
}

TEST_F(LuaGlobalsTest, LogDebugNeverLogsAndSetLogLevelZeroKeepsTheLevel)
{
    ASSERT_EQ(run("logDebug('hidden') setLogLevel(3) logInfo('below') setLogLevel(0) logInfo('still below')"), "");
    EXPECT_TRUE(sink.lines.empty());
    EXPECT_EQ(getLogLevel(), 3);
    ASSERT_EQ(run("setLogLevel(1) logInfo('shown') logDebug('hidden')"), "");
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"shown"});
}

TEST_F(LuaGlobalsTest, NilTextArgumentsAreTreatedAsEmpty)
{
    ASSERT_EQ(run("logInfo(nil)"), "");
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(sink.lines[0].text, "");

    sink.lines.clear();
    resetLogStateForTests();
    ASSERT_EQ(run("assert(Lua:exec(nil) == -2)"), "");
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"S0|cannot open file '': not existing"});

    sink.lines.clear();
    resetLogStateForTests();
    ASSERT_EQ(run("Lua:enableStackTraceFile(nil, false)"), "");
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"S0|unable to open lua stack log for writing: "});

    ASSERT_EQ(run("assert(dumpTableToFile({}, nil) == false)"), "");
}

TEST_F(LuaGlobalsTest, HexdumpOfNilWritesNothingAndOtherDataIsRefused)
{
    ASSERT_EQ(run("hexdump(nil, 64)"), "");
    EXPECT_TRUE(sink.lines.empty());
    EXPECT_NE(run("hexdump('bytes', 5)").find("unregistered class expected, got string"), std::string::npos);
}

TEST_F(LuaGlobalsTest, BenchDoesNothing)
{
    ASSERT_EQ(run("assert(select('#', bench()) == 0)"), "");
    EXPECT_TRUE(sink.lines.empty());
}

TEST_F(LuaGlobalsTest, DumpTableToFileWritesTheFramedTable)
{
    const InWorkingFolder folder;
    const std::string path = "table.txt";
    ASSERT_EQ(run("t = {name = 'car', count = 3, flags = {true, false}, quote = 'a\"b'}\n"
                  "t.self = t\n"  // a cycle must not hang the dump
                  "assert(dumpTableToFile(t, '" + path + "') == true)"),
              "");
    const std::string text = readWholeFile(path);
    const std::string header = "// automatically dumped via coreLua dumpTableToFile: " + path + "\n{\n";
    ASSERT_EQ(text.rfind(header, 0), 0u) << text;
    EXPECT_EQ(text.substr(text.size() - 2), "}\n");
    EXPECT_NE(text.find("[\"name\"] = \"car\","), std::string::npos) << text;
    EXPECT_NE(text.find("[\"count\"] = 3,"), std::string::npos) << text;
    EXPECT_NE(text.find("[1] = true,"), std::string::npos) << text;
    EXPECT_NE(text.find("[\"quote\"] = \"a\\\"b\","), std::string::npos) << text;
    EXPECT_NE(text.find("-- cycle"), std::string::npos) << text;
}

// The two files scripts name are written below the working directory only, never through a link
// and never into a FIFO or folder; each refusal is logged with its cause.
TEST_F(LuaGlobalsTest, ScriptNamedFilesStayBelowTheWorkingDirectory)
{
    const InWorkingFolder folder;
    const std::string outside = folder.path() + "-outside.txt";
    std::ofstream(outside) << "kept";
    std::filesystem::create_symlink(outside, "link.txt");
    std::filesystem::create_directory("sub");
    ASSERT_EQ(mkfifo("fifo", 0600), 0);
    const struct {
        std::string path;
        const char* cause;
    } cases[] = {
        {outside, "leaves the directory it must stay below"},
        {"../escaped.txt", "leaves the directory it must stay below"},
        {"sub/../../escaped.txt", "leaves the directory it must stay below"},
        {"link.txt", "is a symbolic link"},
        {"fifo", "is not a regular file"},
        {"sub", "is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        sink.lines.clear();
        ASSERT_EQ(run("assert(dumpTableToFile({1}, '" + c.path + "') == false)"), "");
        ASSERT_EQ(run("Lua:enableStackTraceFile('" + c.path + "', false)"), "");
        EXPECT_EQ(sink.texts(),
                  (std::vector<std::string>{"dumpTableToFile: cannot write '" + c.path + "': it " + c.cause,
                                            "S0|unable to open lua stack log for writing: " + c.path}));
    }
    EXPECT_EQ(readWholeFile(outside), "kept");
    EXPECT_FALSE(std::filesystem::exists(folder.path() + "/../escaped.txt"));
    std::filesystem::remove(outside);

    // Below the folder, new files are written as before.
    ASSERT_EQ(run("assert(dumpTableToFile({1}, 'sub/dump.txt') == true) Lua:enableStackTraceFile('sub/trace.txt', false)"),
              "");
    ASSERT_EQ(run("Lua:enableStackTraceFile('sub/closer.txt', false)"), "");  // closes the trace
    EXPECT_NE(readWholeFile("sub/dump.txt").find("[1] = 1,"), std::string::npos);
    EXPECT_EQ(readWholeFile("sub/trace.txt").rfind("Lua stack trace start\n", 0), 0u);
}

// An existing file is replaced only when it is the same function's earlier output, so a
// script cannot rewrite an input (its own script, a mesh) that happens to lie below the folder.
TEST_F(LuaGlobalsTest, ScriptNamedFilesReplaceOnlyTheirOwnEarlierOutput)
{
    const InWorkingFolder folder;
    const struct {
        const char* name;
        const char* content;
    } inputs[] = {
        {"main.lua", "print('input')\n"},
        {"empty.lua", ""},
        {"mesh.obj", "v 0 0 0\n"},
        {"other_dump.txt", "Lua stack trace start\n"},  // a trace is no dump
        {"other_trace.txt", "// automatically dumped via coreLua dumpTableToFile: x\n"},
        {"short.txt", "Lua stack"},
    };
    for (const auto& input : inputs)
        std::ofstream(input.name) << input.content;
    const auto dumpRefused = [](const std::string& path) {
        return "dumpTableToFile: cannot write '" + path + "': it is a file this call did not write";
    };
    for (const std::string path : {"main.lua", "empty.lua", "mesh.obj", "other_dump.txt", "short.txt"}) {
        SCOPED_TRACE(path);
        sink.lines.clear();
        ASSERT_EQ(run("assert(dumpTableToFile({1}, '" + path + "') == false)"), "");
        EXPECT_EQ(sink.texts(), std::vector<std::string>{dumpRefused(path)});
    }
    for (const std::string path : {"main.lua", "empty.lua", "mesh.obj", "other_trace.txt", "short.txt"}) {
        SCOPED_TRACE(path);
        sink.lines.clear();
        ASSERT_EQ(run("Lua:enableStackTraceFile('" + path + "', false)"), "");
        EXPECT_EQ(sink.texts(), std::vector<std::string>{"S0|unable to open lua stack log for writing: " + path});
    }
    for (const auto& input : inputs)
        EXPECT_EQ(readWholeFile(input.name), input.content) << input.name;

    // Their own earlier output is replaced, as often as asked.
    ASSERT_EQ(run("assert(dumpTableToFile({1}, 'other_trace.txt'))"), "");
    ASSERT_EQ(run("assert(dumpTableToFile({'again'}, 'other_trace.txt'))"), "");
    EXPECT_NE(readWholeFile("other_trace.txt").find("[1] = \"again\","), std::string::npos);
    EXPECT_EQ(readWholeFile("other_trace.txt").find("[1] = 1,"), std::string::npos);
    ASSERT_EQ(run("Lua:enableStackTraceFile('other_dump.txt', false) Lua:enableStackTraceFile('other_dump.txt', false)"),
              "");
    ASSERT_EQ(run("Lua:enableStackTraceFile('closer.txt', false)"), "");
    EXPECT_EQ(readWholeFile("other_dump.txt").rfind("Lua stack trace start\n", 0), 0u);

    // An earlier dump with a second name is still refused: the other name may be an input.
    std::filesystem::create_hard_link("other_trace.txt", "second_name.txt");
    sink.lines.clear();
    ASSERT_EQ(run("assert(dumpTableToFile({1}, 'other_trace.txt') == false)"), "");
    EXPECT_EQ(sink.texts(), std::vector<std::string>{"dumpTableToFile: cannot write 'other_trace.txt': it is a hard "
                                                     "link: the file has another name"});
}

TEST_F(LuaGlobalsTest, DumpTableToFileReleasesTheTableEvenWhenTheFileCannotBeCreated)
{
    ASSERT_EQ(run(R"(
        local watch = setmetatable({}, {__mode = 'k'})
        local t = {1, 2, 3}
        watch[t] = true
        assert(dumpTableToFile(t, '/nonexistent-dir/out.txt') == false)
        t = nil
        collectgarbage() collectgarbage()
        assert(next(watch) == nil, 'the table is still referenced')
    )"),
              "");
    EXPECT_NE(run("dumpTableToFile(5, 'x')").find("table expected, got number"), std::string::npos);
}

TEST_F(LuaGlobalsTest, ColourTextConversions)
{
    EXPECT_EQ(lua->colorToHex(color{255, 128, 0, 7}), "FF8000");
    struct Case {
        const char* text;
        color expected;
    };
    const Case cases[] = {
        {"#FF8000", {255, 128, 0, 255}},
        {"#zz", {0, 0, 0, 255}},
        {"#0a0B0c", {10, 11, 12, 255}},
        {nullptr, {0, 0, 0, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text ? c.text : "null");
        const color got = lua->colorFromHex(c.text);
        EXPECT_EQ(got.r, c.expected.r);
        EXPECT_EQ(got.g, c.expected.g);
        EXPECT_EQ(got.b, c.expected.b);
        EXPECT_EQ(got.a, c.expected.a);
    }
}

TEST_F(LuaGlobalsTest, Float3ToVector3NeedsAFloat3)
{
    EXPECT_NE(run("float3_2_Vector3(nil)").find("nil passed to reference"), std::string::npos);
    EXPECT_NE(run("float3_2_Vector3(5)").find(" expected, got number"), std::string::npos);
}

} // namespace
} // namespace VadiZov::testing
