// Settings changed by one script reach every other state and the frame step; the socket library
// switch decides only for states created after the change.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "lua/blua.h"
#include "base/bsettings.h"
#include "tests/support/objects_test_support.h"

using namespace VadiZov;
using namespace VadiZov::testing;

namespace {

class EngineSettings : public EngineTest {
protected:
    void SetUp() override
    {
        Settings::socketEnabled = true;  // the system state opens the socket library
        Settings::max_step = 80;
        EngineTest::SetUp();
    }
    std::string runSystem(const std::string& code)
    {
        std::string result;
        EXPECT_EQ(engine->systemLua()->executeChunk(code.data(), code.size(), "test", &result), 0) << code;
        return result;
    }
    std::string runObject(BeamObjectImpl* object, const std::string& code)
    {
        std::string result;
        EXPECT_EQ(object->lua().executeChunk(code.data(), code.size(), "test", &result), 0) << code;
        return result;
    }
};

TEST_F(EngineSettings, MaxStepSetByOneScriptLimitsTheFrameStepAndIsSeenByOtherStates)
{
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    char text[128];
    engine->update(0.02f);  // 40 substeps at 2000 per second, below the limit of 80
    ASSERT_GT(engine->getStatusText(1, text, sizeof text, nullptr), 0);
    EXPECT_NE(std::strstr(text, ", 40 steps"), nullptr) << text;

    runSystem("Settings.max_step = 10");
    EXPECT_EQ(Settings::max_step, 10);
    EXPECT_EQ(runObject(object, "return Settings.max_step"), "10");
    engine->update(0.02f);  // 40 counted, 10 run
    ASSERT_GT(engine->getStatusText(1, text, sizeof text, nullptr), 0);
    EXPECT_NE(std::strstr(text, ", 10 steps"), nullptr) << text;
}

TEST_F(EngineSettings, SocketSwitchAppliesToStatesCreatedAfterIt)
{
    const std::string probe = "return type(package.loaded['socket.core'])";
    ASSERT_EQ(runSystem(probe), "table");
    runSystem("Settings.socketEnabled = false");
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(runObject(object, probe), "nil");
    EXPECT_EQ(runSystem(probe), "table");  // the older state keeps its library
}

} // namespace
