// Every method's handling of invalid ids and arguments: refused silently, logged at level 3
// with its exact message, or ignored. Each case must also leave the object unchanged.
#include <cmath>
#include <cstring>
#include <functional>

#include "object_test_support.h"

namespace VadiZov::test {
namespace {

// The bytes of everything a building call can write.
std::vector<unsigned char> snapshot(const BeamObjectImpl& o)
{
    std::vector<unsigned char> bytes;
    const auto add = [&](const void* p, size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        bytes.insert(bytes.end(), b, b + n);
    };
    add(o.nodes, sizeof o.nodes);
    add(o.nodeProperties, sizeof o.nodeProperties);
    add(o.beams, sizeof o.beams);
    add(o.beamParams, sizeof o.beamParams);
    add(o.beamOrigins, sizeof o.beamOrigins);
    add(o.renderPositions, sizeof o.renderPositions);
    add(o.collisionNodes, sizeof o.collisionNodes);
    add(o.wheels, sizeof o.wheels);
    add(o.collisionTriangles.data(), o.collisionTriangles.size() * sizeof(CollisionTriangle));
    add(o.builtTriangleBroken.data(), o.builtTriangleBroken.size());
    add(o.pressureGroups.data(), o.pressureGroups.size() * sizeof(PressureGroup));
    const int counts[] = {o.node_count, o.beam_count, o.wheel_count, o.collisionNodeCount,
                          int(o.collisionTriangles.size()), int(o.pressureGroups.size())};
    add(counts, sizeof counts);
    return bytes;
}

class InvalidIds : public ObjectTest {
protected:
    void SetUp() override
    {
        ObjectTest::SetUp();
        node(0.0f, 0.0f, 0.0f, 10.0f, true);
        node(1.0f, 0.0f, 0.0f);
        node(0.0f, 1.0f, 0.0f);
        node(0.0f, 1.0f, 0.0f);  // same place as node 2
        obj->setBeam(-1, 0, 1, 1000.0f, 100.0f, 1.0f, 500.0f, 1.0f);
        obj->setBeam(-1, 1, 2, 1000.0f, 100.0f, 1.0f, 500.0f, 1.0f);
        obj->beams[1].type = BEAM_BROKEN;
        obj->setCollisionTriangle(-1, 0, 1, 2, 0.5f, 100000.0f, 0, 0, nullptr);
        obj->wheel_count = 1;
        obj->nodes[0].force = float3(1.0f, 2.0f, 3.0f);
        obj->nodes[1].vel = float3(1.0f, 2.0f, 3.0f);
        takeErrors();
    }
};

struct Case {
    const char* call;
    std::function<void(BeamObjectImpl&)> run;
    const char* message;  // nullptr: silent
};

TEST_F(InvalidIds, RefusedOrIgnoredWithTheirMessages)
{
    const float nan = std::nanf("");
    const Case cases[] = {
        {"setNode(-2)", [](BeamObjectImpl& o) { EXPECT_EQ(o.setNode(-2, float3(), 1, 0, 1, -1, false, true), -1); }, nullptr},
        {"setNode(2000)", [](BeamObjectImpl& o) { EXPECT_EQ(o.setNode(2000, float3(), 1, 0, 1, -1, false, true), -1); }, nullptr},
        {"setNodeMass(-1)", [](BeamObjectImpl& o) { o.setNodeMass(-1, 5.0f); }, nullptr},
        {"setNodeMass(count)", [](BeamObjectImpl& o) { o.setNodeMass(4, 5.0f); }, nullptr},
        {"setNodeMass zero", [](BeamObjectImpl& o) { o.setNodeMass(0, 0.0f); },
         "*** setNodeMass: node 0 has an invalid mass (0), ignored"},
        {"setNodeMass negative", [](BeamObjectImpl& o) { o.setNodeMass(0, -3.0f); },
         "*** setNodeMass: node 0 has an invalid mass (-3), ignored"},
        {"setNodeMass NaN", [nan](BeamObjectImpl& o) { o.setNodeMass(0, nan); },
         "*** setNodeMass: node 0 has an invalid mass (nan), ignored"},
        {"setNodeMaterial(-1)", [](BeamObjectImpl& o) { o.setNodeMaterial(-1, 3); }, nullptr},
        {"setNodeMaterial(2000)", [](BeamObjectImpl& o) { o.setNodeMaterial(2000, 3); }, nullptr},
        {"setNodePair(-1, 1)", [](BeamObjectImpl& o) { o.setNodePair(-1, 1); }, nullptr},
        {"setNodePair(count, 1)", [](BeamObjectImpl& o) { o.setNodePair(4, 1); }, nullptr},
        {"setNodePair(0, -1)", [](BeamObjectImpl& o) { o.setNodePair(0, -1); }, nullptr},
        {"setNodePair(0, 2000)", [](BeamObjectImpl& o) { o.setNodePair(0, 2000); }, nullptr},
        {"setBeam(-2)", [](BeamObjectImpl& o) { EXPECT_FALSE(o.setBeam(-2, 0, 1, 1, 1, 1, 1, 1).isValid()); }, nullptr},
        {"setBeam(10000)", [](BeamObjectImpl& o) { EXPECT_FALSE(o.setBeam(10000, 0, 1, 1, 1, 1, 1, 1).isValid()); }, nullptr},
        {"setBeam node past count", [](BeamObjectImpl& o) { EXPECT_FALSE(o.setBeam(-1, 0, 7, 1, 1, 1, 1, 1).isValid()); },
         "*** setBeam: invalid node id: 0, 7"},
        {"setBeam negative node", [](BeamObjectImpl& o) { EXPECT_FALSE(o.setBeam(1, -1, 2, 1, 1, 1, 1, 1).isValid()); },
         "*** setBeam: invalid node id: -1, 2"},
        {"setBeam node equal to count", [](BeamObjectImpl& o) { EXPECT_FALSE(o.setBeam(-1, 4, 0, 1, 1, 1, 1, 1).isValid()); },
         "*** setBeam: invalid node id: 4, 0"},
        {"setBeamSpringDamp(-1)", [](BeamObjectImpl& o) { o.setBeamSpringDamp(-1, 5, 5, 5, 5); }, nullptr},
        {"setBeamSpringDamp(count)", [](BeamObjectImpl& o) { o.setBeamSpringDamp(2, 5, 5, 5, 5); }, nullptr},
        {"setBeamPressureRel(-1)", [](BeamObjectImpl& o) { o.setBeamPressureRel(-1, 5, 5, 5, 5); }, nullptr},
        {"setBeamPressureRel(count)", [](BeamObjectImpl& o) { o.setBeamPressureRel(2, 5, 5, 5, 5); }, nullptr},
        {"setBeamPressureRel not pressured", [](BeamObjectImpl& o) { o.setBeamPressureRel(0, 5, 5, 5, 5); }, nullptr},
        {"setCollisionTriangle(-2)", [](BeamObjectImpl& o) { o.setCollisionTriangle(-2, 0, 1, 2, 1, 1, 0, 0, nullptr); }, nullptr},
        {"setCollisionTriangle past the end", [](BeamObjectImpl& o) { o.setCollisionTriangle(2, 0, 1, 2, 1, 1, 0, 0, nullptr); }, nullptr},
        {"setCollisionTriangle third node", [](BeamObjectImpl& o) { o.setCollisionTriangle(-1, 0, 1, 9, 1, 1, 0, 0, nullptr); },
         "setCollisionTriangle: invalid node id: 9"},
        {"setCollisionTriangle first bad node", [](BeamObjectImpl& o) { o.setCollisionTriangle(0, 1, -3, 9, 1, 1, 0, 0, nullptr); },
         "setCollisionTriangle: invalid node id: -3"},
        {"setCollisionTriangle group 128", [](BeamObjectImpl& o) { o.setCollisionTriangle(-1, 0, 1, 2, 1, 1, 128, 0, nullptr); },
         "setCollisionTriangle: invalid pressure group: 128"},
        {"breakCollisionTriangle(-1)", [](BeamObjectImpl& o) { o.breakCollisionTriangle(-1); }, nullptr},
        {"breakCollisionTriangle(count)", [](BeamObjectImpl& o) { o.breakCollisionTriangle(1); }, nullptr},
        {"deflatePressureGroup(-1)", [](BeamObjectImpl& o) { o.deflatePressureGroup(-1); }, nullptr},
        {"deflatePressureGroup(count)", [](BeamObjectImpl& o) { o.deflatePressureGroup(1); }, nullptr},
        {"setGroupPressure(-1)", [](BeamObjectImpl& o) { o.setGroupPressure(-1, 5.0f); }, nullptr},
        {"setGroupPressure(count)", [](BeamObjectImpl& o) { o.setGroupPressure(1, 5.0f); }, nullptr},
        {"applyForce(-1, 1)", [](BeamObjectImpl& o) { o.applyForce(-1, 1, 5.0f); }, nullptr},
        {"applyForce(0, 2000)", [](BeamObjectImpl& o) { o.applyForce(0, 2000, 5.0f); }, nullptr},
        {"applyForce same node", [](BeamObjectImpl& o) { o.applyForce(0, 0, 5.0f); }, nullptr},
        {"applyForce coincident nodes", [](BeamObjectImpl& o) { o.applyForce(2, 3, 5.0f); }, nullptr},
        {"applyTorque(2000)", [](BeamObjectImpl& o) { EXPECT_EQ(o.applyTorque(0, 1, 2000, 5.0f), 0.0f); }, nullptr},
        {"applyTorque(-1)", [](BeamObjectImpl& o) { EXPECT_EQ(o.applyTorque(-1, 1, 2, 5.0f), 0.0f); }, nullptr},
        {"applyTorque zero axis", [](BeamObjectImpl& o) { EXPECT_EQ(o.applyTorque(1, 1, 2, 5.0f), 0.0f); }, nullptr},
        {"applyTorque zero arm", [](BeamObjectImpl& o) { EXPECT_EQ(o.applyTorque(0, 1, 1, 5.0f), 0.0f); }, nullptr},
        {"beam(-1).makeAnisotropic", [](BeamObjectImpl& o) { beam(&o, -1).makeAnisotropic(1, 1, 1); },
         "*** makeAnisotropic: ANISOTROPIC beam for invalid node id, ignored"},
        {"beam(count).makeBounded", [](BeamObjectImpl& o) { beam(&o, 2).makeBounded(1, 1, 1, 1, 1, 1, 1, 1); },
         "*** makeBounded: BOUNDED beam for invalid node id, ignored"},
        {"beam(-1).makePressured", [](BeamObjectImpl& o) { beam(&o, -1).makePressured(1, 1, 1, 1); },
         "*** makePressured: PRESSURED beam for invalid node id, ignored"},
        {"beam(count).setDeformationTriggerRatio", [](BeamObjectImpl& o) { beam(&o, 2).setDeformationTriggerRatio(0.1f); },
         "*** setDeformationTriggerRatio: Deformation Trigger beam for invalid node id, ignored"},
        {"beam without object", [](BeamObjectImpl&) { beam().makeAnisotropic(1, 1, 1); },
         "*** makeAnisotropic: ANISOTROPIC beam for invalid node id, ignored"},
        {"wheel.addNode(-1)", [](BeamObjectImpl& o) { wheel(&o, 0).addNode(-1); }, "*** addNode: wheel node invalid, ignored"},
        {"wheel.addNode(2000)", [](BeamObjectImpl& o) { wheel(&o, 0).addNode(2000); }, "*** addNode: wheel node invalid, ignored"},
        {"wheel(-1).addNode", [](BeamObjectImpl& o) { wheel(&o, -1).addNode(1); }, "*** addNode: wheel invalid, ignored"},
        {"wheel(count).addNode", [](BeamObjectImpl& o) { wheel(&o, 1).addNode(1); }, "*** addNode: wheel invalid, ignored"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        const std::vector<unsigned char> before = snapshot(*obj);
        c.run(*obj);
        EXPECT_TRUE(snapshot(*obj) == before) << "the object changed";
        const std::vector<std::string> expected =
            c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{};
        EXPECT_EQ(takeErrors(), expected);
    }
}

TEST_F(InvalidIds, GettersReturnZeroForInvalidIds)
{
    struct GetterCase {
        const char* call;
        std::function<float(const BeamObjectImpl&)> get;
    };
    const GetterCase cases[] = {
        {"getBeamForce(-1)", [](const BeamObjectImpl& o) { return o.getBeamForce(-1); }},
        {"getBeamForce(count)", [](const BeamObjectImpl& o) { return o.getBeamForce(2); }},
        {"getBeamForce(broken)", [](const BeamObjectImpl& o) { return o.getBeamForce(1); }},
        {"getNodeForceOnBeamDir bad node", [](const BeamObjectImpl& o) { return o.getNodeForceOnBeamDir(4, 0); }},
        {"getNodeForceOnBeamDir negative node", [](const BeamObjectImpl& o) { return o.getNodeForceOnBeamDir(-1, 0); }},
        {"getNodeForceOnBeamDir broken", [](const BeamObjectImpl& o) { return o.getNodeForceOnBeamDir(0, 1); }},
        {"getNodeForceOnBeamDir bad beam", [](const BeamObjectImpl& o) { return o.getNodeForceOnBeamDir(0, -1); }},
        {"getNodeForce same node", [](const BeamObjectImpl& o) { return o.getNodeForce(0, 0); }},
        {"getNodeForce(-1)", [](const BeamObjectImpl& o) { return o.getNodeForce(-1, 1); }},
        {"getNodeForce(2000)", [](const BeamObjectImpl& o) { return o.getNodeForce(0, 2000); }},
        {"getNodeVelocity same node", [](const BeamObjectImpl& o) { return o.getNodeVelocity(1, 1); }},
        {"getNodeVelocity(2000)", [](const BeamObjectImpl& o) { return o.getNodeVelocity(2000, 1); }},
        {"getNodeVelocity coincident", [](const BeamObjectImpl& o) { return o.getNodeVelocity(2, 3); }},
        {"getDirection unset", [](const BeamObjectImpl& o) { return o.getDirection(); }},
        {"inWater(-1)", [](const BeamObjectImpl& o) { return o.inWater(-1) ? 1.0f : 0.0f; }},
        {"inWater(2000)", [](const BeamObjectImpl& o) { return o.inWater(2000) ? 1.0f : 0.0f; }},
    };
    for (const GetterCase& c : cases) {
        SCOPED_TRACE(c.call);
        EXPECT_EQ(c.get(*obj), 0.0f);
    }
    EXPECT_TRUE(takeErrors().empty());
}

TEST_F(InvalidIds, DirectionGettersWithUnsetOrStaleAxisNodesGiveZero)
{
    struct Axes {
        int ref, back, up;
    };
    const Axes cases[] = {{-1, -1, -1}, {1, -1, 2}, {4, 0, 2}, {1, 0, 4}, {1999, 0, 2}, {2000, 0, -5}};
    for (const Axes& a : cases) {
        SCOPED_TRACE(::testing::Message() << a.ref << ", " << a.back << ", " << a.up);
        obj->axisRef = a.ref;
        obj->axisBack = a.back;
        obj->axisUp = a.up;
        const bool frontValid = a.ref >= 0 && a.ref < 4 && a.back >= 0 && a.back < 4;
        const bool upValid = a.ref >= 0 && a.ref < 4 && a.up >= 0 && a.up < 4;
        if (!frontValid) {
            EXPECT_EQ(obj->getDirection(), 0.0f);
            expectFloat3Eq(obj->getDirectionVector(), float3());
        }
        if (!upValid)
            expectFloat3Eq(obj->getDirectionVectorUp(), float3());
    }
    // Coincident axis nodes give a zero vector rather than NaN.
    obj->axisRef = 2;
    obj->axisBack = 3;
    expectFloat3Eq(obj->getDirectionVector(), float3());
    EXPECT_EQ(obj->getDirection(), std::atan2(0.0f, 0.0f));
}

TEST_F(InvalidIds, WheelTakesAtMostItsCapacity)
{
    wheel w(obj.get(), 0);
    for (int i = 0; i < kMaxWheelNodes; ++i)
        w.addNode(i % 4);
    ASSERT_EQ(obj->wheels[0].nodeCount, kMaxWheelNodes);
    takeErrors();
    const std::vector<unsigned char> before = snapshot(*obj);
    w.addNode(1);
    EXPECT_TRUE(snapshot(*obj) == before);
    EXPECT_EQ(takeErrors(), std::vector<std::string>{"*** addNode: wheel node list full, ignored"});
}

} // namespace
} // namespace VadiZov::test
