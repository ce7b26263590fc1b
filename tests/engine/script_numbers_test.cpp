// Numbers scripts hand the library: NaN, infinity and magnitudes no real object has are refused
// with a logged error and not taken, wherever a script can reach a number that the body, the
// solver or the host would use, so the body stays finite and the host is never sent NaN.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "base/bmath.h"
#include "base/bsettings.h"
#include "ground/bground_models.h"
#include "object/bprop.h"
#include "tests/object/attachment_doubles.h"
#include "tests/support/objects_test_support.h"
#include "tests/support/scoped_settings.h"

using namespace VadiZov;
using namespace VadiZov::testing;

namespace {

// Three nodes, a beam, a wheel, a rail with two links, a triangle in pressure group 0.
const char* const kBuilt = R"(
function init()
  obj:setNode(-1, float3(0, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setNode(-1, float3(1, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setNode(-1, float3(0, 1, 0), 10, NORMALTYPE, 1, -1, false, false)
  b = obj:setBeam(-1, 0, 1, 1e9, 1000, 10, 1e9, 1)
  obj:setWheel(-1, 0, 1, -1)
  obj:addRail(0) obj:addRailLink(0, 1, 0, 0) obj:addRailLink(0, 2, 0, 0)
  obj:setCollisionTriangle(-1, 0, 1, 2, 0, 0, 0, 0, nil)
  obj:finishLoading()
end
local massDone = false
function physicsStep(dt)
  if not massDone then massDone = true obj:setNodeMass(1, 3e38) end
end
)";

class ScriptNumbers : public EngineTest {
protected:
    Lua& system() { return *engine->systemLua(); }
    test::AttachmentHost host;  // outlives the engine's teardown, which gives the prop back
};

TEST_F(ScriptNumbers, BadNumbersAreRefusedWithAMessageAndNotTaken)
{
    ScopedSettings settings;
    fs.addFile("obj/init.lua", kBuilt);
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    using Field = std::function<float(const BeamObjectImpl&)>;
    const Field mass0 = [](const BeamObjectImpl& o) { return o.nodeProperties[0].mass; };
    const Field weight0 = [](const BeamObjectImpl& o) { return o.nodes[0].gravityForce; };
    const Field spring0 = [](const BeamObjectImpl& o) { return o.beams[0].spring; };
    const Field rest0 = [](const BeamObjectImpl& o) { return o.beams[0].restLength; };
    const Field strength0 = [](const BeamObjectImpl& o) { return o.beamParams[0].strength; };
    const Field triangles = [](const BeamObjectImpl& o) { return float(o.getTriangleCount()); };
    const Field slideNodes = [](const BeamObjectImpl& o) { return float(o.slideNodes.size()); };
    struct Case {
        bool inSystem;
        const char* code;
        const char* message;  // the start of the refusal
        Field field;          // unchanged by the call
    };
    const Case cases[] = {
        {false, "obj:setNodeMass(0, 1e-38)", "*** setNodeMass: node 0 has an invalid mass (", mass0},
        {false, "obj:setNodeMass(0, 3e38)", "*** setNodeMass: node 0 has an invalid mass (3e+38)", mass0},
        {false, "obj:setNode(0, float3(1e30, 0, 0), 10, 0, 1, -1, false, false)",
         "*** setNode: position (1e+30) is out of range", [](const BeamObjectImpl& o) { return o.nodes[0].pos.x; }},
        {false, "obj:setNode(0, float3(0, 0, 0), 10, 0, 0/0, -1, false, false)", "*** setNode: friction (",
         [](const BeamObjectImpl& o) { return o.nodeProperties[0].friction; }},
        {false, "obj:setGravity(0/0)", "*** setGravity: gravity (", weight0},
        {false, "obj:setGravity(-1e30)", "*** setGravity: gravity (-1e+30) is out of range", weight0},
        {false, "obj:setWind(0/0, 0, 0)", "*** setWind: wind (", [](const BeamObjectImpl& o) { return o.wind.x; }},
        {false, "obj:setWaterFlow(0, 1/0, 0)", "*** setWaterFlow: flow (inf) is not finite",
         [](const BeamObjectImpl& o) { return o.waterFlow.y; }},
        {false, "obj:applyForce(0, 1, 0/0)", "*** applyForce: force (",
         [](const BeamObjectImpl& o) { return o.nodes[0].force.x; }},
        {false, "obj:applyTorque(0, 1, 2, 1/0)", "*** applyTorque: torque (inf)",
         [](const BeamObjectImpl& o) { return o.nodes[2].force.z; }},
        {false, "obj:setBeam(0, 0, 1, 1e9, 0/0, 10, 1e9, 1)", "*** setBeam: spring (", spring0},
        {false, "obj:setBeam(0, 0, 1, 0/0, 1000, 10, 1e9, 1)", "*** setBeam: strength (", strength0},
        {false, "obj:setBeam(0, 0, 1, 1e9, 1000, 10, 1e9, 1/0)", "*** setBeam: length factor (inf)", rest0},
        {false, "obj:setBeamSpringDamp(0, 1/0, -1, -1, -1)", "*** setBeamSpringDamp: spring (inf)", spring0},
        {false, "obj:setBeamLength(0, 0/0)", "*** setBeamLength: length (", rest0},
        {false, "obj:setBeamLengthRefRatio(0, 1e30)", "*** setBeamLengthRefRatio: ratio (1e+30)", rest0},
        {false, "b:makeAnisotropic(0/0, 1, 1)", "*** makeAnisotropic: spring in extension (",
         [](const BeamObjectImpl& o) { return float(o.beams[0].type); }},
        {false, "b:makePressured(1e5, 1/0, 0.5, 1e9)", "*** makePressured: area (inf)",
         [](const BeamObjectImpl& o) { return float(o.beams[0].type); }},
        {false, "b:setDeformationTriggerRatio(0/0)", "*** setDeformationTriggerRatio: ratio (",
         [](const BeamObjectImpl& o) { return o.beamParams[0].deformTriggerRatio; }},
        {false, "obj:setGroupPressure(0, 0/0)", "*** setGroupPressure: pressure (",
         [](const BeamObjectImpl& o) { return o.pressureGroups[0].amount; }},
        {false, "obj:setCollisionTriangle(-1, 0, 1, 2, 0/0, 0, -1, 0, nil)", "*** setCollisionTriangle: drag coefficient (",
         triangles},
        {false, "obj:setCollisionTriangle(-1, 0, 1, 2, 0, 1/0, 0, 0, nil)", "*** setCollisionTriangle: pressure (inf)",
         triangles},
        {false, "obj:getWheel(0).torque = 0/0", "*** wheelData: torque (",
         [](const BeamObjectImpl& o) { return o.wheels[0].torque; }},
        {false, "obj:getWheel(0).brakingTorque = 1e30", "*** wheelData: brakingTorque (1e+30) is out of range",
         [](const BeamObjectImpl& o) { return o.wheels[0].brakingTorque; }},
        {false, "obj:addSlidenode(0, 0, 1, 1, 0/0, 100, 1e9, 1e9)", "*** addSlidenode: slack (", slideNodes},
        {false, "obj:addSlidenode(0, 0, 1, 1, -1e30, 100, 1e9, 1e9)", "*** addSlidenode: slack (-1e+30) is out of range",
         [](const BeamObjectImpl& o) { return o.nodes[0].pos.y; }},
        {false, "obj:addSlidenode(0, 0, 0, 0, 0, 1/0, 1e9, 1e9)", "*** addSlidenode: spring (inf)", slideNodes},
        {false, "obj.camRelaxation = 0/0", "*** BeamObject: camRelaxation (",
         [](const BeamObjectImpl& o) { return o.camRelaxation; }},
        {false, "obj.boundingBoxMax = float3(0, 1/0, 0)", "*** BeamObject: boundingBoxMax (inf)",
         [](const BeamObjectImpl& o) { return o.boundingBoxMax.y; }},
        {false, "obj:addInternalCamera(0, 1/0)", "*** addInternalCamera: value (inf)",
         [](const BeamObjectImpl& o) { return float(o.internal_camera_count); }},
        {false, "obj:setExternalCamera(0/0, 0, 0, 1, 1, 60)", "*** setExternalCamera: offset (",
         [](const BeamObjectImpl& o) { return o.externalCameraOffset.x; }},
        {false, "obj:playSFXOnce('horn', 0, 0/0, 1)", "*** playSFXOnce: volume (",
         [](const BeamObjectImpl& o) { return float(o.frameQueues.sounds.luaHalf.size()); }},
        {false, "obj:addParticleByNodes(0, 1, 0/0, 0, 1, 1)", "*** addParticleByNodes: speed (",
         [](const BeamObjectImpl& o) { return float(o.hostParticles.size()); }},
        {false, "local p = particleData() p.pos = float3(0/0, 0, 0) p.normal = float3(0, 0, 1) "
                "p.nodeVel = float3(0, 0, 0) p.width = 1 obj:addParticle(p)",
         "*** addParticle: pos (", [](const BeamObjectImpl& o) { return float(o.hostParticles.size()); }},
        {true, "Settings.gravity = 0/0", "*** Settings: gravity (", [](const BeamObjectImpl&) { return Settings::gravity; }},
        {true, "Settings.spawnScale = 1/0", "*** Settings: spawnScale (inf)",
         [](const BeamObjectImpl&) { return Settings::spawnScale; }},
        {true, "Settings.fps = 0/0", "*** Settings: fps (", [](const BeamObjectImpl&) { return Settings::fps; }},
        {true, "BeamEngine:setSimulationTimeScale(1e30)", "*** setSimulationTimeScale: scale (1e+30) is out of range",
         [](const BeamObjectImpl&) { return Settings::fps; }},
        {true, "local g = groundModel() g.staticFrictionCoefficient = 0/0 BeamEngine:setGroundModel(g, 'bad')",
         "*** setGroundModel: staticFrictionCoefficient (", triangles},
        // Signs that would make the solver add energy where it takes it.
        {false, "obj:setCollisionTriangle(-1, 0, 1, 2, -1000, 0, -1, 0, nil)",
         "*** setCollisionTriangle: drag coefficient (-1000) is negative, ignored", triangles},
        {false, "obj:setNode(0, float3(0, 0, 0), 10, 0, -0.5, -1, false, false)",
         "*** setNode: friction (-0.5) is negative, ignored",
         [](const BeamObjectImpl& o) { return o.nodeProperties[0].friction; }},
        {false, "obj:setBeam(0, 0, 1, 1e9, -1000, 10, 1e9, 1)", "*** setBeam: spring (-1000) is negative", spring0},
        {false, "obj:setBeam(0, 0, 1, 1e9, 1000, -10, 1e9, 1)", "*** setBeam: damp (-10) is negative",
         [](const BeamObjectImpl& o) { return o.beams[0].damp; }},
        {false, "b:makeAnisotropic(1000, -1, 1)", "*** makeAnisotropic: damp in extension (-1) is negative",
         [](const BeamObjectImpl& o) { return float(o.beams[0].type); }},
        {false, "b:makeBounded(1, 1, 1000, 10, 10, -10, 10, 1)",
         "*** makeBounded: fast damp in compression (-10) is negative",
         [](const BeamObjectImpl& o) { return float(o.beams[0].type); }},
        {true, "local g = groundModel() g.slidingFrictionCoefficient = -0.7 BeamEngine:setGroundModel(g, 'bad')",
         "*** setGroundModel: slidingFrictionCoefficient (-0.7) is negative", triangles},
        {true, "BeamEngine:getSlot(0):setNodeMass(0, 0/0)", "*** setNodeMass: node 0 has an invalid mass (", mass0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        engine->waitForPhysicsFrame();
        const float before = c.field(*object);
        clearLog();
        resetLogStateForTests();
        const std::string error = runProtected(c.inSystem ? system() : object->lua(), c.code);
        EXPECT_EQ(error, "");
        EXPECT_EQ(linesStartingWith(c.message).size(), 1u);
        const float after = c.field(*object);
        EXPECT_TRUE(after == before || (std::isnan(after) && std::isnan(before))) << before << " -> " << after;
    }
    EXPECT_EQ(groundModelTable().findGroundModel("BAD"), -1);

    // From physicsStep as well (the object's script refuses 3e38 there), and the body stays
    // finite through all of it.
    for (int frame = 0; frame < 10; ++frame)
        engine->update(0.01f);
    engine->waitForPhysicsFrame();
    EXPECT_EQ(object->nodeProperties[1].mass, 10.0f);
    EXPECT_FALSE(linesStartingWith("*** setNodeMass: node 1 has an invalid mass (3e+38)").empty());
    for (int i = 0; i < object->node_count; ++i)
        EXPECT_TRUE(isFinite(object->nodes[i].worldPos)) << i;
}

TEST_F(ScriptNumbers, ValuesInRangeAreStillTaken)
{
    fs.addFile("obj/init.lua", kBuilt);
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    runInObject(object, "obj:setNodeMass(0, 1e7) obj:setGravity(-1.62) obj:setWind(3, 0, 0) "
                        "obj:setBeamSpringDamp(0, 5e5, -1, -1, -1) obj:getWheel(0).torque = 250 "
                        "obj:setBeam(0, 0, 1, FLT_MAX, 1000, 10, FLT_MAX, 1)");
    EXPECT_EQ(object->nodeProperties[0].mass, 1e7f);
    EXPECT_EQ(object->nodes[1].gravityForce, 10.0f * -1.62f);
    EXPECT_EQ(object->wind.x, 3.0f);
    EXPECT_EQ(object->beams[0].spring, 1000.0f);  // setBeam came last
    EXPECT_EQ(object->beamParams[0].strength, FLT_MAX);  // a limit: "never" is a finite value
    EXPECT_EQ(object->wheels[0].torque, 250.0f);
    EXPECT_TRUE(linesStartingWith("*** ").empty());
}

// Offsets that are not finite are refused when written; a body that blows up by itself still
// gives a placement that is not finite, and that never reaches the host.
TEST_F(ScriptNumbers, APropPlacementThatIsNotFiniteNeverReachesTheHost)
{
    fs.addFile("obj/init.lua", R"(
function init()
  obj:setNode(-1, float3(0, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setNode(-1, float3(1, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setNode(-1, float3(0, 1, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setBeam(-1, 0, 1, 1e9, 1000, 10, 1e9, 1)
  local p = obj:setProp(0, 'mirror')
  p.nRef, p.nX, p.nY = 0, 1, 2
  p.baseRotation = float3(0, 0, 0)
  p:initialize()
  p.translation = float3(0/0, 0, 0)
  obj:finishLoading()
end
)");
    auto* object = static_cast<BeamObjectImpl*>(engine->addObject("obj", 0, 0, 0, 0, 0, 0, 1, &host.object));
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(linesStartingWith("*** Prop.translation: (nan, 0, 0) is not finite or out of range, ignored").size() +
                  linesStartingWith("*** Prop.translation: (-nan, 0, 0) is not finite or out of range, ignored").size(),
              1u);
    for (int frame = 0; frame < 3; ++frame)
        engine->update(0.01f);
    engine->waitForPhysicsFrame();
    ASSERT_EQ(host.container.meshes.size(), 1u);
    const size_t sentBefore = host.container.meshes[0]->placements.size();
    EXPECT_GT(sentBefore, 0u);

    runInObject(object, "obj:setBeam(0, 0, 1, FLT_MAX, 1e15, 0, FLT_MAX, 0.5)");  // far too stiff
    for (int frame = 0; frame < 10; ++frame)
        engine->update(0.01f);
    engine->waitForPhysicsFrame();
    ASSERT_FALSE(isFinite(object->nodes[1].worldPos));
    for (const test::Placement& p : host.container.meshes[0]->placements)
        EXPECT_TRUE(isFinite(p.position) && isFinite(p.up) && isFinite(p.forward));
    EXPECT_EQ(linesStartingWith("*** prop mirror: its placement is not finite, not sent to the host").size(), 1u);
}

} // namespace
