// The object-wide queries scripts use while building and running an object: wheels, centre of
// gravity, beam statistics, beam lengths, attachment slots, persistent data and debug text.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "base/bsettings.h"
#include "object/bobject_beam_lengths.h"
#include "object/bobject_attachments.h"
#include "object/bobject_statistics.h"
#include "object/bobject_wheels.h"
#include "tests/support/objects_test_support.h"

using namespace VadiZov;
using namespace VadiZov::testing;

namespace {

using ObjectServices = EngineTest;

TEST_F(ObjectServices, WheelsAreNumberedAndCheckTheirIds)
{
    BeamObjectImpl* object = addObject();
    object->nodes[7].pos = float3(1.0f, 0.1f, 0.0f);  // nearer node 1 at (1, 0, 0)
    EXPECT_EQ(setWheel(*object, -1, 0, 1, 7).id(), 0);
    EXPECT_EQ(setWheel(*object, -1, 0, 1, -1).id(), 1);
    EXPECT_EQ(object->wheels[0].nearAxisToThird, &object->nodes[1]);
    EXPECT_EQ(object->wheels[1].thirdNode, nullptr);
    const int refused[][4] = {{40, 0, 1, 2}, {-2, 0, 1, 2}, {2, -1, 1, 2}, {2, 0, 2000, 2}};
    for (const auto& r : refused)
        EXPECT_EQ(setWheel(*object, r[0], r[1], r[2], r[3]).id(), -1) << r[0] << " " << r[1] << " " << r[2];
    EXPECT_EQ(object->wheel_count, 2);
    EXPECT_EQ(setWheel(*object, 5, 0, 1, -1).id(), 5);
    EXPECT_EQ(object->wheel_count, 6);
    EXPECT_NE(getWheel(*object, 5), nullptr);
    EXPECT_EQ(getWheel(*object, 6), nullptr);
    EXPECT_EQ(getWheel(*object, -1), nullptr);
    // Equal distances pick the second axis node.
    object->nodes[8].pos = float3(0.5f, 1.0f, 0.0f);
    setWheel(*object, 0, 0, 1, 8);
    EXPECT_EQ(object->wheels[0].nearAxisToThird, &object->nodes[1]);
}

// The centre of gravity is the mass-weighted mean of the world positions from the first call on:
// in init and in the first frame, before a substep has made the positions relative to the
// reference node, as well as later. The nodes keep their shape, so the centre stays 1.75 m
// ahead of the reference node (the script logs the centre less the reference node's position).
TEST_F(ObjectServices, CentreOfGravityIsRightBeforeAndAfterTheFirstSubstep)
{
    fs.addFile("obj/init.lua", R"(
      local function show(tag)
        local c = obj:calcCenterOfGravity(false)
        local r = obj:getPosition()
        logInfo(string.format('cog %s %.4f %.4f %.4f', tag, c.x, c.y, c.z))
        logInfo(string.format('ahead %s %.4f %.4f %.4f', tag, c.x - r.x, c.y - r.y, c.z - r.z))
      end
      function init(dir)
        obj:setReferenceNodes(1, 0, 2, -1, 0, 1)  -- named before the nodes exist
        obj:setNode(-1, float3(3, 0, 1), 1, 0, 1, -1, false, false)
        obj:setNode(-1, float3(2, 0, 1), 1, 0, 1, -1, false, false)
        obj:setNode(-1, float3(5, 0, 1), 2, 0, 1, -1, false, false)
        obj:finishLoading()
        show('init')
      end
      local frames = 0
      function graphicsStep(dt) frames = frames + 1 show(frames) end
    )");
    hostObject.position = float3(10.0f, 0.0f, 0.0f);
    Settings::gravity = 0.0f;  // the nodes keep their shape
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    for (int frame = 0; frame < 3; ++frame)
        engine->update(0.02f);
    engine->update(0.0f);
    Settings::gravity = -9.81f;
    // Built at the object's place (10, 0, 0): (3 + 2 + 2 x 5) / 4 = 3.75 along x, all at z 1.
    EXPECT_NE(indexOf("cog init 13.7500 0.0000 1.0000"), -1);
    const std::vector<std::string> ahead = linesStartingWith("ahead ");
    ASSERT_GE(ahead.size(), 4u);
    EXPECT_EQ(ahead[0], "ahead init 1.7500 0.0000 0.0000");
    for (size_t i = 1; i < ahead.size(); ++i)
        EXPECT_EQ(ahead[i], "ahead " + std::to_string(i) + " 1.7500 0.0000 0.0000");
    EXPECT_EQ(object->nodes[1].pos.x, 0.0f);  // the floating frame has moved onto the reference node
}

TEST_F(ObjectServices, CentreOfGravityAndStatistics)
{
    BeamObjectImpl* object = addObject();
    engine->update(0.0f);  // places the floating frame at the host object
    object->nodeProperties[1].mass = 30.0f;
    const float3 ref = object->nodes[object->refNode].worldPos;
    const float3 all = calcCenterOfGravity(*object, false);
    EXPECT_FLOAT_EQ(all.x, ref.x + 0.75f);
    const float3 noWheels = calcCenterOfGravity(*object, true);
    EXPECT_EQ(noWheels.x, all.x);  // no wheels: the same
    object->nodeProperties[1].wheelId = 0;
    EXPECT_FLOAT_EQ(calcCenterOfGravity(*object, true).x, ref.x);
    object->nodeProperties[0].wheelId = 0;
    const float3 nothing = calcCenterOfGravity(*object, true);  // no mass left
    EXPECT_FALSE(std::isnan(nothing.x));

    object->beams[0].restLength = 0.9f;
    beamstats stats = calcBeamStats(*object);
    EXPECT_EQ(stats.node_count, 2);
    EXPECT_EQ(stats.beam_count, 1);
    EXPECT_EQ(stats.beams_deformed, 1);
    EXPECT_EQ(stats.beams_broken, 0);
    EXPECT_FLOAT_EQ(stats.total_weight, 40.0f);
    EXPECT_FLOAT_EQ(stats.wheel_weight, 40.0f);
    object->beams[0].type = BEAM_BROKEN;
    stats = calcBeamStats(*object);
    EXPECT_EQ(stats.beams_broken, 1);
    EXPECT_EQ(stats.beams_deformed, 0);
}

TEST_F(ObjectServices, BeamLengthQueries)
{
    BeamObjectImpl* object = addObject();  // beam 0: nodes 1 m apart, reference length 1
    object->nodes[1].pos = float3(2.0f, 0.0f, 0.0f);
    object->beams[0].restLength = 1.5f;
    EXPECT_FLOAT_EQ(getBeamLength(*object, 0), 2.0f);
    EXPECT_FLOAT_EQ(getBeamRestLength(*object, 0), 1.5f);
    EXPECT_FLOAT_EQ(getBeamRefLength(*object, 0), 1.0f);
    EXPECT_NEAR(getBeamLengthRestRatio(*object, 0), 2.0f / 1.5f, 1e-3f);
    EXPECT_FLOAT_EQ(getBeamLengthRefRatio(*object, 0), 1.5f);
    EXPECT_FLOAT_EQ(getBeamCurLengthRefRatio(*object, 0), 2.0f);
    EXPECT_FLOAT_EQ(getHydroDisplacement(*object, 0), -0.5f);
    EXPECT_FLOAT_EQ(getHydroDisplacementFrom(*object, 0, 3.0f), 1.0f);
    setBeamLengthRefRatio(*object, 0, 0.5f);
    EXPECT_FLOAT_EQ(object->beams[0].restLength, 0.5f);
    setBeamLength(*object, 0, 0.0f);
    EXPECT_NEAR(getBeamLengthRestRatio(*object, 0), 2.0f, 1e-3f);  // rest length 0: the length itself
    object->beams[0].type = BEAM_BROKEN;
    EXPECT_TRUE(beamIsBroken(*object, 0));
    EXPECT_EQ(getHydroDisplacement(*object, 0), 0.0f);
    for (int bad : {-1, 1}) {
        EXPECT_FALSE(beamIsBroken(*object, bad));
        EXPECT_EQ(getBeamLength(*object, bad), 0.0f);
        EXPECT_EQ(getBeamLengthRestRatio(*object, bad), 0.0f);
        setBeamLength(*object, bad, 9.0f);
    }
    EXPECT_EQ(object->beams[1].restLength, 0.0f);
}

TEST_F(ObjectServices, AttachmentSlotsRefuseBadSlotsAndObjectsWithoutAHost)
{
    BeamObjectImpl* object = addObject(false);
    clearLog();
    EXPECT_EQ(setProp(*object, 300, "mesh"), nullptr);
    EXPECT_EQ(setFlexmesh(*object, -2, "mesh"), nullptr);
    EXPECT_TRUE(sink.lines.empty());
    EXPECT_EQ(setProp(*object, 5, "mesh"), nullptr);
    EXPECT_NE(indexOf("setProp: Prop could not be loaded"), -1);
    EXPECT_EQ(object->prop_count, 0);
    object->flexmesh_count = 300;
    clearLog();
    EXPECT_EQ(setFlexmesh(*object, -1, "mesh"), nullptr);  // full table: no message
    EXPECT_TRUE(sink.lines.empty());
    EXPECT_EQ(getProp(*object, 2), nullptr);
    EXPECT_EQ(getFlexmesh(*object, 300), nullptr);
}

TEST_F(ObjectServices, PersistentAndDebugTextsReachTheHost)
{
    BeamObjectImpl* object = addObject();
    runInObject(object, "obj:setPersistentData('{\"fuel\": 3}') obj:setDebugString('debug text')");
    EXPECT_STREQ(engine->getObjectPersistentData(&hostObject), "{\"fuel\": 3}");
    HostObjectDouble stranger;
    EXPECT_EQ(engine->getObjectPersistentData(&stranger), nullptr);
    EXPECT_EQ(engine->getObjectPersistentData(nullptr), nullptr);
    char text[32] = {};
    EXPECT_EQ(engine->getStatusText(4, text, sizeof text, object), 10);
    EXPECT_STREQ(text, "debug text");
}

} // namespace
