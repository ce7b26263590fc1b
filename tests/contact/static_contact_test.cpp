// Contact with the static collider: a node dropped on a triangle comes to rest on it, a static
// contact neither pushes out nor lets the terrain under it act, and the distance cache skips
// queries only while the node stays near a clear spot of the same triangles.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "tests/support/contact_fixture.h"

using namespace VadiZov;
using VadiZov::testing::gridSamples;

namespace {

class StaticContact : public VadiZov::testing::ContactScene {
protected:
    // A large triangle in the plane z = h facing up, covering [-50, 50] x [-50, 50].
    void floorAt(float h)
    {
        collider.addTriangle(float3(-50.0f, -50.0f, h), float3(-50.0f, 150.0f, h), float3(150.0f, -50.0f, h));
        collider.commit(false);
        collider.rebuild();
    }
};

TEST_F(StaticContact, ANodeDroppedOnATriangleComesToRestOnIt)
{
    params.terrain = nullptr;
    floorAt(0.0f);
    const int i = node(float3(1.0f, 2.0f, 0.5f));
    substeps(3000);  // falls for about 0.32 s, then lies still
    const NodeCore& n = object->nodes[i];
    const float3 settled = n.worldPos;
    EXPECT_LE(settled.z, 0.0f);  // at or just behind the surface
    EXPECT_GT(settled.z, -0.01f);
    EXPECT_EQ(settled.x, 1.0f);
    EXPECT_EQ(settled.y, 2.0f);
    substeps(1000);
    EXPECT_EQ(n.vel.z, 0.0f);
    EXPECT_EQ(n.worldPos.z, settled.z);
}

TEST_F(StaticContact, StaticContactCancelsTheApproachWithoutPushOutAndHidesTheTerrain)
{
    // Terrain 1 m high everywhere here; a bridge deck at z = 0 inside it.
    loadTerrain(16, 16, gridSamples(16, 16, [](int, int) { return 100; }), 0.01f);
    floorAt(0.0f);
    const int i = node(float3(5.0f, 5.0f, -0.05f));
    object->nodes[i].vel = float3(0.0f, 0.0f, -0.4f);
    substeps(10);
    EXPECT_NEAR(object->nodes[i].vel.z, 0.0f, 1e-6f) << "the approach is cancelled";
    const float z = object->nodes[i].worldPos.z;
    EXPECT_LT(z, -0.05f);
    substeps(200);
    // The terrain, 1 m above, would push it out at 1 m/s.
    EXPECT_NEAR(object->nodes[i].worldPos.z, z, 1e-6f);
    EXPECT_NEAR(object->nodes[i].vel.z, 0.0f, 1e-6f);
}

TEST_F(StaticContact, AClearSpotIsRememberedUntilTheTrianglesChange)
{
    const int i = node(float3(1.0f, 1.0f, 0.5f));
    auto contactAt = [&](float z) {
        NodeCore& n = object->nodes[i];
        n.worldPos = float3(1.0f, 1.0f, z);
        n.pos = n.worldPos;
        n.vel = float3();
        n.force = float3(0.0f, 0.0f, n.gravityForce);
        resolveNodeContacts(*object, &collider, nullptr, nullptr);
        return n.force.z != n.gravityForce;  // a contact replaced the weight
    };
    EXPECT_FALSE(contactAt(0.5f));  // nothing anywhere: the spot is remembered as clear
    EXPECT_EQ(object->nodes[i].lastStaticQueryPos.z, 0.5f);

    floorAt(0.45f);  // geometry arrives under the node after the clear query: asked at once
    EXPECT_TRUE(contactAt(0.42f)) << "0.08 m from the clear spot, but of the earlier triangles";
    // Near a surface the spot is not clear: the node is asked about on every call.
    EXPECT_EQ(object->nodes[i].lastStaticQueryPos.z, FLT_MAX);
    EXPECT_TRUE(contactAt(0.38f));
    // More than the query radius behind the floor nothing is near: no contact, a new clear spot.
    EXPECT_FALSE(contactAt(0.2f));
    EXPECT_EQ(object->nodes[i].lastStaticQueryPos.z, 0.2f);
}

} // namespace
