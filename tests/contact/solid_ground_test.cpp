// Solid ground under whole substeps and single responses: rest, push-out, Stribeck friction and
// the stop that keeps friction from reversing a node.
#include <gtest/gtest.h>

#include <cmath>

#include "solver/bsubstep.h"
#include "base/bmath.h"
#include "tests/support/contact_fixture.h"

using namespace VadiZov;
using VadiZov::testing::gridSamples;

namespace {

class SolidGround : public VadiZov::testing::ContactScene {};

TEST_F(SolidGround, ANodeRestingOnTheGroundStaysExactlyAtRest)
{
    flatTerrain();
    const int i = node(float3(3.5f, 4.25f, 0.0f), 7.0f);
    substeps(2);
    // Weight only, no speed, no depth: the normal force is the weight and friction holds, so the
    // whole force is cancelled.
    EXPECT_EQ(object->nodes[i].force.x, 0.0f);
    EXPECT_EQ(object->nodes[i].force.y, 0.0f);
    EXPECT_EQ(object->nodes[i].force.z, 0.0f);
    substeps(4000);
    const NodeCore& n = object->nodes[i];
    EXPECT_EQ(n.vel.x, 0.0f);
    EXPECT_EQ(n.vel.y, 0.0f);
    EXPECT_EQ(n.vel.z, 0.0f);
    EXPECT_EQ(n.worldPos.x, 3.5f);
    EXPECT_EQ(n.worldPos.y, 4.25f);
    EXPECT_EQ(n.worldPos.z, 0.0f);
}

TEST_F(SolidGround, PushOutSpeedIsTheDepthUpToOneMetrePerSecond)
{
    flatTerrain();
    struct Case {
        float depth, speedAfter;
    } const cases[] = {{0.3f, 0.3f}, {0.05f, 0.05f}, {1.0f, 1.0f}, {2.0f, 1.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        object->clear();
        const int i = node(float3(5.0f, 5.0f, -c.depth), 3.0f);
        object->nodes[i].force = float3(0.0f, 0.0f, object->nodes[i].gravityForce);
        contactOnly();
        BeamSubstep::integrateNodes(*object, kSubstepTime, nullptr);
        EXPECT_NEAR(object->nodes[i].vel.z, c.speedAfter, 1e-6f);
        EXPECT_EQ(object->nodes[i].vel.x, 0.0f);
    }
}

TEST_F(SolidGround, ANodeBelowTheGroundIsPushedOutAndSettlesOnTheSurface)
{
    flatTerrain();
    const int i = node(float3(6.0f, 6.0f, -0.5f));
    object->nodes[i].vel = float3(0.0f, 0.0f, -2.0f);  // still sinking when it is found below
    float lastZ = -1.0f;
    float fastest = 0.0f;
    for (int k = 0; k < 20000; ++k) {
        substeps(1);
        const NodeCore& n = object->nodes[i];
        if (k > 0) {
            ASSERT_GE(n.worldPos.z, lastZ) << "substep " << k;  // it only rises
        }
        lastZ = n.worldPos.z;
        fastest = std::max(fastest, n.vel.z);
    }
    EXPECT_LE(fastest, 0.502f);  // never faster than its deepest point, 0.501 m
    EXPECT_LE(lastZ, 0.0f);            // approaches the surface from below, never overshoots
    EXPECT_GT(lastZ, -1e-3f);
    EXPECT_NEAR(object->nodes[i].vel.z, 0.0f, 1e-3f);
}

// One sliding response on flat ground, checked against the friction law written out here.
TEST_F(SolidGround, SlidingFrictionFollowsTheStribeckLaw)
{
    flatTerrain();
    groundModel g;
    g.staticFrictionCoefficient = 1.1f;
    g.slidingFrictionCoefficient = 0.6f;
    g.stribeckVelocity = 4.0f;
    g.hydrodynamicFriction = 0.05f;
    g.strength = 0.9f;
    groundModelTable().clearForEngineInit();
    groundModelTable().setGroundModel(g, "ICE");
    const float mass = 2.0f, friction = 0.8f;
    for (float speed : {0.3f, 1.0f, 4.0f, 9.0f, 30.0f}) {
        SCOPED_TRACE(speed);
        object->clear();
        const int i = node(float3(4.0f, 4.0f, 0.0f), mass, friction);
        object->nodes[i].vel = float3(speed * 0.6f, speed * 0.8f, 0.0f);
        object->nodes[i].force = float3(0.0f, 0.0f, object->nodes[i].gravityForce);
        object->frameQueues.contactParticles.clear();
        contactOnly(object.get());

        const float weight = mass * 9.81f;
        const float base = 0.9f * weight * friction;
        const float stribeck = fastExp(-(speed / 4.0f) * (speed / 4.0f));
        const float law = (0.6f + (1.1f - 0.6f) * stribeck) * base + 0.05f * speed;
        const float3 f = object->nodes[i].force;
        EXPECT_NEAR(f.x, -0.6f * law, 2e-5f * law);
        EXPECT_NEAR(f.y, -0.8f * law, 2e-5f * law);
        EXPECT_NEAR(f.z, 0.0f, 1e-4f);  // the normal force carries the weight
        ASSERT_EQ(object->frameQueues.contactParticles.size(), 1u);
        const particleData& p = object->frameQueues.contactParticles[0];
        EXPECT_NEAR(p.slipVel, speed, 1e-5f * speed);
        EXPECT_NEAR(p.slipForce, law, 2e-5f * law);
        EXPECT_NEAR(p.normalForce, -weight, 1e-4f);
        EXPECT_EQ(p.depth, 0.0f);
    }
}

TEST_F(SolidGround, StaticFrictionHoldsBelowItsLimitAndGivesWayAbove)
{
    flatTerrain();
    // A steady sideways pull on a 1 kg node at rest: friction 1 holds up to the weight, 9.81 N.
    for (const auto& [pull, sticks] : {std::pair{9.7f, true}, std::pair{10.5f, false}}) {
        SCOPED_TRACE(pull);
        object->clear();
        const int i = node(float3(4.0f, 4.0f, 0.0f), 1.0f);
        for (int k = 0; k < 2000; ++k) {
            object->nodes[i].force = float3(pull, 0.0f, object->nodes[i].gravityForce);
            contactOnly();
            BeamSubstep::integrateNodes(*object, kSubstepTime, nullptr);
        }
        if (sticks) {
            EXPECT_EQ(object->nodes[i].vel.x, 0.0f);
            EXPECT_EQ(object->nodes[i].worldPos.x, 4.0f);
        } else {
            // Sliding friction near rest is close to the static law: about 0.7 N are left over.
            EXPECT_GT(object->nodes[i].vel.x, 0.4f);
            EXPECT_LT(object->nodes[i].vel.x, 1.0f);
        }
    }
}

TEST_F(SolidGround, FrictionThatWouldReverseTheSlideStopsItInstead)
{
    flatTerrain();
    // A sliding law stronger than the static one, past the Stribeck drop: the node slides, but
    // the sliding friction would more than stop it within the substep.
    groundModel g;
    g.staticFrictionCoefficient = 0.5f;
    g.slidingFrictionCoefficient = 1.0f;
    g.stribeckVelocity = 1e-5f;
    groundModelTable().clearForEngineInit();
    groundModelTable().setGroundModel(g, "ODD");
    const int i = node(float3(4.0f, 4.0f, 0.0f), 1.0f);
    object->nodes[i].vel = float3(0.001f, 0.0f, 0.0f);
    object->nodes[i].force = float3(5.0f, 0.0f, object->nodes[i].gravityForce);
    contactOnly(object.get());
    ASSERT_EQ(object->frameQueues.contactParticles.size(), 1u);
    EXPECT_EQ(object->frameQueues.contactParticles[0].slipVel, 0.0f);
    EXPECT_EQ(object->frameQueues.contactParticles[0].slipForce, 0.0f);
    BeamSubstep::integrateNodes(*object, kSubstepTime, nullptr);
    EXPECT_NEAR(object->nodes[i].vel.x, 0.0f, 1e-9f);
}

TEST_F(SolidGround, ANodeLeavingFastEnoughIsLeftAlone)
{
    flatTerrain();
    const int i = node(float3(4.0f, 4.0f, -0.2f));
    object->nodes[i].vel = float3(1.0f, 0.0f, 0.5f);  // faster out than the push-out speed 0.2
    object->nodes[i].force = float3(3.0f, 0.0f, object->nodes[i].gravityForce);
    contactOnly();
    EXPECT_EQ(object->nodes[i].force.x, 3.0f);
    EXPECT_EQ(object->nodes[i].force.z, object->nodes[i].gravityForce);
}

// A node set down on a 30 degree slope of a ground that grips (friction 1) stays; on a slick one
// (friction 0.2) it slides down the slope.
TEST_F(SolidGround, OnASlopeGripHoldsAndSlickGroundSlides)
{
    // Height rises 0.577 m per metre along x: samples of 0.001 m.
    loadTerrain(16, 16, gridSamples(16, 16, [](int ix, int) { return ix * 577; }), 0.001f);
    const float3 start(8.3f, 8.6f, terrain.getHeight(float3(8.3f, 8.6f, 0.0f)));
    for (const auto& [friction, slides] : {std::pair{1.0f, false}, std::pair{0.2f, true}}) {
        SCOPED_TRACE(friction);
        object->clear();
        const int i = node(start, 1.0f, friction);
        substeps(1000);
        const NodeCore& n = object->nodes[i];
        if (slides) {
            EXPECT_LT(n.worldPos.x, start.x - 0.2f);
            EXPECT_LT(n.vel.x, -0.5f);
        } else {
            EXPECT_NEAR(n.worldPos.x, start.x, 1e-4f);
            EXPECT_NEAR(n.vel.x, 0.0f, 1e-4f);
        }
        // Either way it stays on the surface.
        EXPECT_NEAR(n.worldPos.z, terrain.getHeight(n.worldPos), 2e-3f);
    }
}

} // namespace
