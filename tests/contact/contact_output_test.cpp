// What contact leaves behind: tire marks (partner rule, spacing, the conditions that suppress
// them) and contact particles (only on the last substep of a frame, not in water).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/support/contact_fixture.h"

using namespace VadiZov;

namespace {

class ContactOutput : public VadiZov::testing::ContactScene {
protected:
    void SetUp() override
    {
        ContactScene::SetUp();
        groundModel g;
        g.skidMarks = true;
        g.collisiontype = 7;
        groundModelTable().clearForEngineInit();
        groundModelTable().setGroundModel(g, "ASPHALT");
        flatTerrain();
    }
    // A tire node on the ground at (5, 5, 0) sliding along x.
    int tireNode(float speed = 5.0f)
    {
        const int i = node(float3(5.0f, 5.0f, 0.0f));
        object->setNodeMaterial(i, kTireMaterial);
        object->nodes[i].vel = float3(speed, 0.0f, 0.0f);
        object->nodes[i].force = float3(0.0f, 0.0f, object->nodes[i].gravityForce);
        return i;
    }
    const std::vector<TireMark>& marks() const { return object->frameQueues.tireMarks; }
};

TEST_F(ContactOutput, TireMarkPartnerRule)
{
    struct Case {
        const char* what;
        bool hasPartner;
        float3 offset;  // partner minus tire node
        int partnerId;  // -1: the partner node made here
        float intensity;
        float3 markOffset;  // mark minus the tire node's world position
    } const cases[] = {
        {"no partner", false, {}, -1, 1.0f, {}},
        {"partner across the tread", true, {0.0f, 0.3f, 0.0f}, -1, 1.0f, {0.0f, 0.15f, 0.0f}},
        {"partner straight up", true, {0.0f, 0.0f, 0.3f}, -1, 0.4f, {}},
        {"partner at 45 degrees", true, {0.0f, 0.3f, 0.3f}, -1, 0.4f,
         {0.0f, 0.3f * (0.5f - 0.5f * 0.70710677f), 0.3f * (0.5f - 0.5f * 0.70710677f)}},
        {"partner at 30 degrees", true, {0.0f, 0.3f, 0.17320508f}, -1, 0.5f,
         {0.0f, 0.3f * 0.25f, 0.17320508f * 0.25f}},
        {"partner on the same spot", true, {}, -1, 1.0f, {}},
        {"partner id beyond the nodes", true, {}, 99, 1.0f, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        object->clear();
        object->frameQueues.tireMarks.clear();
        const int i = tireNode();
        if (c.hasPartner) {
            int partner = c.partnerId;
            if (partner < 0)
                partner = object->setNode(-1, float3(5.0f, 5.0f, 0.0f) + c.offset, 1.0f, 0, 1.0f, -1, false, false);
            object->nodeProperties[i].tireMarkPartner = partner;
        }
        contactOnly();
        ASSERT_EQ(marks().size(), 1u);
        const TireMark& m = marks()[0];
        EXPECT_NEAR(m.intensity, c.intensity, 1e-5f);
        EXPECT_NEAR(m.position.x, 5.0f + c.markOffset.x, 1e-5f);
        EXPECT_NEAR(m.position.y, 5.0f + c.markOffset.y, 1e-5f);
        EXPECT_NEAR(m.position.z, 0.0f + c.markOffset.z, 1e-5f);
        EXPECT_EQ(m.normal.z, 1.0f);
        EXPECT_EQ(object->nodeProperties[i].lastTireMarkPos.x, m.position.x);
    }
}

TEST_F(ContactOutput, TireMarksOfANodeAreSpacedAtLeastTheMarkDistance)
{
    const int i = tireNode();
    for (int k = 0; k <= 100; ++k) {
        NodeCore& n = object->nodes[i];
        n.worldPos = float3(5.0f + 0.01f * float(k), 5.0f, 0.0f);
        n.pos = n.worldPos;
        n.vel = float3(5.0f, 0.0f, 0.0f);
        n.force = float3(0.0f, 0.0f, n.gravityForce);
        contactOnly();
    }
    ASSERT_EQ(marks().size(), 7u);  // 5.00, 5.15, ... 5.90
    for (size_t k = 1; k < marks().size(); ++k) {
        const float gap = marks()[k].position.x - marks()[k - 1].position.x;
        EXPECT_GT(gap * gap, 0.02f);
        EXPECT_LT(gap, 0.16f);
    }
}

TEST_F(ContactOutput, NoTireMarksUnlessATireSlidesFastOnMarkingGround)
{
    struct Case {
        const char* what;
        float speed;
        int material;
        bool skidMarks;
        float medium;
        size_t marks, particles;
    } const cases[] = {
        {"tire sliding fast", 5.0f, kTireMaterial, true, 1.2f, 1, 1},
        {"below the slip threshold", 1.5f, kTireMaterial, true, 1.2f, 0, 1},
        {"not a tire", 5.0f, 0, true, 1.2f, 0, 1},
        {"ground leaves no marks", 5.0f, kTireMaterial, false, 1.2f, 0, 1},
        {"in water", 5.0f, kTireMaterial, true, 2.0f, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        groundModel g;
        g.skidMarks = c.skidMarks;
        groundModelTable().clearForEngineInit();
        groundModelTable().setGroundModel(g, "ASPHALT");
        object->clear();
        object->frameQueues.tireMarks.clear();
        object->frameQueues.contactParticles.clear();
        const int i = tireNode(c.speed);
        object->setNodeMaterial(i, c.material);
        object->nodeProperties[i].mediumDensity = c.medium;
        contactOnly(object.get());
        EXPECT_EQ(marks().size(), c.marks);
        EXPECT_EQ(object->frameQueues.contactParticles.size(), c.particles);
    }
}

TEST_F(ContactOutput, ParticlesOnlyOnTheLastSubstepOfAFrame)
{
    const int i = node(float3(3.0f, 3.0f, 0.0f), 2.0f);
    object->setNodeMaterial(i, 3);
    params.lastSubstep = false;
    object->nodes[i].force = float3(0.0f, 0.0f, object->nodes[i].gravityForce);
    groundContactStep(*object, params);
    EXPECT_TRUE(object->frameQueues.contactParticles.empty());

    params.lastSubstep = true;
    object->nodes[i].force = float3(0.0f, 0.0f, object->nodes[i].gravityForce);
    groundContactStep(*object, params);
    ASSERT_EQ(object->frameQueues.contactParticles.size(), 1u);
    const particleData& p = object->frameQueues.contactParticles[0];
    EXPECT_EQ(p.id1, i);
    EXPECT_EQ(p.materialID1, 3);
    EXPECT_EQ(p.materialID2, 7);  // the ground model's collision type
    EXPECT_EQ(p.pos.x, 3.0f);
    EXPECT_EQ(p.normal.z, 1.0f);
    EXPECT_EQ(p.slipVel, 0.0f);    // resting: it sticks
    EXPECT_EQ(p.slipForce, 0.0f);
    EXPECT_FLOAT_EQ(p.normalForce, -2.0f * 9.81f);  // the normal force, negated
    EXPECT_EQ(p.depth, 0.0f);
}

} // namespace
