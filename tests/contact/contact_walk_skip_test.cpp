// The ground-contact step leaves out its walk over the nodes only when there is nothing a node
// could touch; with terrain or static geometry present it is the full walk, bit for bit.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cstdint>
#include <vector>

#include "tests/support/contact_fixture.h"

using namespace VadiZov;

namespace {

class ContactWalkSkip : public VadiZov::testing::ContactScene {
protected:
    struct NodeBits {
        uint32_t force[3];
        uint32_t cache[3];
        bool operator==(const NodeBits&) const = default;
    };

    std::vector<NodeBits> snapshot() const
    {
        std::vector<NodeBits> out;
        for (int i = 0; i < object->node_count; ++i) {
            const NodeCore& n = object->nodes[i];
            out.push_back(NodeBits{{std::bit_cast<uint32_t>(n.force.x), std::bit_cast<uint32_t>(n.force.y),
                                    std::bit_cast<uint32_t>(n.force.z)},
                                   {std::bit_cast<uint32_t>(n.lastStaticQueryPos.x),
                                    std::bit_cast<uint32_t>(n.lastStaticQueryPos.y),
                                    std::bit_cast<uint32_t>(n.lastStaticQueryPos.z)}});
        }
        return out;
    }

    // Weight plus a sideways push, the static-query cache forgotten: what the walk reads.
    void resetNodes()
    {
        for (int i = 0; i < object->node_count; ++i) {
            NodeCore& n = object->nodes[i];
            n.force = float3(0.25f * float(i), -0.5f, n.gravityForce);
            n.lastStaticQueryPos = float3(1e30f, 1e30f, 1e30f);
        }
    }
};

TEST_F(ContactWalkSkip, TheStepMatchesTheFullWalkForEveryMixOfGround)
{
    flatTerrain();
    // A static floor at z = 0.5 over x, y in [20, 30]: outside the terrain's squares.
    collider.addTriangle(float3(20.0f, 20.0f, 0.5f), float3(20.0f, 40.0f, 0.5f), float3(40.0f, 20.0f, 0.5f));
    collider.commit(false);
    collider.rebuild();
    object->staticColliderGeneration = collider.generation();  // resetNodes writes the caches
    node(float3(3.0f, 3.0f, -0.01f), 2.0f);   // in the terrain
    node(float3(5.0f, 7.0f, 0.0f), 1.0f);     // resting on it
    node(float3(22.0f, 22.0f, 0.45f), 3.0f);  // behind the static floor
    node(float3(8.0f, 8.0f, 3.0f), 1.0f);     // in the air
    const int airborne = object->setNode(-1, float3(4.0f, 4.0f, -0.2f), 1.0f, 0, 1.0f, -1, false, false);

    struct Case {
        const char* name;
        bool withTerrain, withCollider;
    } const cases[] = {
        {"nothing", false, false},
        {"terrain only", true, false},
        {"static only", false, true},
        {"both", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        params.terrain = c.withTerrain ? &terrain : nullptr;
        params.collider = c.withCollider ? &collider : nullptr;
        params.lastSubstep = false;

        resetNodes();
        const std::vector<NodeBits> before = snapshot();
        groundContactStep(*object, params);
        const std::vector<NodeBits> stepped = snapshot();

        resetNodes();
        resolveNodeContacts(*object, params.collider, params.terrain, nullptr);
        EXPECT_EQ(stepped, snapshot());

        // The comparison means something only where the walk acts.
        if (c.withTerrain || c.withCollider)
            EXPECT_NE(stepped, before);
        else
            EXPECT_EQ(stepped, before);
        // A node that does not collide is never touched.
        EXPECT_EQ(stepped[size_t(airborne)], before[size_t(airborne)]);
    }
}

TEST_F(ContactWalkSkip, WholeSubstepsWithNothingToTouchFallFreely)
{
    params.terrain = nullptr;
    params.collider = nullptr;
    const int i = node(float3(1.0f, 1.0f, -5.0f), 2.0f);  // far below where the ground would be
    substeps(20);
    const NodeCore& n = object->nodes[i];
    EXPECT_LT(n.vel.z, 0.0f);
    EXPECT_EQ(n.vel.x, 0.0f);
    EXPECT_EQ(n.vel.y, 0.0f);
    EXPECT_EQ(n.lastStaticQueryPos.x, FLT_MAX);  // never asked
}

} // namespace
