// Construction, clear, reset, transformation, reset requests and destroy.
#include <cfloat>
#include <cmath>
#include <limits>

#include "object_test_support.h"

namespace VadiZov::test {
namespace {

using Lifecycle = ObjectTest;

TEST_F(Lifecycle, FreshObjectIsEmptyWithInitialFields)
{
    EXPECT_EQ(obj->node_count, 0);
    EXPECT_EQ(obj->beam_count, 0);
    EXPECT_EQ(obj->wheel_count, 0);
    EXPECT_EQ(obj->collisionNodeCount, 0);
    EXPECT_EQ(obj->getTriangleCount(), 0);
    EXPECT_EQ(obj->refNode, 0);
    EXPECT_EQ(obj->axisRef, -1);
    EXPECT_EQ(obj->axisBack, -1);
    EXPECT_EQ(obj->axisSide, -1);
    EXPECT_EQ(obj->axisUp, -1);
    EXPECT_EQ(obj->id, -1);
    EXPECT_EQ(obj->getID(), -1);
    EXPECT_EQ(obj->getObjectID(), -1);
    EXPECT_FALSE(obj->loaded);
    EXPECT_FALSE(obj->transformPending);
    EXPECT_FALSE(obj->rotationChanged);
    EXPECT_TRUE(obj->refRelativePlacement);
    EXPECT_EQ(obj->transformRotation.x, 0.0f);
    EXPECT_EQ(obj->transformRotation.y, 0.0f);
    EXPECT_EQ(obj->transformRotation.z, 0.0f);
    EXPECT_EQ(obj->transformRotation.w, 0.0f);
    EXPECT_EQ(obj->pendingResetRequests(), 0);
    EXPECT_FLOAT_EQ(obj->slipTireMarkThreshold, 2.0f);
    EXPECT_FLOAT_EQ(obj->camRelaxation, 2.0f);
    // No script was attached while the constructor cleared.
    EXPECT_TRUE(script.calls.empty());
}

TEST_F(Lifecycle, EveryRecordStartsZeroed)
{
    // The last records of each array: a reset or a gap must never find garbage there.
    const auto zeroBytes = [](const void* p, size_t n) {
        const auto* bytes = static_cast<const unsigned char*>(p);
        for (size_t i = 0; i < n; ++i) {
            if (bytes[i] != 0)
                return false;
        }
        return true;
    };
    EXPECT_TRUE(zeroBytes(&obj->nodes[kMaxNodes - 1], sizeof(NodeCore)));
    EXPECT_TRUE(zeroBytes(&obj->nodeProperties[kMaxNodes - 1], sizeof(NodeProperties)));
    EXPECT_TRUE(zeroBytes(&obj->beams[kMaxBeams - 1], sizeof(BeamCore)));
    EXPECT_TRUE(zeroBytes(&obj->beamParams[kMaxBeams - 1], sizeof(BeamParams)));
    EXPECT_TRUE(zeroBytes(&obj->beamOrigins[kMaxBeams - 1], sizeof(BeamOrigin)));
    EXPECT_TRUE(zeroBytes(obj->renderPositions, sizeof obj->renderPositions));
    EXPECT_TRUE(zeroBytes(&obj->wheels[kMaxWheels - 1], sizeof(wheelData)));
}

TEST_F(Lifecycle, ClearTakesTheOriginFromTheHostObject)
{
    HostObjectDouble host;
    host.position = float3(100.0f, 200.0f, 5.0f);
    obj->hostObject = &host;
    obj->clear();
    expectFloat3Eq(obj->originOffset, host.position);
    expectFloat3Eq(obj->spawnOrigin, host.position);
    // New nodes are placed relative to it.
    node(1.0f, 0.0f, 0.0f);
    expectFloat3Eq(obj->nodes[0].worldPos, float3(101.0f, 200.0f, 5.0f));
    obj->hostObject = nullptr;
}

TEST_F(Lifecycle, ClearEmptiesTheBodyAndCallsDestroyOnce)
{
    node(0.0f, 0.0f, 0.0f, 10.0f, true);
    node(1.0f, 0.0f, 0.0f, 10.0f, true);
    node(0.0f, 1.0f, 0.0f);
    obj->setBeam(-1, 0, 1, 1000.0f, 100.0f, 1.0f, 500.0f, 1.0f);
    obj->setCollisionTriangle(-1, 0, 1, 2, 1.0f, 1000.0f, 0, 0, nullptr);
    obj->wheel_count = 1;
    wheel(obj.get(), 0).addNode(2);
    obj->setWind(1.0f, 2.0f, 3.0f);
    obj->setNodeMaterial(1, 7);

    obj->clear();

    EXPECT_EQ(obj->node_count, 0);
    EXPECT_EQ(obj->beam_count, 0);
    EXPECT_EQ(obj->wheel_count, 0);
    EXPECT_EQ(obj->collisionNodeCount, 0);
    EXPECT_EQ(obj->getTriangleCount(), 0);
    EXPECT_TRUE(obj->pressureGroups.empty());
    EXPECT_EQ(obj->wheels[0].nodeCount, 0);
    expectFloat3Eq(obj->wind, float3());
    // Nodes that were in use get friction 1 and no wheel; nothing else of them is left.
    for (int i = 0; i < 3; ++i) {
        EXPECT_FLOAT_EQ(obj->nodeProperties[i].friction, 1.0f);
        EXPECT_EQ(obj->nodeProperties[i].wheelId, kNoWheel);
        EXPECT_EQ(obj->nodeProperties[i].mass, 0.0f);
    }
    EXPECT_EQ(obj->nodeProperties[1].material, 0);
    EXPECT_EQ(obj->nodeProperties[3].friction, 0.0f);
    EXPECT_FLOAT_EQ(obj->nodes[1].pos.x, 0.0f);
    EXPECT_FLOAT_EQ(obj->beamOrigins[0].restLength, 0.0f);
    EXPECT_EQ(script.calls, std::vector<std::string>{"vehicleDestroy"});
}

TEST_F(Lifecycle, FailingScriptCallbacksAreLoggedAndTheWorkCompletes)
{
    script.failWith = "[string \"init\"]:3: attempt to call a nil value";
    node(0.0f, 0.0f, 0.0f);
    obj->clear();
    EXPECT_EQ(obj->node_count, 0);
    EXPECT_EQ(takeErrors(), std::vector<std::string>{script.failWith});

    node(0.0f, 0.0f, 0.0f);
    obj->nodes[0].pos = float3(5.0f, 0.0f, 0.0f);
    obj->reset(false);
    EXPECT_FLOAT_EQ(obj->nodes[0].pos.x, 0.0f);
    EXPECT_EQ(takeErrors(), std::vector<std::string>{script.failWith});
}

// A small body: a triangle of nodes with three beams, a triangle face in pressure group 0.
class ResetTest : public ObjectTest {
protected:
    void SetUp() override
    {
        ObjectTest::SetUp();
        node(0.0f, 0.0f, 0.0f);
        node(2.0f, 0.0f, 0.0f);
        node(0.0f, 2.0f, 0.0f);
        obj->setBeam(-1, 0, 1, 1000.0f, 5000.0f, 10.0f, 400.0f, 1.0f);
        obj->setBeam(-1, 1, 2, 1000.0f, 5000.0f, 10.0f, 400.0f, 1.0f);
        obj->setBeam(-1, 2, 0, 1000.0f, 5000.0f, 10.0f, 400.0f, 1.0f);
        obj->setCollisionTriangle(-1, 0, 1, 2, 0.5f, 200000.0f, 0, 0, nullptr);
        script.calls.clear();
    }
};

TEST_F(ResetTest, RestoresPositionsAndBeamsAfterChanges)
{
    const PressureGroup builtGroup = obj->pressureGroups[0];

    // What the solver and the script might have done since building.
    for (int i = 0; i < 3; ++i) {
        obj->nodes[i].pos = obj->nodes[i].pos + float3(3.0f, -1.0f, 7.0f);
        obj->nodes[i].vel = float3(1.0f, 2.0f, 3.0f);
        obj->nodes[i].force = float3(9.0f, 9.0f, 9.0f);
        obj->nodeProperties[i].waterSurfaceZ = 4.0f;
    }
    obj->beams[0].restLength = 1.5f;
    obj->beamParams[0].deformCompress = 800.0f;
    obj->beamParams[0].deformTension = -900.0f;
    obj->beamParams[0].strength = 700.0f;
    obj->beams[0].limitForce = 700.0f;
    obj->beamParams[0].lastNotifiedLength = 1.5f;
    obj->beams[1].type = BEAM_BROKEN;
    obj->breakCollisionTriangle(0);
    obj->deflatePressureGroup(0);
    obj->pressureGroups[0].area = 0.25f;
    obj->setWind(5.0f, 5.0f, 5.0f);
    obj->substepCount = 40;
    obj->simTime = 0.02f;
    // Not restored by a reset: spring and damping, masses.
    obj->setBeamSpringDamp(2, 123.0f, 4.0f, -1.0f, -1.0f);
    obj->setNodeMass(2, 50.0f);
    obj->setGravity(-1.0f);

    obj->reset(false);

    expectFloat3Eq(obj->nodes[0].pos, float3(0.0f, 0.0f, 0.0f));
    expectFloat3Eq(obj->nodes[1].pos, float3(2.0f, 0.0f, 0.0f));
    expectFloat3Eq(obj->nodes[2].pos, float3(0.0f, 2.0f, 0.0f));
    for (int i = 0; i < 3; ++i) {
        expectFloat3Eq(obj->nodes[i].vel, float3());
        expectFloat3Eq(obj->nodes[i].force, float3());
        expectFloat3Eq(obj->nodes[i].worldPos, obj->nodes[i].pos);
        EXPECT_FLOAT_EQ(obj->nodeProperties[i].waterSurfaceZ, 0.0f);
        EXPECT_FLOAT_EQ(obj->renderPositions[0][i].x, obj->nodes[i].pos.x);
        EXPECT_FLOAT_EQ(obj->renderPositions[1][i].y, obj->nodes[i].pos.y);
    }
    EXPECT_FLOAT_EQ(obj->beams[0].restLength, 2.0f);
    EXPECT_FLOAT_EQ(obj->beamParams[0].deformCompress, 400.0f);
    EXPECT_FLOAT_EQ(obj->beamParams[0].deformTension, -400.0f);
    EXPECT_FLOAT_EQ(obj->beamParams[0].strength, 1000.0f);
    EXPECT_FLOAT_EQ(obj->beams[0].limitForce, 400.0f);
    EXPECT_FLOAT_EQ(obj->beamParams[0].lastNotifiedLength, 2.0f);
    EXPECT_EQ(obj->beams[1].type, BEAM_NORMAL);
    EXPECT_EQ(obj->collisionTriangles[0].broken, 0);
    EXPECT_EQ(obj->collisionTriangles[0].radiusSteps, 1);
    EXPECT_FLOAT_EQ(obj->pressureGroups[0].area, builtGroup.baseArea);
    EXPECT_FLOAT_EQ(obj->pressureGroups[0].ambient, kGroupAmbient);
    EXPECT_FLOAT_EQ(obj->pressureGroups[0].hydroFactor, kGroupHydroFactor);
    EXPECT_FLOAT_EQ(obj->pressureGroups[0].amount, builtGroup.amount);
    expectFloat3Eq(obj->wind, float3());
    EXPECT_EQ(obj->substepCount, 0);
    EXPECT_EQ(obj->simTime, 0.0f);

    EXPECT_FLOAT_EQ(obj->beams[2].spring, 123.0f);
    EXPECT_FLOAT_EQ(obj->nodeProperties[2].mass, 50.0f);
    EXPECT_FLOAT_EQ(obj->nodes[2].dtOverMass, 0.0005f / 50.0f);
    // The gravity of setGravity is gone; Settings' gravity is back.
    EXPECT_FLOAT_EQ(obj->nodes[0].gravityForce, 10.0f * -9.81f);
    EXPECT_FLOAT_EQ(obj->nodes[2].gravityForce, 50.0f * -9.81f);

    EXPECT_EQ(script.calls, std::vector<std::string>{"vehicleResetted(false)"});
}

TEST_F(ResetTest, ResetGoesToTheNewOriginAndRotatesAboutTheReferenceNode)
{
    obj->refNode = 1;
    const Quaternion quarterTurn = Quaternion::fromAngleAxis(90.0f, float3(0.0f, 0.0f, 1.0f));
    EXPECT_TRUE(obj->resetTransformation(Vector3{10.0f, 20.0f, 30.0f}, quarterTurn));
    obj->reset(true);

    expectFloat3Eq(obj->originOffset, float3(10.0f, 20.0f, 30.0f));
    // The rotation applied is the conjugate's: node 0, 2 m behind the pivot on x, swings to +y.
    expectFloat3Eq(obj->nodes[1].pos, float3(2.0f, 0.0f, 0.0f));
    expectFloat3Near(obj->nodes[0].pos, float3(2.0f, 2.0f, 0.0f), 1e-5f);
    expectFloat3Near(obj->nodes[2].pos, float3(4.0f, 2.0f, 0.0f), 1e-5f);
    expectFloat3Near(obj->nodes[0].worldPos, float3(12.0f, 22.0f, 30.0f), 1e-5f);
    EXPECT_NEAR(obj->renderPositions[1][2].y, 2.0f, 1e-5f);
    // Spawn positions stay as built, so the next reset starts from them again.
    expectFloat3Eq(obj->nodeProperties[0].spawnPos, float3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(script.calls, std::vector<std::string>{"vehicleResetted(true)"});
}

TEST_F(ResetTest, ApplyTransformationMovesNothingWithoutRotationOrPivot)
{
    const auto positions = [&] {
        return std::vector<float>{obj->nodes[0].pos.x, obj->nodes[1].pos.x, obj->nodes[2].pos.y};
    };
    const std::vector<float> before = positions();

    obj->applyTransformation(Quaternion(0.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_EQ(positions(), before);

    const Quaternion turn = Quaternion::fromAngleAxis(90.0f, float3(0.0f, 0.0f, 1.0f));
    for (const int pivot : {-1, 3, kMaxNodes}) {
        obj->refNode = pivot;
        obj->applyTransformation(turn);
        EXPECT_EQ(positions(), before) << "refNode " << pivot;
    }
}

TEST_F(ResetTest, GroupBuiltWithoutPressureStaysWithoutAfterReset)
{
    node(0.0f, 0.0f, 1.0f);
    obj->setCollisionTriangle(-1, 0, 1, 3, 0.5f, -1.0f, 1, 0, nullptr);
    obj->setGroupPressure(1, 50000.0f);
    obj->reset(false);
    const PressureGroup& g = obj->pressureGroups[1];
    EXPECT_EQ(g.ambient, 0.0f);
    EXPECT_EQ(g.hydroFactor, 0.0f);
    EXPECT_EQ(g.amount, 0.0f);
    EXPECT_FLOAT_EQ(g.area, g.baseArea);
}

TEST_F(ResetTest, ResetAfterClearAndRebuildWithGapsRestoresNoStaleValues)
{
    obj->clear();
    node(0.0f, 0.0f, 0.0f);
    node(1.0f, 0.0f, 0.0f);
    obj->setNode(4, float3(0.0f, 0.0f, 1.0f), 10.0f, 0, 0.8f, -1, false, false);
    obj->setBeam(2, 0, 1, 1000.0f, 100.0f, 1.0f, 500.0f, 1.0f);
    ASSERT_EQ(obj->beam_count, 3);
    ASSERT_EQ(obj->node_count, 5);

    obj->reset(false);

    // Beams 0 and 1 were never defined in this build: nothing of the earlier build comes back.
    for (int b = 0; b < 2; ++b) {
        EXPECT_EQ(obj->beams[b].restLength, 0.0f);
        EXPECT_EQ(obj->beams[b].limitForce, 0.0f);
        EXPECT_EQ(obj->beamParams[b].strength, 0.0f);
    }
    // Node 2 of the earlier build is a gap now: no mass, no motion, no old position.
    for (int n = 2; n < 4; ++n) {
        EXPECT_EQ(obj->nodes[n].dtOverMass, 0.0f);
        EXPECT_EQ(obj->nodes[n].gravityForce, 0.0f);
        expectFloat3Eq(obj->nodes[n].pos, float3());
    }
}

TEST_F(ResetTest, RequestedResetsRunAtTheNextUpdateInOrder)
{
    struct Case {
        int flags;
        std::vector<std::string> calls;
        int nodesAfter;
    };
    const Case cases[] = {
        {0, {}, 3},
        {RESET_PHYSICS, {"vehicleResetted(false)"}, 3},
        {RESET_COMPLETELY, {"vehicleDestroy"}, 0},
        {RESET_PHYSICS | RESET_COMPLETELY, {"vehicleDestroy", "vehicleResetted(false)"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        obj->clear();
        node(0.0f, 0.0f, 0.0f);
        node(2.0f, 0.0f, 0.0f);
        node(0.0f, 2.0f, 0.0f);
        obj->nodes[1].pos = float3(9.0f, 9.0f, 9.0f);
        script.calls.clear();

        obj->requestReset(c.flags);
        // Nothing happens until the update.
        EXPECT_TRUE(script.calls.empty());
        EXPECT_EQ(obj->pendingResetRequests(), c.flags);

        obj->applyPendingResets();
        EXPECT_EQ(script.calls, c.calls);
        EXPECT_EQ(obj->node_count, c.nodesAfter);
        EXPECT_EQ(obj->pendingResetRequests(), 0);
        if (c.flags == RESET_PHYSICS) {
            EXPECT_FLOAT_EQ(obj->nodes[1].pos.x, 2.0f);
        }
    }
}

TEST_F(ResetTest, RequestsAccumulateUntilTheUpdate)
{
    obj->requestReset(RESET_PHYSICS);
    obj->requestReset(RESET_COMPLETELY);
    EXPECT_EQ(obj->pendingResetRequests(), RESET_PHYSICS | RESET_COMPLETELY);
}

TEST_F(ResetTest, ChangedRotationResetsAtTheNextUpdateAndRaisesPlacementFlags)
{
    obj->refRelativePlacement = false;
    obj->resetTransformation(Vector3{1.0f, 2.0f, 3.0f}, Quaternion(0.0f, 0.0f, 0.0f, 1.0f));
    obj->transformPending = false;
    obj->applyPendingResets();
    EXPECT_EQ(script.calls, std::vector<std::string>{"vehicleResetted(true)"});
    EXPECT_FALSE(obj->rotationChanged);
    EXPECT_TRUE(obj->transformPending);
    EXPECT_TRUE(obj->refRelativePlacement);
    expectFloat3Eq(obj->originOffset, float3(1.0f, 2.0f, 3.0f));
}

TEST_F(Lifecycle, ResetTransformationReportsWhetherTheRotationChanged)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* name;
        Quaternion stored;
        Quaternion given;
        bool changed;
    };
    const Case cases[] = {
        {"same all-zero rotation", {0, 0, 0, 0}, {0, 0, 0, 0}, false},
        {"same rotation", {0, 0, 0.7071068f, 0.7071068f}, {0, 0, 0.7071068f, 0.7071068f}, false},
        {"identity after all-zero", {0, 0, 0, 0}, {0, 0, 0, 1}, true},
        {"x differs", {0, 0, 0, 1}, {0.1f, 0, 0, 1}, true},
        {"y differs", {0, 0, 0, 1}, {0, 0.1f, 0, 1}, true},
        {"z differs", {0, 0, 0, 1}, {0, 0, 0.1f, 1}, true},
        {"w differs", {0, 0, 0, 1}, {0, 0, 0, 0.5f}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        obj->resetTransformation(Vector3{}, c.stored);
        obj->transformPending = false;
        EXPECT_EQ(obj->resetTransformation(Vector3{4.0f, 5.0f, 6.0f}, c.given), c.changed);
        EXPECT_EQ(obj->rotationChanged, c.changed);
        EXPECT_TRUE(obj->transformPending);
        expectFloat3Eq(obj->spawnOrigin, float3(4.0f, 5.0f, 6.0f));
        EXPECT_EQ(obj->transformRotation.w, c.given.w);
    }
    // A place or turn that is not finite would reach every node at the next reset: refused.
    obj->resetTransformation(Vector3{1.0f, 2.0f, 3.0f}, Quaternion(0.0f, 0.0f, 0.0f, 1.0f));
    obj->transformPending = false;
    EXPECT_FALSE(obj->resetTransformation(Vector3{4.0f, 5.0f, 6.0f}, Quaternion(nan, 0.0f, 0.0f, 1.0f)));
    EXPECT_FALSE(obj->resetTransformation(Vector3{nan, 5.0f, 6.0f}, Quaternion(0.0f, 0.0f, 0.0f, 1.0f)));
    EXPECT_FALSE(obj->resetTransformation(Vector3{4.0f, 1e30f, 6.0f}, Quaternion(0.0f, 0.0f, 0.0f, 1.0f)));
    EXPECT_FALSE(obj->transformPending);
    expectFloat3Eq(obj->spawnOrigin, float3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(obj->transformRotation.x, 0.0f);
}

TEST_F(Lifecycle, DestroyRunsOnceAlsoWhenTheDestructorFollows)
{
    node(0.0f, 0.0f, 0.0f);
    obj->destroy();
    EXPECT_TRUE(obj->isDestroyed());
    EXPECT_EQ(obj->node_count, 0);
    EXPECT_EQ(script.calls, std::vector<std::string>{"vehicleDestroy"});

    obj->destroy();
    // A destroyed object takes no more requests or commands: its lock is gone.
    obj->requestReset(RESET_PHYSICS);
    obj->applyPendingResets();
    EXPECT_EQ(obj->queueLuaCommand("print(1)", false), -2);
    obj.reset();
    EXPECT_EQ(script.calls, std::vector<std::string>{"vehicleDestroy"});
}

TEST_F(Lifecycle, DestructorAloneCallsDestroyOnce)
{
    obj.reset();
    EXPECT_EQ(script.calls, std::vector<std::string>{"vehicleDestroy"});
}

} // namespace
} // namespace VadiZov::test
