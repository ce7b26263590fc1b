// The library's string.find, match, gmatch and gsub against the runtime's own: the same results
// and the same error texts for a table of tricky patterns and for many random ones, and a stop
// by the time budget where the runtime's would run on.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "lua/blua.h"
#include "tests/support/lua_test_support.h"
#include "tests/support/scoped_lua_limits.h"

namespace VadiZov::testing {
namespace {

// Runs code in a state and gives every result (or the error) as one text. The position that
// errors carry is left out: it names the chunk, which is the same in both states.
std::string resultsOf(lua_State* L, const std::string& code)
{
    const int top = lua_gettop(L);
    std::string out;
    if (luaL_loadbuffer(L, code.data(), code.size(), "=case") != 0 || lua_pcall(L, 0, LUA_MULTRET, 0) != 0) {
        out = std::string("error: ") + (lua_tostring(L, -1) ? lua_tostring(L, -1) : "?");
    } else {
        for (int i = top + 1; i <= lua_gettop(L); ++i) {
            lua_getglobal(L, "tostring");
            lua_pushvalue(L, i);
            lua_call(L, 1, 1);
            out += std::string(lua_tostring(L, -1)) + "|";
            lua_pop(L, 1);
        }
    }
    lua_settop(L, top);
    return out;
}

// Calls of all four functions on one subject and pattern; gmatch and gsub results are joined.
std::string callsOf(const std::string& subject, const std::string& pattern)
{
    const std::string s = "[==[" + subject + "]==]";
    const std::string p = "[==[" + pattern + "]==]";
    return "local s, p = " + s + ", " + p + "\n"
           "local out = {}\n"
           "local function add(...) local n = select('#', ...) for i = 1, n do out[#out + 1] = tostring((select(i, ...))) end "
           "out[#out + 1] = '/' end\n"
           "add(pcall(string.find, s, p)) add(pcall(string.find, s, p, 3)) add(pcall(string.find, s, p, -4))\n"
           "add(pcall(string.find, s, p, 1, true))\n"
           "add(pcall(string.match, s, p)) add(pcall(string.match, s, p, 2))\n"
           "add(pcall(function() local r = {} for a, b in string.gmatch(s, p) do r[#r + 1] = tostring(a) .. ',' .. "
           "tostring(b) if #r > 50 then break end end return table.concat(r, ';') end))\n"
           "add(pcall(string.gsub, s, p, '<%0>'))\n"
           "add(pcall(string.gsub, s, p, '[%1]', 3))\n"
           "add(pcall(string.gsub, s, p, function(a, b) return b or a end))\n"
           "add(pcall(string.gsub, s, p, {a = 'A', ab = false}))\n"
           "return table.concat(out, ' ')";
}

class PatternConformance : public LuaTest {
protected:
    void SetUp() override
    {
        LuaTest::SetUp();
        runtime_ = luaL_newstate();
        luaL_openlibs(runtime_);
        lua = std::make_unique<Lua>("S0");
        lua->initialize(nullptr, nullptr);
    }
    void TearDown() override
    {
        lua.reset();
        lua_close(runtime_);
        LuaTest::TearDown();
    }
    void expectSame(const std::string& subject, const std::string& pattern)
    {
        const std::string code = callsOf(subject, pattern);
        EXPECT_EQ(resultsOf(lua->state(), code), resultsOf(runtime_, code)) << "subject " << subject << " pattern "
                                                                               << pattern;
    }

    lua_State* runtime_ = nullptr;  // the runtime's own string library
    std::unique_ptr<Lua> lua;
};

TEST_F(PatternConformance, TrickyPatternsGiveTheRuntimesResultsAndErrors)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"hello world", "o"},           {"hello world", "l+"},            {"hello world", "^h"},
        {"hello world", "^w"},          {"hello world", "d$"},            {"hello world", "o$x"},
        {"a.b.c", "."},                 {"a.b.c", "%."},                  {"a.b.c", "[.]"},
        {"key = value", "(%w+)%s*=%s*(%w+)"}, {"key = value", "()=()"},   {"aaa", "a-"},
        {"aaa", "a-$"},                 {"aaa", "a*"},                    {"aaa", "a?a?a?a?"},
        {"f(a(b)c)d", "%b()"},          {"f(a(b)c", "%b()"},              {"THE (quick) fox", "%f[%a]%a+"},
        {"abcabc", "(abc)%1"},          {"abcab", "(a)(b)%2"},            {"x", "%1"},
        {"x", "(()"},                   {"x", "x)"},                      {"x", "[a"},
        {"x", "%"},                     {"x", "%b"},                      {"x", "%f"},
        {"x", "%fx"},                   {"x", "(x"},                      {"", ""},
        {"", "^$"},                     {"abc", ""},                      {"abc", "()"},
        {"a1 B2 c3", "%u%d"},           {"a1 B2 c3", "%L%D"},             {"tab\there", "%s"},
        {"[x]", "[]]"},                 {"[x]", "[^]]+"},                 {"a-b", "[a-]"},
        {"a-b", "[%a-]+"},              {"0xFF", "%x+"},                  {"!?.,", "%p+"},
        {"\x01\x7f", "%c+"},            {"a\x80" "b", "[\x80-\xff]"},        {"aaab", "a-b"},
        {"one two  three", "%S+"},      {"x=1, y=2", "(%w)=(%w)"},        {"((()))", "%b()"},
        {"$$", "$"},                    {"a$b", "a$b"},                   {"a^b", "a^b"},
        {std::string(40, 'a'), std::string(40, 'a')},                     {std::string(300, 'a'), std::string(300, 'a') + "$"},
        {"abc", std::string(33, '(') + "a" + std::string(33, ')')},      {"abc", "%z"},
        {"abc", "[%z]"},                {"a b", "%f[%s]"},                {"end", "%f[%z]"},
    };
    for (const auto& [subject, pattern] : cases)
        expectSame(subject, pattern);
}

// Patterns built at random from the items the matcher knows, over texts of a few letters.
TEST_F(PatternConformance, RandomPatternsGiveTheRuntimesResults)
{
    const std::vector<std::string> items = {"a", "b", ".", "%a", "%d", "%s", "[ab]", "[^a]", "[a-c]", "%b()", "%f[a]",
                                            "(", ")", "()", "%1", "$", "^", "%", "[", "x", " "};
    const std::vector<std::string> quantifiers = {"", "", "", "*", "+", "-", "?"};
    const std::string letters = "aab b()1 x";
    uint32_t seed = 12345;
    const auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int round = 0; round < 1500; ++round) {
        std::string pattern, subject;
        for (uint32_t i = 0, n = 1 + next(5); i < n; ++i)
            pattern += items[next(uint32_t(items.size()))] + quantifiers[next(uint32_t(quantifiers.size()))];
        for (uint32_t i = 0, n = next(12); i < n; ++i)
            subject += letters[next(uint32_t(letters.size()))];
        expectSame(subject, pattern);
        if (HasFailure())
            return;
    }
}

// Where the runtime's matcher would run on for ages, the library's stops with the call's budget.
TEST_F(PatternConformance, SlowPatternsStopWithTheCallsBudget)
{
    const ScopedLuaLimits limits(0.2, 0.4, size_t(64) << 20);
    const char* const slow[] = {
        "return string.find(string.rep('a', 1e5), string.rep('.-', 10) .. 'b')",
        "return string.match(string.rep('a', 1e5), string.rep('a*', 12) .. 'b')",
        "return string.gsub(string.rep('a', 1e5), string.rep('%a?', 30) .. 'b', '')",
        "for x in string.gmatch(string.rep('(', 1e5), '%b()') do end",
        "return string.find(string.rep('a', 3e7), string.rep('a', 1e5) .. 'b', 1, true)",
    };
    for (const char* code : slow) {
        SCOPED_TRACE(code);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(lua->executeChunk(code, std::char_traits<char>::length(code), "slow"), 1);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 3.0);
        ASSERT_FALSE(sink.lines.empty());
        EXPECT_NE(sink.lines[0].text.find("'slow' ran longer than 0.2 s and was stopped"), std::string::npos)
            << sink.lines[0].text;
        sink.lines.clear();
    }
}

} // namespace
} // namespace VadiZov::testing
