// Triangle contact: which nodes touch a triangle and from which side, the adaptive search, the
// split between self-contacts and the worker's candidates, the reactions, friction by the
// triangle's ground model, and the faults a careless search would have (thread timing,
// collinear triangles).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/support/log_capture.h"
#include "tests/support/triangle_scene.h"

using namespace VadiZov;
using VadiZov::testing::anchorNode;
using VadiZov::testing::TriangleScene;

namespace {

class TriangleContactTest : public VadiZov::testing::LogCapture {
protected:
    void SetUp() override
    {
        LogCapture::SetUp();
        Settings::gravity = -9.81f;
        groundModelTable().clearForEngineInit();
        groundModelTable().setGroundModel(groundModel{}, "ASPHALT");
    }
    void TearDown() override
    {
        groundModelTable().clearForEngineInit();
        LogCapture::TearDown();
    }
    // The triangle (0,0,0) (1,0,0) (0,1,0) of fixed nodes, normal +z, as triangle 0 of o.
    static void addTriangle(BeamObjectImpl& o, int collisionGroup = -1)
    {
        int n[3];
        const float3 corners[3] = {float3(0, 0, 0), float3(1, 0, 0), float3(0, 1, 0)};
        for (int i = 0; i < 3; ++i) {
            n[i] = o.setNode(-1, corners[i], 1e9f, 0, 1.0f, collisionGroup, false, false);
            o.nodes[n[i]].gravityForce = 0.0f;
        }
        o.setCollisionTriangle(-1, n[0], n[1], n[2], 0.0f, -1.0f, -1, 0, nullptr);
    }
    static int probe(BeamObjectImpl& o, const float3& p, const float3& v, int collisionGroup = -1,
                     bool hitByTriangles = true)
    {
        const int n = o.setNode(-1, p, 1.0f, 0, 1.0f, collisionGroup, hitByTriangles, true);
        o.nodes[n].vel = v;
        return n;
    }
    // The velocity the node will have after the next integration.
    static float3 nextVelocity(const BeamObjectImpl& o, int n)
    {
        return o.nodes[n].vel + o.nodes[n].force * o.nodes[n].dtOverMass;
    }
};

} // namespace

TEST_F(TriangleContactTest, NodesTouchWithinTheBandAndFromTheSideTheyAreOn)
{
    struct Case {
        const char* what;
        float3 at;
        float vz;
        int side;  // 0 no contact, +1 pushed along the normal, -1 pushed out through the back
    };
    const Case cases[] = {
        {"0.03 m in front, approaching", float3(0.25f, 0.25f, 0.03f), -0.1f, 0},
        {"0.02 m in front, approaching", float3(0.25f, 0.25f, 0.02f), -1.0f, +1},
        {"0.02 m in front, leaving", float3(0.25f, 0.25f, 0.02f), 1.0f, 0},
        {"0.01 m in front, at rest under its weight", float3(0.25f, 0.25f, 0.01f), 0.0f, +1},
        {"0.01 m behind: still the front side", float3(0.25f, 0.25f, -0.01f), -1.0f, +1},
        {"0.02 m behind, approaching from below", float3(0.25f, 0.25f, -0.02f), 1.0f, -1},
        {"0.03 m behind", float3(0.25f, 0.25f, -0.03f), 1.0f, 0},
        {"beside the triangle (u + v > 1)", float3(0.6f, 0.6f, 0.01f), -1.0f, 0},
        {"beside the triangle (u < 0)", float3(-0.1f, 0.5f, 0.01f), -1.0f, 0},
    };
    for (const Case& c : cases) {
        TriangleScene scene;
        BeamObjectImpl& o = scene.addObject();
        addTriangle(o);
        // The node is placed where it will be after this substep's integration.
        const int p = probe(o, c.at - float3(0, 0, c.vz * kSubstepTime), float3(0, 0, c.vz));
        scene.layOut();
        scene.substeps(1);
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(scene.context(o).collisionCandidates.empty());
        if (c.side == 0) {
            EXPECT_TRUE(scene.context(o).selfContacts.empty());
            continue;
        }
        ASSERT_EQ(scene.context(o).selfContacts.size(), 1u);
        const float3 fc = scene.context(o).selfContacts[0].force;
        EXPECT_EQ(c.side > 0, fc.z > 0.0f) << fc.z;
        // The approach along the pushed side stops in this substep.
        const float vn = nextVelocity(o, p).z * float(c.side);
        EXPECT_NEAR(vn, 0.0f, 1e-4f);
    }
}

TEST_F(TriangleContactTest, OwnNodesAndNodesOfTheSameCollisionGroupNeverTouch)
{
    TriangleScene scene;
    BeamObjectImpl& o = scene.addObject();
    addTriangle(o, 3);
    // A corner itself (made colliding and hit-able), a node of group 3, a node that triangles
    // cannot hit, and one plain node as the control.
    o.nodes[0].collides = 1;
    o.nodeProperties[0].triangleCollides = 1;
    probe(o, float3(0.2f, 0.2f, 0.01f), float3(0, 0, -1), 3);
    probe(o, float3(0.3f, 0.2f, 0.01f), float3(0, 0, -1), -1, false);
    const int control = probe(o, float3(0.2f, 0.3f, 0.01f), float3(0, 0, -1));
    scene.layOut();
    scene.substeps(1);
    ASSERT_EQ(scene.context(o).selfContacts.size(), 1u);
    EXPECT_GT(o.nodes[control].force.z, 0.0f);
}

TEST_F(TriangleContactTest, AnIsolatedTriangleWidensItsSearchAndANeighbourNarrowsIt)
{
    TriangleScene scene;
    BeamObjectImpl& o = scene.addObject();
    addTriangle(o);
    // Far away and held there: never in any box.
    const int far = anchorNode(o, float3(50, 50, 50));
    o.nodes[far].collides = 1;
    o.nodeProperties[far].triangleCollides = 1;
    scene.layOut();
    const CollisionTriangle& t = o.collisionTriangles[0];
    // A search with n steps waits n substeps for the next, which has n + 1 steps.
    std::vector<int> searchedWithSteps;
    for (int s = 0; s < 2000; ++s) {
        const bool due = t.skip == 0;
        const int steps = std::max(int(t.radiusSteps), 1);
        scene.substeps(1);
        if (due)
            searchedWithSteps.push_back(steps);
    }
    ASSERT_GE(searchedWithSteps.size(), 45u);
    for (size_t i = 0; i < 40; ++i)
        EXPECT_EQ(searchedWithSteps[i], int(i) + 1) << i;
    EXPECT_EQ(searchedWithSteps.back(), 41);  // 1.025 m at most
    EXPECT_EQ(t.radiusSteps, 41);

    // A node beside the triangle but inside its box keeps being found: from then on the
    // triangle searches every substep, its radius halving down to one step.
    o.nodes[far].pos = o.nodes[far].worldPos = float3(0.9f, 0.9f, 0.0f);
    o.collisionTriangles[0].skip = 0;
    o.collisionTriangles[0].radiusSteps = 12;
    std::vector<int> steps;
    for (int s = 0; s < 6; ++s) {
        scene.substeps(1);
        EXPECT_EQ(t.skip, 0);
        steps.push_back(std::max(int(t.radiusSteps), 1));
    }
    EXPECT_EQ(steps, std::vector<int>({6, 3, 1, 1, 1, 1}));
}

TEST_F(TriangleContactTest, OtherObjectsNodesAreLeftToTheWorkerAndReactionsBalance)
{
    TriangleScene scene;
    BeamObjectImpl& owner = scene.addObject();
    addTriangle(owner);
    BeamObjectImpl& other = scene.addObject();
    const int p = probe(other, float3(0.3f, 0.2f, 0.01f), float3(0.4f, 0, -1));
    scene.layOut();
    // Only the search and the worker's step, so that the forces show the contact alone.
    scene.stepToSearch();
    const float3 weight = other.nodes[p].force;
    BeamSubstep::contactStage(owner, scene.context(owner), scene.params, scene.search());
    BeamSubstep::contactStage(other, scene.context(other), scene.params, scene.search());
    ASSERT_EQ(scene.context(owner).collisionCandidates.size(), 1u);
    EXPECT_TRUE(scene.context(owner).selfContacts.empty());
    EXPECT_EQ(scene.context(owner).collisionCandidates[0].object, 1);
    EXPECT_EQ(scene.context(owner).collisionCandidates[0].node, p);
    EXPECT_EQ(other.nodes[p].force.z, weight.z);  // nothing applied before the worker's step

    scene.resolveInterObjectContacts();
    const float3 fc = other.nodes[p].force - weight;
    EXPECT_GT(fc.z, 0.0f);
    float3 reaction;
    for (int k = 0; k < 3; ++k)
        reaction += owner.nodes[k].force;
    EXPECT_NEAR(reaction.x, -fc.x, 1e-5f * std::fabs(fc.z));
    EXPECT_NEAR(reaction.y, -fc.y, 1e-5f * std::fabs(fc.z));
    EXPECT_NEAR(reaction.z, -fc.z, 1e-5f * std::fabs(fc.z));
    // The weights: the touched point (0.3, 0.2) lies at u = 0.3, v = 0.2.
    EXPECT_NEAR(owner.nodes[1].force.z / reaction.z, 0.3f, 1e-3f);
    EXPECT_NEAR(owner.nodes[2].force.z / reaction.z, 0.2f, 1e-3f);

    // With the owner alone the candidate list stays empty.
    TriangleScene alone;
    BeamObjectImpl& single = alone.addObject();
    addTriangle(single);
    probe(single, float3(0.3f, 0.2f, 0.01f), float3(0, 0, -1));
    alone.layOut();
    alone.substeps(3);
    EXPECT_TRUE(alone.context(single).collisionCandidates.empty());
    EXPECT_EQ(alone.context(single).selfContacts.size(), 1u);
}

TEST_F(TriangleContactTest, OnlyInterObjectContactsEmitParticlesOnTheLastSubstep)
{
    TriangleScene scene;
    BeamObjectImpl& owner = scene.addObject();
    addTriangle(owner);
    probe(owner, float3(0.2f, 0.2f, 0.01f), float3(0, 0, -1));
    BeamObjectImpl& other = scene.addObject();
    probe(other, float3(0.4f, 0.2f, 0.01f), float3(0, 0, -1));
    scene.layOut();
    scene.params.lastSubstep = true;
    scene.substeps(1);
    EXPECT_EQ(scene.context(owner).selfContacts.size(), 1u);
    ASSERT_EQ(owner.frameQueues.contactParticles.size(), 1u);
    EXPECT_EQ(owner.frameQueues.contactParticles[0].id1, 0);  // the other object's node
    EXPECT_TRUE(other.frameQueues.contactParticles.empty());
}

TEST_F(TriangleContactTest, FrictionFollowsTheTrianglesGroundModel)
{
    struct Case {
        const char* what;
        float staticCoef, slidingCoef, stribeck, hydro;
        float speed;
        bool sticks;
        float friction;  // expected friction force (N) while sliding, on a 1 kg node: N = 9.81
    };
    const Case cases[] = {
        {"grips: stopping needs less than the static limit", 1.0f, 0.7f, 6.0f, 0.0f, 0.004f, true, 0.0f},
        {"slips: stopping needs more than the static limit", 1.0f, 0.7f, 6.0f, 0.0f, 0.006f, false, 9.81f},
        {"slides, far beyond the Stribeck speed", 0.2f, 0.1f, 0.01f, 0.0f, 1.0f, false, 0.981f},
        {"slides, well below the Stribeck speed", 0.2f, 0.1f, 100.0f, 0.0f, 1.0f, false, 1.962f},
        {"slides with hydrodynamic friction", 0.2f, 0.1f, 0.01f, 0.5f, 1.0f, false, 0.981f + 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        groundModel g;
        g.staticFrictionCoefficient = c.staticCoef;
        g.slidingFrictionCoefficient = c.slidingCoef;
        g.stribeckVelocity = c.stribeck;
        g.hydrodynamicFriction = c.hydro;
        groundModelTable().setGroundModel(g, "TEST");
        TriangleScene scene;
        BeamObjectImpl& o = scene.addObject();
        addTriangle(o);
        o.collisionTriangles[0].groundModelId = uint8_t(groundModelTable().count() - 1);
        const int p = probe(o, float3(0.2f, 0.2f, 0.01f), float3(c.speed, 0, 0));
        scene.layOut();
        scene.substeps(1);
        ASSERT_EQ(scene.context(o).selfContacts.size(), 1u);
        const float3 v = nextVelocity(o, p);
        EXPECT_NEAR(v.z, 0.0f, 1e-4f);
        if (c.sticks) {
            EXPECT_NEAR(v.x, 0.0f, 1e-4f);
        } else {
            EXPECT_NEAR(-o.nodes[p].force.x, c.friction, 2e-3f);
        }
    }
}

// The search of one object must give the same candidates whether or not another object's
// thread has already shifted that object's floating frame (last substep).
TEST_F(TriangleContactTest, CandidatesDoNotDependOnTheOtherObjectsFrameShift)
{
    std::vector<CollisionCandidate> found[2];
    for (int shifted = 0; shifted < 2; ++shifted) {
        TriangleScene scene;
        BeamObjectImpl& owner = scene.addObject();
        addTriangle(owner);
        BeamObjectImpl& other = scene.addObject();
        other.originOffset = float3(0.1f, 0.1f, 0.0f);
        anchorNode(other, float3(3, 3, 3));  // the reference node: far from the probe
        probe(other, float3(0.2f, 0.2f, 0.01f), float3(0, 0, -1));
        scene.layOut();
        scene.stepToSearch();
        if (shifted)
            BeamSubstep::updateRenderSnapshot(other, 0);
        BeamSubstep::contactStage(owner, scene.context(owner), scene.params, scene.search());
        found[shifted] = scene.context(owner).collisionCandidates;
    }
    ASSERT_EQ(found[0].size(), 1u);
    ASSERT_EQ(found[1].size(), 1u);
    EXPECT_EQ(std::memcmp(&found[0][0], &found[1][0], sizeof(CollisionCandidate)), 0);
    EXPECT_NEAR(found[0][0].point.u, 0.3f, 1e-5f);  // at (0.3, 0.3) in the world
}

TEST_F(TriangleContactTest, ACollinearTriangleTouchesNothingAndMakesNoNaN)
{
    TriangleScene scene;
    BeamObjectImpl& o = scene.addObject();
    int n[3];
    for (int i = 0; i < 3; ++i) {
        n[i] = anchorNode(o, float3(float(i), 0, 0));
    }
    o.setCollisionTriangle(-1, n[0], n[1], n[2], 0.0f, -1.0f, -1, 0, nullptr);
    const int p = probe(o, float3(0.5f, 0.0f, 0.0f), float3(0, 0, -1));
    const int q = probe(o, float3(1.5f, 0.001f, 0.0f), float3(0.3f, 0, 0));
    scene.layOut();
    scene.substeps(20);
    EXPECT_TRUE(scene.context(o).selfContacts.empty());
    for (int node : {p, q}) {
        EXPECT_TRUE(std::isfinite(o.nodes[node].force.x) && std::isfinite(o.nodes[node].force.y) &&
                    std::isfinite(o.nodes[node].force.z));
        EXPECT_TRUE(std::isfinite(o.nodes[node].pos.z));
    }
}
