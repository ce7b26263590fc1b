#include "lua_api_test_support.h"

#include "base/bglobals.h"
#include "base/bsettings.h"

namespace VadiZov::testing {

namespace {

void restoreSettings()
{
    Settings::fps = 2000.0f;
    Settings::fpsRealtime = 2000.0f;
    Settings::max_step = 80;
    Settings::gravity = -9.81f;
    Settings::debug = 0;
    Settings::spawnScale = 1.0f;
    Settings::socketEnabled = true;
}

} // namespace

void LuaApiTest::SetUp()
{
    LuaTest::SetUp();
    restoreSettings();
    // The socket library is not what these tests are about; its load warnings would only
    // crowd the recorded log.
    Settings::socketEnabled = false;
    g_savedTimeScale = 1.0f;
}

void LuaApiTest::TearDown()
{
    restoreSettings();
    g_gameEngine = nullptr;
    LuaTest::TearDown();
}

std::unique_ptr<Lua> LuaApiTest::makeState(const char* name, BeamObjectImpl* owner)
{
    auto lua = std::make_unique<Lua>(name);
    lua->initialize(owner, nullptr);
    return lua;
}

std::string LuaApiTest::eval(Lua& lua, const std::string& code)
{
    const std::string wrapped = "return tostring((function() " + code + "\nend)())";
    std::string result;
    EXPECT_EQ(lua.executeChunk(wrapped.c_str(), wrapped.size(), "test", &result), 0) << code;
    return result;
}

std::string LuaApiTest::errorOf(Lua& lua, const std::string& code)
{
    const std::string wrapped =
        "local ok, e = pcall(function() " + code + "\nend) if ok then return 'no error' end return tostring(e)";
    std::string result;
    EXPECT_EQ(lua.executeChunk(wrapped.c_str(), wrapped.size(), "test", &result), 0) << code;
    return result;
}

std::vector<LogLine> LuaApiTest::linesAtLevel(int level) const
{
    std::vector<LogLine> result;
    for (const LogLine& line : sink.lines)
        if (line.level == level)
            result.push_back(line);
    return result;
}

} // namespace VadiZov::testing
