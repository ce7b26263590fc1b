// Slide-node forces: the spring with slack towards the rail and its reaction on the rail's
// nodes, detaching at the break force, travel from segment to segment on open and looped
// rails, stop links and corners.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "base/bsettings.h"
#include "tests/solver/weightless_object.h"
#include "object/bobject.h"
#include "object/bobject_rails.h"
#include "solver/bslide_nodes.h"

using namespace VadiZov;

namespace {

struct SlideNodes : VadiZov::testing::WeightlessObject {
    // A rail through the given points; link i is node i.
    int rail(const std::vector<float3>& points, bool looped = false, int stopLink = -1)
    {
        const int r = addRail(*object, looped ? 1 : 0);
        for (size_t i = 0; i < points.size(); ++i)
            addRailLink(*object, r, node(points[i].x, points[i].y, points[i].z), int(i) == stopLink ? 1 : 0, 0);
        return r;
    }
    // The slide step on zeroed forces.
    void step()
    {
        for (int i = 0; i < object->node_count; ++i)
            object->nodes[i].force = float3();
        applySlideNodeForces(*object);
    }
    const float3& force(int n) const { return object->nodes[n].force; }
    int segment(int slide = 0) const { return object->slideNodes[size_t(slide)].segment; }

};

TEST_F(SlideNodes, SpringWithSlackPullsTowardsTheRailAndTheRailTakesTheReaction)
{
    struct Case {
        const char* what;
        float y, breakForce;
        float3 onNode, onA, onB;
        int segmentAfter;
    };
    const Case cases[] = {
        // Q = 0.25, 0.1 m off the rail: 1000 x (0.1 - 0.02) = 80 N, shared 3:1 by A and B
        {"held", 0.1f, 1000.0f, float3(0, -80, 0), float3(0, 60, 0), float3(0, 20, 0), 0},
        {"breaks", 0.1f, 50.0f, float3(), float3(), float3(), -1},
        {"inside the slack", 0.01f, 1000.0f, float3(), float3(), float3(), 0},
    };
    for (const Case& c : cases) {
        rebuild();
        rail({float3(0, 0, 0), float3(2, 0, 0)});
        const int x = node(0.5f, c.y);
        addSlidenode(*object, x, 0, 1, 0, 0.02f, 1000.0f, c.breakForce, 0.0f);
        ASSERT_EQ(segment(), 0) << c.what;
        step();
        EXPECT_EQ(segment(), c.segmentAfter) << c.what;
        for (const auto& [n, expected] : {std::pair{x, c.onNode}, std::pair{0, c.onA}, std::pair{1, c.onB}}) {
            EXPECT_NEAR(force(n).x, expected.x, 1e-3f) << c.what << " node " << n;
            EXPECT_NEAR(force(n).y, expected.y, 1e-3f) << c.what << " node " << n;
            EXPECT_EQ(force(n).z, expected.z) << c.what << " node " << n;
        }
    }
}

TEST_F(SlideNodes, TravelAlongOpenAndLoopedRails)
{
    struct Case {
        const char* what;
        bool looped;
        int startSegment;
        float3 at;
        int segmentAfter;
    };
    // A square rail 0-1-2-3 with side 1; looped it closes back to link 0.
    const std::vector<float3> square = {float3(0, 0, 0), float3(1, 0, 0), float3(1, 1, 0), float3(0, 1, 0)};
    const Case cases[] = {
        {"forward onto the next segment", false, 0, float3(1.02f, 0.3f, 0), 1},
        {"backward onto the previous segment", false, 1, float3(0.3f, -0.02f, 0), 0},
        {"off the open end", false, 2, float3(-0.2f, 1.0f, 0), -1},
        {"off the open start", false, 0, float3(-0.2f, 0.0f, 0), -1},
        {"looped: past the last link onto segment 0", true, 3, float3(0.3f, -0.02f, 0), 0},
        {"looped: back from segment 0 onto the last", true, 0, float3(-0.02f, 0.4f, 0), 3},
    };
    for (const Case& c : cases) {
        rebuild();
        rail(square, c.looped);
        const int x = node(c.at.x, c.at.y, c.at.z);
        addSlidenode(*object, x, 0, 0, 0, 0.0f, 1000.0f, 1e6f, 0.0f);
        object->slideNodes[0].segment = c.startSegment;
        step();
        EXPECT_EQ(segment(), c.segmentAfter) << c.what;
        if (c.segmentAfter >= 0) {
            const float3& f = force(x);
            EXPECT_GT(f.x * f.x + f.y * f.y, 0.0f) << c.what << ": the new segment's spring acts";
        }
    }
}

TEST_F(SlideNodes, StopLinkHoldsUntilItsBreakForce)
{
    struct Case {
        float stopBreak;
        int segmentAfter;
        float forceX;  // on the slide node, 0.2 m past the stop: 1000 x 0.2 = 200 N back
    };
    const Case cases[] = {{500.0f, 0, -200.0f}, {150.0f, 1, 0.0f}, {0.0f, 1, 0.0f}};
    for (const Case& c : cases) {
        rebuild();
        rail({float3(0, 0, 0), float3(1, 0, 0), float3(2, 0, 0)}, false, 1);
        const int x = node(1.2f, 0.0f);
        addSlidenode(*object, x, 0, 0, 0, 0.0f, 1000.0f, 1e6f, c.stopBreak);
        object->slideNodes[0].segment = 0;
        step();
        EXPECT_EQ(segment(), c.segmentAfter) << c.stopBreak;
        EXPECT_NEAR(force(x).x, c.forceX, 1e-3f) << c.stopBreak;
        EXPECT_NEAR(force(1).x, -c.forceX, 1e-3f) << c.stopBreak;
    }

    // At the open end a stop keeps the node on the rail instead of letting it go.
    rebuild();
    rail({float3(0, 0, 0), float3(1, 0, 0)}, false, 1);
    node(1.3f, 0.0f);
    addSlidenode(*object, 2, 0, 0, 0, 0.0f, 1000.0f, 1e6f, 1e6f);
    object->slideNodes[0].segment = 0;
    step();
    EXPECT_EQ(segment(), 0);
    EXPECT_NEAR(force(2).x, -300.0f, 1e-3f);
}

TEST_F(SlideNodes, BrokenLinkDetachesAndADetachedNodeFeelsNothing)
{
    rail({float3(0, 0, 0), float3(1, 0, 0), float3(2, 0, 0)});
    const int x = node(1.5f, 0.3f);
    addSlidenode(*object, x, 0, 1, 0, 0.0f, 1000.0f, 1e6f, 0.0f);
    ASSERT_EQ(segment(), 1);
    object->rails[0].links[1].broken = 1;
    step();
    EXPECT_EQ(segment(), -1);
    step();
    EXPECT_EQ(force(x).y, 0.0f);

    // Travel onto a broken segment detaches too.
    object->rails[0].links[1].broken = 0;
    object->rails[0].links[0].broken = 1;
    object->slideNodes[0].segment = 1;
    object->nodes[x].pos = float3(0.5f, 0.1f, 0.0f);
    step();
    EXPECT_EQ(segment(), -1);
}

TEST_F(SlideNodes, NodeOutsideACornerStaysOnItsSegmentWhileTheCornerHoldsIt)
{
    // An L: along x to (1, 0), then up y. The node sits outside the corner, 0.2 m from it in
    // x and y: past the end of the first segment and before the start of the second.
    rail({float3(0, 0, 0), float3(1, 0, 0), float3(1, 1, 0)});
    const int x = node(1.2f, -0.2f);
    addSlidenode(*object, x, 0, 0, 0, 0.0f, 1000.0f, 1e6f, 0.0f);
    object->slideNodes[0].segment = 0;
    std::vector<int> segments;
    for (int i = 0; i < 6; ++i) {
        step();
        segments.push_back(segment());
        // The corner spring: 1000 x |(0.2, -0.2)| towards the corner link.
        EXPECT_NEAR(force(x).x, -200.0f, 1e-2f);
        EXPECT_NEAR(force(x).y, 200.0f, 1e-2f);
        EXPECT_NEAR(force(1).x, 200.0f, 1e-2f);
    }
    EXPECT_EQ(segments, std::vector<int>(6, 0));

    // Swinging into the second segment's reach hands it over there.
    object->nodes[x].pos = float3(1.1f, 0.3f, 0.0f);
    step();
    EXPECT_EQ(segment(), 1);
    EXPECT_NEAR(force(x).x, -100.0f, 1e-2f);
}

TEST_F(SlideNodes, CornerPastItsBreakForceFallsBackOnTheSegmentLaw)
{
    rail({float3(0, 0, 0), float3(1, 0, 0), float3(1, 1, 0)});
    const int x = node(1.2f, -0.2f);
    addSlidenode(*object, x, 0, 0, 0, 0.0f, 1000.0f, 100.0f, 0.0f);
    object->slideNodes[0].segment = 0;
    step();
    EXPECT_EQ(segment(), -1);  // 283 N at the corner, and more from the second segment's line
}

} // namespace
