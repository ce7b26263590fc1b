// Wheel torque and brakes: the drive shared over the rim nodes along their tangents, the
// measured spin, a wheel without nodes, and a braked wheel held against, or slipping under, a
// driving torque on a small wheel-and-body structure.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "base/bsettings.h"
#include "tests/solver/weightless_object.h"
#include "object/bobject.h"
#include "object/bobject_wheels.h"
#include "solver/bsubstep.h"
#include "solver/bwheel_forces.h"

using namespace VadiZov;

namespace {

struct WheelForces : VadiZov::testing::WeightlessObject {
    // Axle along y from (0, -0.5, 0) to (0, 0.5, 0), four rim nodes at radius 1 in the xz
    // plane; an optional reference node for the brake.
    wheelData& crossWheel(bool withReference)
    {
        node(0, -0.5f, 0);
        node(0, 0.5f, 0);
        const int reference = withReference ? node(0, -0.5f, 2.0f) : -1;
        wheel w = setWheel(*object, -1, 0, 1, reference);
        for (const float3 p : {float3(1, 0, 0), float3(-1, 0, 0), float3(0, 0, 1), float3(0, 0, -1)})
            w.addNode(node(p.x, p.y, p.z));
        return object->wheels[w.id()];
    }
    void step(float dt = kSubstepTime)
    {
        for (int i = 0; i < object->node_count; ++i)
            object->nodes[i].force = float3();
        applyWheelForces(*object, dt);
    }
};

TEST_F(WheelForces, DriveIsSharedOverTheRimAlongEachTangent)
{
    for (const bool withReference : {false, true}) {  // a reference without brake capacity is no brake
        rebuild();
        wheelData& w = crossWheel(withReference);
        w.torque = 100.0f;
        w.brakeWindup = 0.05f;
        step();
        const int rim = withReference ? 3 : 2;  // first rim node: (1, 0, 0)
        EXPECT_FLOAT_EQ(w.lastTorque, 25.0f);
        EXPECT_EQ(w.brakeWindup, 0.0f);
        EXPECT_FLOAT_EQ(object->nodes[rim].force.z, -25.0f);
        EXPECT_EQ(object->nodes[rim].force.x, 0.0f);
        EXPECT_FLOAT_EQ(object->nodes[rim + 2].force.x, 25.0f);  // (0, 0, 1)
        EXPECT_EQ(object->nodes[rim + 2].force.z, 0.0f);
        EXPECT_EQ(object->nodes[0].force.x, 0.0f);  // no reaction inside the object
    }
}

TEST_F(WheelForces, RigidRotationIsMeasuredAsItsSpeed)
{
    wheelData& w = crossWheel(false);
    const float3 axis(0, 1, 0);
    for (const float spin : {0.0f, 3.5f, -12.0f, 400.0f}) {
        for (int i = 0; i < w.nodeCount; ++i) {
            // v = w (a x r); the axle's offset along a does not count.
            w.nodes[i]->vel = axis.cross(w.nodes[i]->pos - object->nodes[0].pos) * spin;
        }
        step();
        EXPECT_NEAR(w.angularVelocity, spin, 1e-5f * std::fabs(spin) + 1e-6f) << spin;
    }
}

TEST_F(WheelForces, WheelWithoutNodesPutsNoNaNIntoTheObject)
{
    node(0, -0.5f, 0);
    node(0, 0.5f, 0);
    node(0, -0.5f, 2.0f);
    for (const float braking : {0.0f, 500.0f}) {
        wheel handle = setWheel(*object, 0, 0, 1, 2);
        wheelData& w = object->wheels[handle.id()];
        w.invNodeCount = INFINITY;  // 1 / 0
        w.torque = 100.0f;
        w.brakingTorque = braking;
        step();
        EXPECT_EQ(w.angularVelocity, 0.0f);
        EXPECT_EQ(w.lastTorque, 0.0f);
        EXPECT_TRUE(std::isfinite(w.brakeWindup));
        for (int i = 0; i < object->node_count; ++i) {
            const float3& f = object->nodes[i].force;
            EXPECT_TRUE(std::isfinite(f.x) && std::isfinite(f.y) && std::isfinite(f.z)) << i;
        }
    }
}

// A wheel of eight rim nodes on cone beams to both axle nodes, and a body node stiffly joined
// to the axle as the brake's reference; no gravity.
struct BrakedWheel : WheelForces {
    void SetUp() override
    {
        WheelForces::SetUp();
        node(0, -0.5f, 0, 5.0f);
        node(0, 0.5f, 0, 5.0f);
        body = node(0, -0.5f, 2.0f, 20.0f);
        beam(0, 1);
        beam(0, body);
        beam(1, body);
        wheel handle = setWheel(*object, -1, 0, 1, body);
        const int rimStart = object->node_count;
        for (int i = 0; i < 8; ++i) {
            const float angle = float(i) * 0.785398163f;
            const int n = node(std::cos(angle), 0.0f, std::sin(angle));
            handle.addNode(n);
            beam(n, 0);
            beam(n, 1);
            if (i > 0)
                beam(n, n - 1);
        }
        beam(rimStart, object->node_count - 1);
        object->loaded = true;
        w = &object->wheels[handle.id()];
    }
    void beam(int a, int b) { object->setBeam(-1, a, b, 1e9f, 2e5f, 50.0f, 1e9f, 1.0f); }
    int body = -1;
    wheelData* w = nullptr;
};

TEST_F(BrakedWheel, HoldsAgainstASmallerTorque)
{
    w->torque = 100.0f;
    w->brakingTorque = 500.0f;
    // The brake is an undamped spring and nothing here damps the wheel against the body, so
    // the wheel rocks about the angle where the spring carries the drive: 100 / (10 x 500).
    float largest = 0.0f, windupSum = 0.0f, spinSum = 0.0f;
    const int substeps = 4000;  // 2 s
    for (int i = 0; i < substeps; ++i) {
        runSubsteps(1);
        largest = std::fmax(largest, std::fabs(w->brakeWindup));
        windupSum += w->brakeWindup;
        spinSum += w->angularVelocity;
    }
    EXPECT_LT(largest, 0.1f);
    EXPECT_NEAR(windupSum / float(substeps), -0.02f, 3e-3f);
    EXPECT_NEAR(spinSum / float(substeps), 0.0f, 0.05f);  // it never turns away
}

TEST_F(BrakedWheel, SlipsAndTurnsUnderALargerTorque)
{
    w->torque = 1000.0f;
    w->brakingTorque = 500.0f;
    runSubsteps(2000);
    EXPECT_FLOAT_EQ(std::fabs(w->brakeWindup), kBrakeWindupLimit);
    // The rim carries the drive less the full brake, 500 N m, and spins up.
    EXPECT_NEAR(w->lastTorque * 8.0f, 500.0f, 1e-2f);
    EXPECT_GT(w->angularVelocity, 10.0f);
}

TEST_F(BrakedWheel, UnbrakedDriveSpinsTheWheelUp)
{
    w->torque = 100.0f;
    runSubsteps(2000);  // 1 s of 100 N m on 8 kg at radius 1: about 12.5 rad/s
    EXPECT_EQ(w->brakeWindup, 0.0f);
    EXPECT_NEAR(w->angularVelocity, 12.5f, 1.0f);
}

} // namespace
