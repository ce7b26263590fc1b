// The building API with valid ids: nodes, beams, triangles and pressure groups, forces, getters.
#include <cfloat>
#include <cmath>
#include <numbers>

#include "engine/bengine.h"
#include "ground/bground_model_names.h"
#include "object_test_support.h"

namespace VadiZov::test {
namespace {

using Build = ObjectTest;

TEST_F(Build, SetNodeReturnsTheIdOrRefuses)
{
    EXPECT_EQ(node(0.0f, 0.0f, 0.0f), 0);
    EXPECT_EQ(node(1.0f, 0.0f, 0.0f), 1);
    EXPECT_EQ(obj->setNode(2000, float3(), 1.0f, 0, 0.5f, -1, false, false), -1);
    EXPECT_EQ(obj->setNode(-2, float3(), 1.0f, 0, 0.5f, -1, false, false), -1);
    EXPECT_EQ(obj->node_count, 2);
    // Defining a higher index leaves a gap and raises the count past it.
    EXPECT_EQ(obj->setNode(10, float3(), 1.0f, 0, 0.5f, -1, false, false), 10);
    EXPECT_EQ(obj->node_count, 11);
    EXPECT_EQ(node(0.0f, 0.0f, 0.0f), 11);
    // Redefining a node does not move the count.
    EXPECT_EQ(obj->setNode(3, float3(), 1.0f, 0, 0.5f, -1, false, false), 3);
    EXPECT_EQ(obj->node_count, 12);
}

TEST_F(Build, AppendingAtFullNodeCapacityIsRefused)
{
    EXPECT_EQ(obj->setNode(kMaxNodes - 1, float3(), 1.0f, 0, 0.5f, -1, false, false), kMaxNodes - 1);
    ASSERT_EQ(obj->node_count, kMaxNodes);
    EXPECT_EQ(obj->setNode(-1, float3(7.0f, 7.0f, 7.0f), 1.0f, 0, 0.5f, -1, false, true), -1);
    EXPECT_EQ(obj->node_count, kMaxNodes);
    EXPECT_EQ(obj->collisionNodeCount, 0);
}

TEST_F(Build, SetNodeWritesScaledRecords)
{
    Settings::spawnScale = 2.0f;
    obj->originOffset = float3(100.0f, 0.0f, 0.0f);
    ASSERT_EQ(obj->setNode(-1, float3(1.0f, 2.0f, 3.0f), 10.0f, 7, 0.6f, 5, true, true), 0);
    const NodeCore& n = obj->nodes[0];
    const NodeProperties& p = obj->nodeProperties[0];
    expectFloat3Eq(n.pos, float3(2.0f, 4.0f, 6.0f));
    expectFloat3Eq(n.worldPos, float3(102.0f, 4.0f, 6.0f));
    expectFloat3Eq(n.lastStaticQueryPos, float3(FLT_MAX, FLT_MAX, FLT_MAX));
    EXPECT_FLOAT_EQ(p.mass, 20.0f);
    EXPECT_FLOAT_EQ(n.dtOverMass, 0.0005f / 20.0f);
    EXPECT_FLOAT_EQ(p.massOverDt, 20.0f / 0.0005f);
    EXPECT_FLOAT_EQ(n.gravityForce, 20.0f * -9.81f);
    EXPECT_EQ(n.collisionId, -6);
    EXPECT_EQ(n.collides, 1);
    EXPECT_EQ(p.triangleCollides, 1);
    EXPECT_FLOAT_EQ(p.friction, 0.6f);
    EXPECT_FLOAT_EQ(p.mediumDensity, 1.2f);
    EXPECT_FLOAT_EQ(p.volume, 0.1f);
    EXPECT_FLOAT_EQ(p.surfaceCoef, 0.1f);
    EXPECT_EQ(p.tireMarkPartner, -1);
    EXPECT_EQ(p.wheelId, kNoWheel);
    expectFloat3Eq(p.spawnPos, float3(2.0f, 4.0f, 6.0f));
    for (int buffer = 0; buffer < 2; ++buffer) {
        const RenderPosition& r = obj->renderPositions[buffer][0];
        EXPECT_EQ(r.x, 2.0f);
        EXPECT_EQ(r.spare, 0.0f);
        EXPECT_EQ(r.y, 4.0f);
        EXPECT_EQ(r.z, 6.0f);
    }
    // Without a group a node is its own collision group.
    ASSERT_EQ(obj->setNode(-1, float3(), 1.0f, 0, 0.5f, -1, false, false), 1);
    EXPECT_EQ(obj->nodes[1].collisionId, 1);
}

TEST_F(Build, SpawnScaleAndLengthFactorSetTheRestLength)
{
    Settings::spawnScale = 2.0f;
    node(0.0f, 0.0f, 0.0f);
    node(3.0f, 4.0f, 0.0f);
    const beam b = obj->setBeam(-1, 0, 1, 1000.0f, 100.0f, 1.0f, 500.0f, 0.5f);
    ASSERT_TRUE(b.isValid());
    // 5 m apart as given, 10 m scaled, half of it as rest length.
    EXPECT_FLOAT_EQ(obj->beams[0].restLength, 5.0f);
    EXPECT_FLOAT_EQ(obj->beamParams[0].refLength, 5.0f);
    EXPECT_FLOAT_EQ(obj->beamOrigins[0].restLength, 5.0f);
}

TEST_F(Build, CollisionNodeListHoldsEachCollidingNodeOnce)
{
    node(0.0f, 0.0f, 0.0f, 10.0f, true);
    node(1.0f, 0.0f, 0.0f, 10.0f, true);
    node(2.0f, 0.0f, 0.0f, 10.0f, true);
    obj->setNode(1, float3(1.0f, 0.0f, 0.0f), 10.0f, 0, 0.5f, -1, false, true);
    EXPECT_EQ(obj->collisionNodeCount, 3);
    obj->setNode(1, float3(1.0f, 0.0f, 0.0f), 10.0f, 0, 0.5f, -1, false, false);
    ASSERT_EQ(obj->collisionNodeCount, 2);
    EXPECT_EQ(obj->collisionNodes[0], 0);
    EXPECT_EQ(obj->collisionNodes[1], 2);

    // Defining every node twice never overflows the list.
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < kMaxNodes; ++i)
            obj->setNode(i, float3(float(i), 0.0f, 0.0f), 1.0f, 0, 0.5f, -1, false, true);
    }
    EXPECT_EQ(obj->collisionNodeCount, kMaxNodes);
}

TEST_F(Build, SetNodeMassAndGravity)
{
    node(0.0f, 0.0f, 0.0f, 10.0f);
    node(1.0f, 0.0f, 0.0f, 10.0f);
    obj->setBeam(-1, 0, 1, 1000.0f, 100.0f, 1e9f, 500.0f, 1.0f);
    Settings::spawnScale = 3.0f;  // not applied to setNodeMass
    obj->setNodeMass(1, 4.0f);
    EXPECT_FLOAT_EQ(obj->nodeProperties[1].mass, 4.0f);
    EXPECT_FLOAT_EQ(obj->nodeProperties[1].massOverDt, 4.0f / 0.0005f);
    EXPECT_FLOAT_EQ(obj->nodes[1].dtOverMass, 0.0005f / 4.0f);
    EXPECT_FLOAT_EQ(obj->nodes[1].gravityForce, 4.0f * -9.81f);
    // The damping capped with the old masses (reduced mass 5 kg) keeps its value.
    EXPECT_FLOAT_EQ(obj->beams[0].damp, 5.0f / 0.0005f);

    obj->setGravity(-1.62f);
    EXPECT_FLOAT_EQ(obj->nodes[0].gravityForce, 10.0f * -1.62f);
    EXPECT_FLOAT_EQ(obj->nodes[1].gravityForce, 4.0f * -1.62f);

    obj->setNodeMaterial(1999, 4);
    EXPECT_EQ(obj->nodeProperties[1999].material, 4);
    obj->setNodePair(0, 1999);
    EXPECT_EQ(obj->nodeProperties[0].tireMarkPartner, 1999);
    obj->setWind(1.0f, 2.0f, 3.0f);
    obj->setWaterFlow(-1.0f, 0.0f, 0.5f);
    expectFloat3Eq(obj->wind, float3(1.0f, 2.0f, 3.0f));
    expectFloat3Eq(obj->waterFlow, float3(-1.0f, 0.0f, 0.5f));
}

TEST_F(Build, SetBeamReturnsHandlesAndRefuses)
{
    node(0.0f, 0.0f, 0.0f);
    node(1.0f, 0.0f, 0.0f);
    EXPECT_EQ(obj->setBeam(-1, 0, 1, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f).id(), 0);
    EXPECT_EQ(obj->setBeam(-1, 1, 0, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f).id(), 1);
    const beam gap = obj->setBeam(5, 0, 1, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(gap.id(), 5);
    EXPECT_EQ(gap.object(), obj.get());
    EXPECT_EQ(obj->beam_count, 6);
    for (const int index : {-2, kMaxBeams}) {
        const beam refused = obj->setBeam(index, 0, 1, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
        EXPECT_EQ(refused.id(), -1);
        EXPECT_FALSE(refused.isValid());
    }
    EXPECT_EQ(obj->beam_count, 6);
    EXPECT_TRUE(takeErrors().empty());
}

TEST_F(Build, AppendingAtFullBeamCapacityIsRefused)
{
    node(0.0f, 0.0f, 0.0f);
    node(1.0f, 0.0f, 0.0f);
    ASSERT_EQ(obj->setBeam(kMaxBeams - 1, 0, 1, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f).id(), kMaxBeams - 1);
    EXPECT_EQ(obj->setBeam(-1, 0, 1, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f).id(), -1);
    EXPECT_EQ(obj->beam_count, kMaxBeams);
}

TEST_F(Build, SetBeamWritesItsRecords)
{
    node(0.0f, 0.0f, 0.0f, 10.0f);
    node(0.0f, 0.0f, 2.0f, 2.0f);
    struct Case {
        float strength, deform, damp;
        float limitForce, storedDamp;
    };
    const Case cases[] = {
        {5.0f, -3.0f, 1.0f, 3.0f, 1.0f},       // limit from |deform| when strength is above it
        {2.0f, 3.0f, 1.0f, 2.0f, 1.0f},        // else the strength
        {3.0f, 3.0f, 1.0f, 3.0f, 1.0f},        // equal: the strength
        {100.0f, 50.0f, 1e6f, 50.0f, 10.0f * 2.0f / 12.0f / 0.0005f}, // capped: reduced mass / 0.0005
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.limitForce);
        ASSERT_EQ(obj->setBeam(0, 1, 0, c.strength, 300.0f, c.damp, c.deform, 1.0f).id(), 0);
        const BeamCore& b = obj->beams[0];
        const BeamParams& p = obj->beamParams[0];
        const BeamOrigin& o = obj->beamOrigins[0];
        EXPECT_EQ(b.node1, 1);
        EXPECT_EQ(b.node2, 0);
        EXPECT_EQ(b.type, BEAM_NORMAL);
        EXPECT_FLOAT_EQ(b.spring, 300.0f);
        EXPECT_FLOAT_EQ(b.damp, c.storedDamp);
        EXPECT_FLOAT_EQ(b.restLength, 2.0f);
        EXPECT_FLOAT_EQ(b.limitForce, c.limitForce);
        EXPECT_FLOAT_EQ(p.p0, 1.0f);
        EXPECT_FLOAT_EQ(p.p1, 1.0f);
        EXPECT_FLOAT_EQ(p.p2, 9000000.0f);
        EXPECT_FLOAT_EQ(p.p3, 12000.0f);
        EXPECT_FLOAT_EQ(p.p4, 300.0f);
        EXPECT_FLOAT_EQ(p.p5, c.storedDamp);
        EXPECT_FLOAT_EQ(p.strength, c.strength);
        EXPECT_FLOAT_EQ(p.deformCompress, c.deform);
        EXPECT_FLOAT_EQ(p.deformTension, -c.deform);
        EXPECT_EQ(p.deformTriggerRatio, FLT_MAX);
        EXPECT_FLOAT_EQ(p.refLength, 2.0f);
        EXPECT_FLOAT_EQ(p.lastNotifiedLength, 2.0f);
        EXPECT_FLOAT_EQ(o.strength, c.strength);
        EXPECT_FLOAT_EQ(o.limitForce, c.limitForce);
        EXPECT_FLOAT_EQ(o.restLength, 2.0f);
        EXPECT_EQ(o.deformTriggerRatio, FLT_MAX);
        EXPECT_EQ(o.type, BEAM_NORMAL);
    }
}

TEST_F(Build, SetBeamSpringDampPerType)
{
    node(0.0f, 0.0f, 0.0f, 10.0f);
    node(1.0f, 0.0f, 0.0f, 10.0f);
    const float cap = 5.0f / 0.0005f;  // two 10 kg ends: reduced mass 5 kg
    beam normal = obj->setBeam(-1, 0, 1, 1000.0f, 100.0f, 1.0f, 500.0f, 1.0f);
    beam anisotropic = obj->setBeam(-1, 0, 1, 1000.0f, 100.0f, 1.0f, 500.0f, 1.0f);
    anisotropic.makeAnisotropic(200.0f, 2.0f, 1.5f);
    beam bounded = obj->setBeam(-1, 0, 1, 1000.0f, 100.0f, 1.0f, 500.0f, 1.0f);
    bounded.makeBounded(0.1f, 0.1f, 1e6f, 100.0f, 3.0f, 4.0f, 5.0f, 0.7f);

    for (const beam& b : {normal, anisotropic, bounded})
        obj->setBeamSpringDamp(b.id(), 500.0f, 1e9f, 600.0f, 1e9f);
    EXPECT_FLOAT_EQ(obj->beams[0].spring, 500.0f);
    EXPECT_FLOAT_EQ(obj->beams[0].damp, cap);
    EXPECT_FLOAT_EQ(obj->beamParams[0].p4, 100.0f);  // only anisotropic beams take the extension values
    EXPECT_FLOAT_EQ(obj->beamParams[1].p4, 600.0f);
    EXPECT_FLOAT_EQ(obj->beamParams[1].p5, cap);
    EXPECT_FLOAT_EQ(obj->beams[2].spring, 500.0f);
    EXPECT_FLOAT_EQ(obj->beams[2].damp, 0.7f);  // the bounded beam's cut-off speed stays

    // Negative and NaN arguments leave their fields alone.
    const float nan = std::nanf("");
    obj->setBeamSpringDamp(1, -1.0f, nan, nan, -5.0f);
    EXPECT_FLOAT_EQ(obj->beams[1].spring, 500.0f);
    EXPECT_FLOAT_EQ(obj->beams[1].damp, cap);
    EXPECT_FLOAT_EQ(obj->beamParams[1].p4, 600.0f);
    EXPECT_FLOAT_EQ(obj->beamParams[1].p5, cap);
}

TEST_F(Build, SetBeamPressureRelChangesOnlyPressuredBeams)
{
    node(0.0f, 0.0f, 0.0f, 10.0f);
    node(0.5f, 0.0f, 0.0f, 10.0f);
    beam b = obj->setBeam(-1, 0, 1, 50000.0f, 100.0f, 1.0f, 20000.0f, 1.0f);
    b.makePressured(200000.0f, 0.01f, 0.8f, 400000.0f);

    obj->setBeamPressureRel(0, 150000.0f, 300000.0f, 250.0f, 3.0f);
    const BeamParams& p = obj->beamParams[0];
    EXPECT_FLOAT_EQ(obj->beams[0].spring, 250.0f);
    EXPECT_FLOAT_EQ(obj->beams[0].damp, 3.0f);
    EXPECT_FLOAT_EQ(p.p1, 0.5f * (150000.0f + 101325.0f) * 0.01f);
    EXPECT_FLOAT_EQ(p.p7, 0.01f * 300000.0f - 1013.25f);
    // The signed tension limit is the smallest.
    EXPECT_FLOAT_EQ(obj->beams[0].limitForce, -20000.0f);
    // A negative pressure falls back to the pressure given to makePressured; a negative maximum
    // keeps p7.
    obj->setBeamPressureRel(0, -1.0f, -1.0f, -1.0f, -1.0f);
    EXPECT_FLOAT_EQ(p.p1, 0.5f * 200000.0f * 0.01f);
    EXPECT_FLOAT_EQ(p.p7, 0.01f * 300000.0f - 1013.25f);
    // A maximum below atmospheric gives no break force.
    obj->setBeamPressureRel(0, -1.0f, 50000.0f, -1.0f, -1.0f);
    EXPECT_EQ(p.p7, 0.0f);

    // A reset returns to the values of makePressured.
    obj->reset(false);
    EXPECT_FLOAT_EQ(p.p1, 200000.0f * 0.5f * 0.01f);
    EXPECT_FLOAT_EQ(p.p7, 0.01f * 400000.0f - 1013.25f);
}

TEST_F(Build, CollisionTrianglesAndPressureGroups)
{
    node(0.0f, 0.0f, 0.0f);
    node(2.0f, 0.0f, 0.0f);
    node(0.0f, 3.0f, 0.0f);
    obj->setCollisionTriangle(-1, 0, 1, 2, 0.4f, 100000.0f, 2, 3, nullptr);
    ASSERT_EQ(obj->getTriangleCount(), 1);
    const CollisionTriangle& t = obj->collisionTriangles[0];
    EXPECT_EQ(t.node1, 0);
    EXPECT_EQ(t.node2, 1);
    EXPECT_EQ(t.node3, 2);
    EXPECT_FLOAT_EQ(t.dragCoef, 0.4f);
    EXPECT_EQ(t.pressureGroup, 2);
    EXPECT_EQ(t.broken, 3);
    EXPECT_EQ(obj->builtTriangleBroken[0], 3);
    EXPECT_EQ(t.radiusSteps, 1);
    EXPECT_EQ(t.groundModelId, 0);

    // Groups 0 and 1 are created empty on the way to group 2.
    ASSERT_EQ(obj->pressureGroups.size(), 3u);
    EXPECT_EQ(obj->pressureGroups[0].ambient, 0.0f);
    const PressureGroup& g = obj->pressureGroups[2];
    // Twice the triangle's area: legs of 2 and 3 m.
    EXPECT_FLOAT_EQ(g.baseArea, 6.0f);
    EXPECT_FLOAT_EQ(g.area, 6.0f);
    EXPECT_FLOAT_EQ(g.basePressure, 100000.0f);
    EXPECT_FLOAT_EQ(g.ambient, 16887.5f);
    EXPECT_FLOAT_EQ(g.hydroFactor, 1.6344417f);
    EXPECT_FLOAT_EQ(g.amount, 100000.0f / 6.0f * 6.0f * std::sqrt(6.0f));

    // A second triangle adds its area to the group.
    obj->setCollisionTriangle(-1, 0, 2, 1, 0.4f, 100000.0f, 2, 0, nullptr);
    EXPECT_FLOAT_EQ(obj->pressureGroups[2].baseArea, 12.0f);

    obj->setGroupPressure(2, 60000.0f);
    EXPECT_FLOAT_EQ(obj->pressureGroups[2].amount, std::sqrt(12.0f) * 60000.0f / 6.0f * 12.0f);
    EXPECT_FLOAT_EQ(obj->pressureGroups[2].basePressure, 100000.0f);
    obj->setGroupPressure(2, -60000.0f);
    EXPECT_EQ(obj->pressureGroups[2].amount, 0.0f);
    obj->deflatePressureGroup(2);
    EXPECT_EQ(obj->pressureGroups[2].ambient, 0.0f);
    EXPECT_EQ(obj->pressureGroups[2].hydroFactor, 0.0f);

    obj->breakCollisionTriangle(1);
    EXPECT_EQ(obj->collisionTriangles[1].broken, 1);
    EXPECT_EQ(obj->builtTriangleBroken[1], 0);
}

TEST_F(Build, SetCollisionTriangleAtAnIndexCutsTheList)
{
    node(0.0f, 0.0f, 0.0f);
    node(1.0f, 0.0f, 0.0f);
    node(0.0f, 1.0f, 0.0f);
    for (int i = 0; i < 10; ++i)
        obj->setCollisionTriangle(-1, 0, 1, 2, 0.1f, -1.0f, -1, 0, nullptr);
    obj->setCollisionTriangle(3, 2, 1, 0, 0.9f, -1.0f, -1, 0, nullptr);
    EXPECT_EQ(obj->getTriangleCount(), 4);
    EXPECT_EQ(obj->builtTriangleBroken.size(), 4u);
    EXPECT_EQ(obj->collisionTriangles[3].node1, 2);
    // The index equal to the count appends.
    obj->setCollisionTriangle(4, 0, 1, 2, 0.1f, -1.0f, -1, 0, nullptr);
    EXPECT_EQ(obj->getTriangleCount(), 5);
    // Any negative group means none, also where a byte would wrap.
    obj->setCollisionTriangle(-1, 0, 1, 2, 0.1f, -1.0f, -200, 0, nullptr);
    EXPECT_EQ(obj->collisionTriangles[5].pressureGroup, -1);
    EXPECT_TRUE(obj->pressureGroups.empty());
}

class GroundModelsDouble final : public GroundModelNames {
public:
    int findGroundModel(const std::string& upperName) const override
    {
        asked.push_back(upperName);
        return upperName == "ASPHALT" ? 7 : -1;
    }
    mutable std::vector<std::string> asked;
};

TEST_F(Build, TriangleGroundModelByName)
{
    node(0.0f, 0.0f, 0.0f);
    node(1.0f, 0.0f, 0.0f);
    node(0.0f, 1.0f, 0.0f);
    GroundModelsDouble models;
    obj->setGroundModelNames(&models);
    obj->setCollisionTriangle(-1, 0, 1, 2, 0.1f, -1.0f, -1, 0, "asphalt");
    EXPECT_EQ(obj->collisionTriangles[0].groundModelId, 7);
    EXPECT_EQ(models.asked, std::vector<std::string>{"ASPHALT"});
    EXPECT_TRUE(takeErrors().empty());

    obj->setCollisionTriangle(-1, 0, 1, 2, 0.1f, -1.0f, -1, 0, "Mud");
    ASSERT_EQ(obj->getTriangleCount(), 2);
    EXPECT_EQ(obj->collisionTriangles[1].groundModelId, 0);
    EXPECT_EQ(takeErrors(),
              std::vector<std::string>{"setCollisionTriangle: No ground model for collision triangle found: Mud"});
}

TEST_F(Build, FinishLoadingNotifiesTheHostAndTheEngine)
{
    obj->finishLoading();
    EXPECT_TRUE(obj->loaded);

    BeamEngineImpl engine;
    HostObjectDouble host;
    ResourceContainerDouble mesh;
    obj->setEngine(&engine);
    obj->loaded = false;
    obj->mesh = &mesh;
    obj->finishLoading();
    // The mesh alone is not enough: it belongs to a host object.
    EXPECT_EQ(mesh.loadedNotices, 0);
    EXPECT_TRUE(engine.coreParameters().objectsChanged);
    obj->hostObject = &host;
    obj->finishLoading();
    EXPECT_EQ(mesh.loadedNotices, 1);
    EXPECT_TRUE(obj->loaded);
    obj->setEngine(nullptr);
    obj->hostObject = nullptr;
    obj->mesh = nullptr;
}

TEST_F(Build, ApplyForcePushesTheFirstNodeTowardsTheSecond)
{
    node(0.0f, 0.0f, 0.0f);
    node(0.0f, 3.0f, 4.0f);
    obj->applyForce(0, 1, 10.0f);
    // The reciprocal square root is an estimate of about 12 bits.
    expectFloat3Near(obj->nodes[0].force, float3(0.0f, 6.0f, 8.0f), 8.0f * 1e-3f);
    expectFloat3Eq(obj->nodes[1].force, float3());
}

TEST_F(Build, ApplyTorqueOnThreeNodes)
{
    // Axis along z from node 0 to node 1, arm of 2 m along x from node 1 to node 2.
    node(0.0f, 0.0f, 0.0f);
    node(0.0f, 0.0f, 1.0f);
    node(2.0f, 0.0f, 1.0f);
    obj->nodes[2].vel = float3(0.0f, 4.0f, 0.0f);
    const float speed = obj->applyTorque(0, 1, 2, 30.0f);
    // 30 N m at 2 m is 15 N, tangential, reacted on the axis end.
    expectFloat3Near(obj->nodes[2].force, float3(0.0f, 15.0f, 0.0f), 15.0f * 1e-3f);
    expectFloat3Near(obj->nodes[1].force, float3(0.0f, -15.0f, 0.0f), 15.0f * 1e-3f);
    expectFloat3Eq(obj->nodes[0].force, float3());
    EXPECT_EQ(obj->nodes[2].force.y, 0.0f - obj->nodes[1].force.y);
    // 4 m/s at 2 m is 2 rad/s.
    EXPECT_NEAR(speed, 2.0f, 2e-3f);

    // Reversed torque reverses the force.
    obj->nodes[2].force = float3();
    obj->applyTorque(0, 1, 2, -30.0f);
    EXPECT_NEAR(obj->nodes[2].force.y, -15.0f, 15.0f * 1e-3f);
}

TEST_F(Build, GettersReadTheCurrentState)
{
    node(0.0f, 0.0f, 0.0f);
    node(2.0f, 0.0f, 0.0f);
    node(0.0f, 0.0f, 1.0f);
    obj->setBeam(-1, 0, 1, 1000.0f, 100.0f, 1.0f, 500.0f, 1.0f);
    obj->nodes[0].force = float3(-5.0f, 1.0f, 0.0f);
    obj->nodes[1].force = float3(5.0f, 0.0f, 0.0f);
    obj->nodes[0].vel = float3(3.0f, 4.0f, 0.0f);

    // The beam is pulled apart with 5 N at each end: -10 along node1 to node2.
    EXPECT_FLOAT_EQ(obj->getBeamForce(0), -10.0f);
    EXPECT_FLOAT_EQ(obj->getNodeForceOnBeamDir(1, 0), 5.0f);
    EXPECT_FLOAT_EQ(obj->getNodeVelocity(0, 1), 3.0f);
    EXPECT_NEAR(obj->getNodeForce(0, 1), -5.0f, 5e-3f);

    obj->nodeProperties[2].mediumDensity = 1000.0f;
    EXPECT_TRUE(obj->inWater(2));
    EXPECT_FALSE(obj->inWater(1));

    obj->refNode = 0;
    obj->originOffset = float3(10.0f, 0.0f, 0.0f);
    obj->nodes[0].worldPos = obj->originOffset + obj->nodes[0].pos;
    expectFloat3Eq(obj->getVelocity(), float3(3.0f, 4.0f, 0.0f));
    expectFloat3Eq(obj->getPosition(), float3(10.0f, 0.0f, 0.0f));

    // Facing from node 0 (back) to node 1 (front), node 2 up.
    obj->axisRef = 1;
    obj->axisBack = 0;
    obj->axisUp = 2;
    expectFloat3Near(obj->getDirectionVector(), float3(1.0f, 0.0f, 0.0f), 1e-6f);
    EXPECT_FLOAT_EQ(obj->getDirection(), std::atan2(1.0f, 0.0f));
    const float3 up = obj->getDirectionVectorUp();
    const float inverseRoot5 = 1.0f / std::sqrt(5.0f);
    expectFloat3Near(up, float3(-2.0f * inverseRoot5, 0.0f, inverseRoot5), 1e-6f);
    obj->nodes[1].pos = float3(0.0f, -1.0f, 0.0f);
    EXPECT_NEAR(obj->getDirection(), 0.0f, 1e-6f);
}

} // namespace
} // namespace VadiZov::test
