// Pressure groups and triangle drag: the group pressure from the previous substep's area, the
// outside pressure in air and under water, the stored unit normals, and the drag law with its
// cap, each on a single triangle whose numbers can be worked out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <memory>

#include "base/bsettings.h"
#include "tests/solver/weightless_object.h"
#include "tests/support/bit_checksum.h"
#include "object/bobject.h"
#include "solver/bsubstep.h"
#include "solver/bpressure_groups.h"
#include "solver/bsurface_forces.h"

using namespace VadiZov;

namespace {

struct SurfaceForces : VadiZov::testing::WeightlessObject {
    // Three nodes spanning a right triangle of legs `leg` in the xy plane at height z; its
    // normal is +z.
    void triangle(float leg, float pressure, int group, float drag = 0.0f, float mass = 1.0f, float z = 0.0f)
    {
        node(0.0f, 0.0f, z, mass);
        node(leg, 0.0f, z, mass);
        node(0.0f, leg, z, mass);
        object->setCollisionTriangle(-1, 0, 1, 2, drag, pressure, group, 0, nullptr);
    }
    void clearForces()
    {
        for (int i = 0; i < object->node_count; ++i)
            object->nodes[i].force = float3();
    }
    // Steps 9 and 10 of one substep on zeroed forces.
    void surfaceStep()
    {
        clearForces();
        updatePressureGroups(*object, context);
        applyTriangleSurfaceForces(*object, context);
    }
};

TEST_F(SurfaceForces, GroupPushesWithItsPressureLessTheAmbient)
{
    triangle(1.0f, 202650.0f, 0);
    surfaceStep();
    // amount = 202650 / 6 at area 1: 33775 Pa inside against 16887.5 outside, times |n| = 1.
    EXPECT_FLOAT_EQ(object->pressureGroups[0].pressure, 33775.0f);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FLOAT_EQ(object->nodes[i].force.z, 16887.5f) << i;
        EXPECT_EQ(object->nodes[i].force.x, 0.0f);
        EXPECT_EQ(object->nodes[i].force.y, 0.0f);
    }
    EXPECT_FLOAT_EQ(object->pressureGroups[0].area, 1.0f);  // summed again for the next substep
}

TEST_F(SurfaceForces, PressureUsesThePreviousSubstepsArea)
{
    triangle(1.0f, 202650.0f, 0);
    surfaceStep();
    // Doubling the legs quadruples the area; the pressure follows only one substep later.
    object->nodes[1].pos = float3(2.0f, 0.0f, 0.0f);
    object->nodes[2].pos = float3(0.0f, 2.0f, 0.0f);
    surfaceStep();
    EXPECT_FLOAT_EQ(object->pressureGroups[0].pressure, 33775.0f);
    EXPECT_FLOAT_EQ(object->nodes[0].force.z, 4.0f * 16887.5f);
    EXPECT_FLOAT_EQ(object->pressureGroups[0].area, 4.0f);
    surfaceStep();
    // The gas expanded to area^1.5 = 8 times its volume: an eighth of the pressure.
    EXPECT_FLOAT_EQ(object->pressureGroups[0].pressure, 33775.0f / 8.0f);
    EXPECT_FLOAT_EQ(object->nodes[0].force.z, 4.0f * (33775.0f / 8.0f - 16887.5f));
}

TEST_F(SurfaceForces, OutsidePressureFollowsAltitudeInAirAndDepthUnderWater)
{
    struct Case {
        const char* what;
        float density, worldZ, waterZ;
        float expectedForce;  // per node along +z: 33775 less the outside pressure
    };
    const Case cases[] = {
        {"air at sea level", 1.2f, 0.0f, 0.0f, 16887.5f},
        {"air below sea level counts as sea level", 1.2f, -50.0f, 0.0f, 16887.5f},
        // fastExp(-0.11855832) is 0.91588593 (the approximation, not e^x)
        {"air at 1000 m", 1.2f, 1000.0f, 0.0f, 18307.977f},
        // 1.6344417 x 1000 x 2 + 16887.5
        {"water, 2 m deep", 1000.0f, -2.0f, 0.0f, 13618.617f},
        {"water density above the surface", 1000.0f, 1.0f, 0.0f, 16887.5f},
        // the ambient part is taken at the surface's altitude
        {"water surface at 1000 m, node on it", 1000.0f, 1000.0f, 1000.0f, 18307.977f},
    };
    for (const Case& c : cases) {
        rebuild();
        triangle(1.0f, 202650.0f, 0);
        for (int i = 0; i < 3; ++i) {
            object->nodes[i].worldPos.z = c.worldZ;
            object->nodeProperties[i].mediumDensity = c.density;
            object->nodeProperties[i].waterSurfaceZ = c.waterZ;
        }
        surfaceStep();
        EXPECT_FLOAT_EQ(object->nodes[2].force.z, c.expectedForce) << c.what;
    }
}

TEST_F(SurfaceForces, CollapsedGroupKeepsForcesFiniteAndPushesAgainOnceOpen)
{
    triangle(1.0f, 202650.0f, 0);
    surfaceStep();
    // All three nodes on one line: the summed area becomes 0.
    object->nodes[2].pos = float3(0.5f, 0.0f, 0.0f);
    surfaceStep();
    EXPECT_FLOAT_EQ(object->pressureGroups[0].area, 0.0f);
    for (int step = 0; step < 2; ++step) {
        surfaceStep();
        EXPECT_TRUE(std::isfinite(object->pressureGroups[0].pressure));
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(std::isfinite(object->nodes[i].force.x) && std::isfinite(object->nodes[i].force.y) &&
                        std::isfinite(object->nodes[i].force.z))
                << "node " << i << " step " << step;
        }
    }
    // Reopened to a tiny triangle: no push yet (the area summed while closed was 0), then
    // the pressure of the small area pushes hard but finitely.
    object->nodes[2].pos = float3(0.0f, 0.01f, 0.0f);
    surfaceStep();
    EXPECT_EQ(object->nodes[2].force.z, 0.0f);
    surfaceStep();
    EXPECT_FLOAT_EQ(object->pressureGroups[0].pressure, 33775.0f * 1000.0f);
    EXPECT_GT(object->nodes[2].force.z, 0.0f);
    EXPECT_TRUE(std::isfinite(object->nodes[2].force.z));
}

TEST_F(SurfaceForces, DeflatedGroupPushesNothing)
{
    triangle(1.0f, 202650.0f, 0);
    surfaceStep();
    object->deflatePressureGroup(0);
    surfaceStep();
    EXPECT_EQ(object->nodes[0].force.z, 0.0f);
    object->setGroupPressure(0, 202650.0f);
    surfaceStep();
    EXPECT_FLOAT_EQ(object->nodes[0].force.z, 16887.5f);
}

TEST_F(SurfaceForces, StoresUnitNormalAndReciprocalLengthAndSkipsBrokenTriangles)
{
    triangle(2.0f, -1.0f, -1);
    object->setCollisionTriangle(-1, 0, 2, 1, 0.0f, -1.0f, -1, 0, nullptr);  // reversed winding
    object->setCollisionTriangle(-1, 0, 1, 2, 0.0f, -1.0f, -1, 1, nullptr);  // built broken
    object->setCollisionTriangle(-1, 0, 1, 2, 0.0f, -1.0f, -1, 2, nullptr);  // only 1 means broken here
    object->collisionTriangles[2].normal = float3(7.0f, 7.0f, 7.0f);
    surfaceStep();
    const auto& t = object->collisionTriangles;
    EXPECT_EQ(t[0].invNormLen, 0.25f);  // |n| = 4: twice the area
    EXPECT_EQ(t[0].normal.z, 1.0f);
    EXPECT_EQ(t[0].normal.x, 0.0f);
    EXPECT_EQ(t[1].normal.z, -1.0f);
    EXPECT_EQ(t[2].normal.x, 7.0f);  // untouched
    EXPECT_EQ(t[3].normal.z, 1.0f);
}

TEST_F(SurfaceForces, DragIsLinearThenQuadraticAndNeverReversesTheNode)
{
    struct Case {
        const char* what;
        float density, mass;
        float3 vel, wind;
        float expectedForceZ;  // on each node
    };
    const float k = 1.2f * 0.0833f;  // density x the drag scale, coefficient 1
    const Case cases[] = {
        {"slow: linear", 1.2f, 1.0f, float3(0, 0, 0.5f), float3(), -0.5f * k},
        {"fast: quadratic", 1.2f, 1.0f, float3(0, 0, -3.0f), float3(), 9.0f * k},
        {"sliding along the face: none", 1.2f, 1.0f, float3(5.0f, -2.0f, 0), float3(), 0.0f},
        {"still node in wind across the face", 1.2f, 1.0f, float3(), float3(0, 0, 2.0f), 4.0f * k},
        // 1 g in water at 100 m/s: the law asks 833 N s/m, the cap is m/dt = 2
        {"capped at mass over dt", 1000.0f, 0.001f, float3(0, 0, 100.0f), float3(), -200.0f},
    };
    for (const Case& c : cases) {
        rebuild();
        triangle(1.0f, -1.0f, -1, 1.0f, c.mass);
        object->wind = c.wind;
        for (int i = 0; i < 3; ++i) {
            object->nodes[i].vel = c.vel;
            object->nodeProperties[i].mediumDensity = c.density;
        }
        surfaceStep();
        EXPECT_FLOAT_EQ(object->nodes[1].force.z, c.expectedForceZ) << c.what;
        EXPECT_EQ(object->nodes[1].force.x, 0.0f) << c.what;
        // One integration step: the normal velocity relative to the flow must not change sign.
        const float before = c.vel.z - c.wind.z;
        const float after = c.vel.z + object->nodes[1].force.z * object->nodes[1].dtOverMass - c.wind.z;
        EXPECT_GE(before * after, 0.0f) << c.what;
    }
}

// A fan of six triangles around a centre node in the xy plane (normals +z): the centre is
// shared by all six, each rim node by two.
struct DragFan : SurfaceForces {
    void fan(float centreMass, float rimMass, float dragCoef)
    {
        node(0.0f, 0.0f, 0.0f, centreMass);
        for (int i = 0; i < 6; ++i) {
            const float a = float(i) * 1.0471976f;
            node(0.1f * std::cos(a), 0.1f * std::sin(a), 0.0f, rimMass);
        }
        for (int i = 0; i < 6; ++i)
            object->setCollisionTriangle(-1, 0, 1 + i, 1 + (i + 1) % 6, dragCoef, -1.0f, -1, 0, nullptr);
    }
    void setVelocity(const float3& v)
    {
        for (int i = 0; i < object->node_count; ++i)
            object->nodes[i].vel = v;
    }
};

TEST_F(DragFan, ANodeSharedByManyTrianglesGetsAtMostTheDragThatStopsIt)
{
    // 0.14 g at the centre: one triangle alone asks 1.2 x 3 x 0.0833 = 0.3 N s/m, above the
    // node's mass over the substep (0.28); its six triangles together may give no more than that.
    fan(0.00014f, 1.0f, 1.0f);
    setVelocity(float3(0.0f, 0.0f, -3.0f));
    surfaceStep();
    EXPECT_FLOAT_EQ(object->nodes[0].force.z, 0.28f * 3.0f);
    const float after = -3.0f + object->nodes[0].force.z * object->nodes[0].dtOverMass;
    EXPECT_LE(std::fabs(after), 1e-5f) << "stopped, not thrown back";
    // The rim nodes are far below their caps and get each triangle's full drag.
    EXPECT_FLOAT_EQ(object->nodes[1].force.z, 2.0f * (1.2f * 3.0f * 0.0833f) * 3.0f);
}

// A negative term (a coefficient or a host's density that got past the checks) gives no drag and
// does not raise what the node's other triangles may give.
TEST_F(DragFan, ANegativeTermNeitherPushesNorRaisesTheCap)
{
    fan(0.00014f, 1.0f, 1.0f);
    object->collisionTriangles[0].dragCoef = -50.0f;
    setVelocity(float3(0.0f, 0.0f, -3.0f));
    surfaceStep();
    EXPECT_FLOAT_EQ(object->nodes[0].force.z, 0.28f * 3.0f);
    // Rim node 1 has triangle 0 (negative, nothing) and triangle 5 (full drag).
    EXPECT_FLOAT_EQ(object->nodes[1].force.z, (1.2f * 3.0f * 0.0833f) * 3.0f);

    rebuild();
    fan(1.0f, 1.0f, 1.0f);
    object->nodeProperties[0].mediumDensity = -1.2f;
    setVelocity(float3(0.0f, 0.0f, -3.0f));
    surfaceStep();
    EXPECT_EQ(object->nodes[0].force.z, 0.0f);
}

TEST_F(DragFan, FallingFanWithALightCentreStaysBounded)
{
    Settings::gravity = -9.81f;
    for (const float rimMass : {0.00014f, 1.0f}) {
        rebuild();
        fan(0.00014f, rimMass, 1.0f);
        setVelocity(float3(0.0f, 0.0f, -1.0f));
        float fastest = 0.0f;
        for (int i = 0; i < 200; ++i) {  // 0.1 s
            runSubsteps(1);
            for (int n = 0; n < object->node_count; ++n) {
                const float speed = object->nodes[n].vel.length();
                fastest = std::max(fastest, std::isfinite(speed) ? speed : FLT_MAX);
            }
        }
        // Drag only slows a node: none ever goes faster than its start plus 0.1 s of gravity.
        EXPECT_LE(fastest, 1.0f + 9.81f * 0.1f + 1e-3f) << "rim nodes of " << rimMass << " kg";
    }
}

// Heavy nodes shared by several triangles, in wind: no node reaches its cap, and the fan moves
// as it did when each triangle was capped alone (value recorded then).
TEST_F(DragFan, FanBelowTheCapKeepsItsBits)
{
    Settings::gravity = -9.81f;
    fan(0.05f, 0.02f, 2.0f);
    object->wind = float3(1.0f, -2.0f, 4.0f);
    setVelocity(float3(0.3f, 0.0f, -2.0f));
    object->nodes[0].vel.z = -2.5f;
    VadiZov::testing::BitChecksum sum;
    for (int i = 0; i < 2000; ++i) {
        runSubsteps(1);
        for (int n = 0; n < object->node_count; ++n) {
            sum.add(object->nodes[n].pos);
            sum.add(object->nodes[n].vel);
        }
    }
    EXPECT_EQ(sum.value(), 0x1b7d10f37df589b4ull) << "0x" << std::hex << sum.value();
}

TEST_F(SurfaceForces, FallingTriangleReachesItsTerminalSpeed)
{
    Settings::gravity = -9.81f;
    triangle(1.0f, -1.0f, -1, 1.0f, 1.0f, 5000.0f);
    runSubsteps(40000);  // 20 s
    // sqrt(9.81 / (1.2 x 0.0833)) = 9.9065 m/s; float32 settles a hair below
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(object->nodes[i].vel.z, -9.9065f, 0.002f) << i;
    EXPECT_EQ(object->nodes[0].vel.x, 0.0f);
}

} // namespace
