// The distance at which a node that last found nothing near is asked about again: the squared
// move is compared with 0.01, so a move of exactly 0.1f (whose square rounds above 0.01) asks.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/contact_fixture.h"

using namespace VadiZov;

namespace {

class StaticRequery : public VadiZov::testing::ContactScene {};

TEST_F(StaticRequery, AMoveOfATenthOfAMetreAsksAgain)
{
    params.terrain = nullptr;
    const int i = node(float3(0.0f, 1.0f, 0.42f));
    // A floor facing up at z = 0.45 over [-50, 50] x [-50, 50]: a node at z = 0.42 is behind it.
    collider.addTriangle(float3(-50.0f, -50.0f, 0.45f), float3(-50.0f, 150.0f, 0.45f),
                         float3(150.0f, -50.0f, 0.45f));
    collider.commit(false);
    collider.rebuild();
    object->staticColliderGeneration = collider.generation();  // the caches below are of this set

    struct Case {
        float x;
        bool asked;
    } const cases[] = {
        {0.1f, true},                                // 0.1f * 0.1f = 0.010000001 > 0.01
        {std::nextafter(0.1f, 0.0f), false},        // its square does not exceed 0.01
        {0.2f, true},
        {0.05f, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        NodeCore& n = object->nodes[i];
        n.lastStaticQueryPos = float3(0.0f, 1.0f, 0.42f);  // remembered as clear
        n.worldPos = float3(c.x, 1.0f, 0.42f);
        n.pos = n.worldPos;
        n.vel = float3();
        n.force = float3(0.0f, 0.0f, n.gravityForce);
        resolveNodeContacts(*object, &collider, nullptr, nullptr);
        // A static contact under a resting node cancels its weight.
        EXPECT_EQ(n.force.z != n.gravityForce, c.asked);
    }
}

// A node that found nothing near asks again as soon as another set of triangles is in place,
// without moving: a floor put under a resting node holds it at once.
TEST_F(StaticRequery, ANewSetOfTrianglesIsAskedAboutAtOnce)
{
    params.terrain = nullptr;
    const int i = node(float3(0.0f, 1.0f, 0.42f));
    NodeCore& n = object->nodes[i];
    auto contactNow = [&] {
        n.force = float3(0.0f, 0.0f, n.gravityForce);
        resolveNodeContacts(*object, &collider, nullptr, nullptr);
        return n.force.z != n.gravityForce;
    };
    collider.addTriangle(float3(40.0f, 40.0f, 0.45f), float3(40.0f, 41.0f, 0.45f), float3(41.0f, 40.0f, 0.45f));
    collider.commit(false);
    collider.rebuild();
    EXPECT_FALSE(contactNow());
    EXPECT_EQ(n.lastStaticQueryPos.z, 0.42f);  // nothing near, remembered
    EXPECT_FALSE(contactNow());

    collider.addTriangle(float3(-50.0f, -50.0f, 0.45f), float3(-50.0f, 150.0f, 0.45f),
                         float3(150.0f, -50.0f, 0.45f));
    collider.commit(false);
    collider.rebuild();
    EXPECT_TRUE(contactNow());
}

} // namespace
