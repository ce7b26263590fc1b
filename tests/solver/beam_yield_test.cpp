// Beam laws over several substeps: a stretched beam that yields again and again until its
// weakened strength gives way, and a compressed pressured beam that only feels its gas.
#include <gtest/gtest.h>

#include <memory>

#include "object/bbeam_handles.h"
#include "solver/bbeam_forces.h"
#include "solver/bsubstep_context.h"
#include "base/blog.h"
#include "object/bobject.h"
#include "base/bsettings.h"
#include "tests/support/recording_script.h"
#include "tests/support/scoped_settings.h"

using namespace VadiZov;

namespace {

struct BeamYield : ::testing::Test {
    void SetUp() override
    {
        resetLogStateForTests();
        Settings::gravity = 0.0f;
        object = std::make_unique<BeamObjectImpl>();
        object->setScript(&script);
    }
    void TearDown() override
    {
        object->setScript(nullptr);
    }
    // Two nodes of 1 kg, `length` apart along x, joined by one beam at rest at that length.
    int pair(float length, float strength, float spring, float damp, float deform)
    {
        object->setNode(-1, float3(0.0f, 0.0f, 0.0f), 1.0f, 0, 1.0f, -1, false, true);
        object->setNode(-1, float3(length, 0.0f, 0.0f), 1.0f, 0, 1.0f, -1, false, true);
        return object->setBeam(-1, 0, 1, strength, spring, damp, deform, 1.0f).id();
    }
    float forceOnFirstNode()
    {
        for (int i = 0; i < object->node_count; ++i)
            object->nodes[i].force = float3();
        BeamSubstep::computeBeamForces(*object, context);
        return object->nodes[0].force.x;  // > 0: pulled towards node 1 at +x
    }

    VadiZov::testing::RecordingScript script;
    std::unique_ptr<BeamObjectImpl> object;
    SubstepContext context;  // what the object's core thread would own
    VadiZov::testing::ScopedSettings settings;
};

TEST_F(BeamYield, RepeatedStretchingYieldsWeakenTheBeamUntilItBreaks)
{
    // 10000 N/m, rest 1 m, deformation limits 100 N, strength 1450 N. Each substep the beam is
    // held 5 cm beyond its current rest length: a 500 N pull.
    pair(1.0f, 1450.0f, 10000.0f, 0.0f, 100.0f);
    object->beamParams[0].deformTriggerRatio = 0.005f;
    struct Yield {
        float rest, pull, tension, strength;
    };
    // Rest += tension / k + 0.05; pull halfway from 500 N to the tension limit; the limit grows
    // with the rest length; strength drops by the pull beyond the limit (0.05 m x k - |tension|).
    const Yield yields[] = {
        {1.04f, 300.0f, -104.0f, 1050.0f},
        {1.0796f, 302.0f, -107.96f, 654.0f},
    };
    for (const Yield& y : yields) {
        object->nodes[1].pos.x = object->beams[0].restLength + 0.05f;
        EXPECT_NEAR(forceOnFirstNode(), y.pull, 0.05f);
        EXPECT_NEAR(object->beams[0].restLength, y.rest, 1e-5f);
        EXPECT_NEAR(object->beamParams[0].deformTension, y.tension, 1e-2f);
        EXPECT_NEAR(object->beamParams[0].strength, y.strength, 0.05f);
        EXPECT_EQ(object->beams[0].limitForce, 100.0f);  // the compression limit is now the least
        EXPECT_NE(object->beams[0].type, BEAM_BROKEN);
    }
    // Third yield: strength 654 - (500 - 107.96) = 261.96 N, below the blended 303.98 N pull.
    object->nodes[1].pos.x = object->beams[0].restLength + 0.05f;
    EXPECT_EQ(forceOnFirstNode(), 0.0f);
    EXPECT_NEAR(object->beamParams[0].strength, 261.96f, 0.05f);
    EXPECT_EQ(object->beams[0].type, BEAM_BROKEN);
    EXPECT_EQ(script.count("beamDeformed"), 3);
    EXPECT_EQ(script.count("beamBroken"), 1);
    EXPECT_EQ(forceOnFirstNode(), 0.0f);  // broken: no force however far it is pulled
}

TEST_F(BeamYield, CompressedPressuredBeamHasNeitherSpringNorDamping)
{
    // 3 bar absolute over 0.01 m2, half the length is gas volume; strong spring and damping.
    const int id = pair(1.0f, 1e9f, 50000.0f, 500.0f, 1e9f);
    beam(object.get(), id).makePressured(300000.0f, 0.01f, 0.5f, 1e7f);
    auto gas = [](float len) { return 0.01f * (300000.0f / (0.5f * len + 0.5f) - 101325.0f); };
    object->nodes[1].pos.x = 0.8f;
    for (float speed : {-3.0f, 0.0f, 3.0f}) {
        SCOPED_TRACE(speed);
        object->nodes[1].vel = float3(speed, 0.0f, 0.0f);
        EXPECT_NEAR(-forceOnFirstNode(), gas(0.8f), 0.05f);
    }
    // Stretched, the spring and the damping join the gas: 0.1 m x 50000 and 3 m/s x 500.
    object->nodes[1].pos.x = 1.1f;
    object->nodes[1].vel = float3(3.0f, 0.0f, 0.0f);
    EXPECT_NEAR(-forceOnFirstNode(), gas(1.1f) - 5000.0f - 1500.0f, 0.5f);
}

} // namespace
