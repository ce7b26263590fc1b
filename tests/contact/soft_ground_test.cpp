// Soft ground (the node is shallower than the ground's depth): power-law drag capped by the stop
// limit, drag anisotropy, buoyancy and its non-Newtonian cap, and where the depth comes from.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "solver/bsubstep.h"
#include "tests/support/contact_fixture.h"

using namespace VadiZov;
using VadiZov::testing::gridSamples;

namespace {

class SoftGround : public VadiZov::testing::ContactScene {
protected:
    // Model 0 becomes a mud of the given kind, 1 m deep.
    void mud(float consistency, float behavior, float anisotropy = 0.0f, float density = 1000.0f)
    {
        groundModel g;
        g.defaultDepth = 1.0f;
        g.flowConsistencyIndex = consistency;
        g.flowBehaviorIndex = behavior;
        g.dragAnisotropy = anisotropy;
        g.fluidDensity = density;
        g.adhesionVelocity = 2.0f;
        groundModelTable().clearForEngineInit();
        groundModelTable().setGroundModel(g, "MUD");
    }
    // One response of a node 0.2 m deep with this velocity and force; returns the new force.
    float3 respond(const float3& vel, const float3& force, float mass = 1.0f, float depth = 0.2f)
    {
        object->clear();
        const int i = node(float3(5.0f, 5.0f, -depth), mass);
        object->nodes[i].vel = vel;
        object->nodes[i].force = force;
        contactOnly(object.get());
        return object->nodes[i].force;
    }
};

TEST_F(SoftGround, FlowPowerApproximatesThePowerLawAndStaysAFloat)
{
    struct Case {
        float speed, behavior, expected, tolerance;
    } const cases[] = {
        {1.0f, 0.5f, 1.0f, 0.0f},          // exact at unit speed
        {3.0f, 1.0f, 1.0f, 0.0f},          // Newtonian: no speed dependence
        {4.0f, 0.5f, 0.5f, 0.05f},         // 4^-0.5
        {0.25f, 0.5f, 2.0f, 0.2f},         // 0.25^-0.5
        {9.0f, 3.0f, 81.0f, 8.0f},         // 9^2
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed);
        EXPECT_NEAR(flowPower(c.speed * c.speed, c.behavior), c.expected, c.tolerance);
    }
    // Out of range: no undefined conversion, a float from 0 to infinity.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(std::isfinite(flowPower(nan, 0.5f)));
    EXPECT_EQ(flowPower(1e-30f, 40.0f), 0.0f);
    EXPECT_EQ(flowPower(1e30f, 40.0f), std::numeric_limits<float>::infinity());
    EXPECT_EQ(flowPower(0.0f, -40.0f), std::numeric_limits<float>::infinity());
}

TEST_F(SoftGround, NewtonianDragAndBuoyancy)
{
    mud(100.0f, 1.0f);
    const float3 gravity(0.0f, 0.0f, -9.81f);
    const float buoyancy = 1000.0f * 0.2f * 9.81f * 0.1f;  // density x depth x g x volume
    // Drag coefficient = surface factor 0.1 x consistency 100 = 10.
    const float3 f = respond(float3(1.0f, 0.0f, -1.0f), gravity);
    EXPECT_FLOAT_EQ(f.x, -10.0f);
    EXPECT_FLOAT_EQ(f.z, -9.81f + 10.0f + buoyancy);
    // At rest: no drag (the stop limit is undefined there), buoyancy only.
    const float3 still = respond(float3(), gravity);
    EXPECT_EQ(still.x, 0.0f);
    EXPECT_FLOAT_EQ(still.z, -9.81f + buoyancy);
    // Soft ground leaves no particle while the node sinks, one when it rises.
    object->frameQueues.contactParticles.clear();
    respond(float3(0.0f, 0.0f, 0.5f), gravity);
    ASSERT_EQ(object->frameQueues.contactParticles.size(), 1u);
    const particleData& p = object->frameQueues.contactParticles[0];
    EXPECT_FLOAT_EQ(p.depth, 0.2f);
    EXPECT_EQ(p.normalForce, 0.0f);
    EXPECT_FLOAT_EQ(p.slipVel, 0.5f);
    EXPECT_FLOAT_EQ(p.slipForce, 5.0f);  // the drag, 10 x 0.5
}

TEST_F(SoftGround, DragNeverMoreThanStopsTheNode)
{
    mud(1e9f, 1.0f, 0.0f, 0.0f);  // very thick, no buoyancy
    const int mass = 2;
    const float3 f = respond(float3(3.0f, -4.0f, 0.0f), float3(0.0f, 0.0f, -9.81f * mass), float(mass));
    object->nodes[0].force = f;
    BeamSubstep::integrateNodes(*object, kSubstepTime, nullptr);
    EXPECT_NEAR(object->nodes[0].vel.x, 0.0f, 1e-5f);
    EXPECT_NEAR(object->nodes[0].vel.y, 0.0f, 1e-5f);
}

TEST_F(SoftGround, AnisotropyEasesLeavingAndNonNewtonianBuoyancyDoesNotLift)
{
    const float3 gravity(0.0f, 0.0f, -9.81f);
    // Rising at 1 m/s, below the adhesion speed 2: the lift is mu x vn x anisotropy x (1/2)^2.
    mud(100.0f, 1.0f, 0.5f, 0.0f);
    const float3 eased = respond(float3(0.0f, 0.0f, 1.0f), gravity);
    EXPECT_FLOAT_EQ(eased.z, -9.81f - 10.0f + 100.0f * 1.0f * 0.5f * 0.25f);
    // Sinking: no anisotropy term.
    const float3 sinking = respond(float3(0.0f, 0.0f, -1.0f), gravity);
    EXPECT_FLOAT_EQ(sinking.z, -9.81f + 10.0f);

    // A shear-thinning mud under a node pulled out hard: buoyancy no larger than the pull.
    mud(0.0f, 0.5f, 0.0f, 1000.0f);
    const float3 pulled = respond(float3(0.0f, 0.0f, 0.1f), float3(0.0f, 0.0f, -50.0f));
    EXPECT_EQ(pulled.z, 0.0f);  // 196 N of buoyancy cut to the 50 N pull
    const float3 sinkingIn = respond(float3(0.0f, 0.0f, -0.1f), float3(0.0f, 0.0f, -50.0f));
    EXPECT_FLOAT_EQ(sinkingIn.z, -50.0f + 1000.0f * 0.2f * 9.81f * 0.1f);
}

// The terrain's depth byte overrides the model's depth: deeper than it is solid ground.
TEST_F(SoftGround, TheCellsDepthByteDecidesBetweenSoftAndSolid)
{
    mud(100.0f, 1.0f, 0.0f, 0.0f);  // 1 m deep by default
    struct Case {
        int depthCode;  // 0: the model's own 1 m
        bool soft;
    } const cases[] = {{0, true}, {20, true}, {10, false}};  // x 0.02 m: 0.4 and 0.2 m
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depthCode);
        // The depth map holds the complement of the code.
        const std::vector<uint8_t> depthMap(16 * 16, uint8_t(255 - c.depthCode));
        loadTerrain(16, 16, gridSamples(16, 16, [](int, int) { return 0; }), 0.01f, depthMap);
        object->clear();
        const int i = node(float3(5.0f, 5.0f, -0.3f));
        object->nodes[i].force = float3(0.0f, 0.0f, -9.81f);
        contactOnly();
        // Soft ground at rest without buoyancy adds nothing; solid ground pushes out at 0.3 m/s.
        if (c.soft)
            EXPECT_EQ(object->nodes[i].force.z, -9.81f);
        else
            EXPECT_NEAR(object->nodes[i].force.z, 0.3f * 2000.0f, 1e-2f);
    }
}

} // namespace
