// Loading an object from its directory: the object's init.lua or the default script, an init
// that fails, and the placement at the spawn rotation.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/support/objects_test_support.h"

using namespace VadiZov;
using namespace VadiZov::testing;

namespace {

using ObjectSpawn = EngineTest;

TEST_F(ObjectSpawn, MissingInitLuaRunsTheDefaultScriptWithTheDirectory)
{
    fs.addFile("lua/vehicle/default.lua", "function init(dir) logInfo('cb:default init ' .. dir) end");
    BeamObject* object = engine->addObject("nowhere", 0, 0, 0, 0, 0, 0, 1, &hostObject);
    ASSERT_NE(object, nullptr);
    EXPECT_NE(indexOf("cb:default init nowhere"), -1);
    // Every callback the default script lacks is warned about once, in the cached order.
    const std::vector<std::string> warnings = linesStartingWith("Lua function '");
    const std::vector<std::string> expected = {
        "Lua function 'graphicsStep' not found.",    "Lua function 'graphicsStepLocal' not found.",
        "Lua function 'physicsStep' not found.",     "Lua function 'beamBroken' not found.",
        "Lua function 'beamDeformed' not found.",    "Lua function 'vehicleResetted' not found.",
        "Lua function 'vehicleDestroy' not found.",  "Lua function 'particleEmitted' not found.",
        "Lua function 'activated' not found.",       "Lua function 'debugDraw' not found."};
    EXPECT_EQ(warnings, expected);
}

TEST_F(ObjectSpawn, AnInitErrorIsLoggedAndTheObjectIsStillPlaced)
{
    fs.addFile("obj/init.lua", "function init(dir) obj:setNode(-1, float3(0, 0, 0), 1, 0, 1, -1, false, false) "
                               "error('broken build') end");
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    bool logged = false;
    for (const LogLine& line : sink.lines)
        logged = logged || (line.level == LOG_ERROR && line.text.rfind("spawnVehicle: got exception: ", 0) == 0 &&
                            line.text.find("broken build") != std::string::npos);
    EXPECT_TRUE(logged);
    EXPECT_EQ(object->node_count, 1);
    EXPECT_FALSE(object->rotationChanged);  // the next update does not reset it
    EXPECT_TRUE(object->transformPending);
}

TEST_F(ObjectSpawn, SpawnPlacesTheNodesAtTheRotation)
{
    // 90 degrees about z: node 1 at (1, 0, 0) turns to (0, 1, 0) about node 0.
    const float s = std::sqrt(0.5f);
    BeamObject* object = engine->addObject("obj", 5, 6, 7, 0, 0, s, s, &hostObject);
    ASSERT_NE(object, nullptr);
    auto* impl = static_cast<BeamObjectImpl*>(object);
    EXPECT_NEAR(impl->nodes[1].pos.x, 0.0f, 1e-6f);
    EXPECT_NEAR(std::fabs(impl->nodes[1].pos.y), 1.0f, 1e-6f);
    EXPECT_EQ(impl->spawnOrigin.x, 5.0f);
}

} // namespace
