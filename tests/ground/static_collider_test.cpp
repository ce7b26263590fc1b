#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "base/bmath.h"
#include "ground/bstatic_collider.h"
#include "ground/bstatic_tree.h"
#include "tests/support/log_capture.h"

using namespace VadiZov;

namespace {

const RawTriangle kFloor{float3(0, 0, 0), float3(1, 0, 0), float3(0, 1, 0)};

void addAll(StaticCollider& collider, const std::vector<RawTriangle>& triangles)
{
    for (const RawTriangle& t : triangles)
        collider.addTriangle(t.c0, t.c1, t.c2);
}

void loadAndRebuild(StaticCollider& collider, const std::vector<RawTriangle>& triangles)
{
    addAll(collider, triangles);
    collider.commit(true);
    collider.rebuild();
}

struct QueryOutcome {
    bool hit;
    bool nothingNear;
    const StaticTriangle* triangle;
};

QueryOutcome ask(const StaticCollider& collider, const float3& p, float r = 0.1f)
{
    StaticQueryResult result;
    const bool hit = collider.query(result, p, r);
    return {hit, result.nothingNear, result.triangle};
}

// Triangles that share no corner with anything else: a unit right triangle at height z over
// (x, y), facing down (the corner order of kFloor).
RawTriangle tile(float x, float y, float z)
{
    return {float3(x, y, z), float3(x + 1, y, z), float3(x, y + 1, z)};
}

class StaticCollision : public VadiZov::testing::LogCapture {
protected:
    StaticCollider collider;
};

} // namespace

TEST_F(StaticCollision, PreparedTriangleHasItsPlaneAndCornerWeights)
{
    const StaticTriangle floor = makeStaticTriangle(kFloor);
    EXPECT_EQ(floor.normal.x, 0.0f);
    EXPECT_EQ(floor.normal.y, 0.0f);
    EXPECT_EQ(floor.normal.z, -1.0f);  // clockwise seen from below

    // On a tilted triangle each corner's weight is 1 at its corner and 0 at the others.
    const RawTriangle tilted{float3(1, 2, 3), float3(4, 2.5f, 3.5f), float3(1.5f, 6, 2)};
    const StaticTriangle t = makeStaticTriangle(tilted);
    const auto weights = [&](const float3& p) {
        return std::pair(staticDot(t.cornerOneGradient, p) - t.cornerOneOffset,
                         staticDot(t.cornerTwoGradient, p) - t.cornerTwoOffset);
    };
    const float3 corners[3] = {tilted.c0, tilted.c1, tilted.c2};
    const float want[3][2] = {{0, 0}, {1, 0}, {0, 1}};
    for (int i = 0; i < 3; ++i) {
        const auto [b1, b2] = weights(corners[i]);
        EXPECT_NEAR(b1, want[i][0], 1e-5f) << "corner " << i;
        EXPECT_NEAR(b2, want[i][1], 1e-5f) << "corner " << i;
        EXPECT_NEAR(staticDot(t.normal, corners[i]) - t.planeOffset, 0.0f, 1e-5f) << "corner " << i;
    }
    EXPECT_NEAR(t.normal.squaredLength(), 1.0f, 1e-6f);
    const float3 mid = (tilted.c0 + tilted.c1 + tilted.c2) * (1.0f / 3.0f);
    EXPECT_NEAR(staticDot(t.normal, mid + t.normal * 0.25f) - t.planeOffset, 0.25f, 1e-5f);
}

TEST_F(StaticCollision, QueriesAboveBelowBesideAndOnOneTriangle)
{
    loadAndRebuild(collider, {kFloor});
    ASSERT_EQ(collider.triangleCount(), 1u);
    const StaticTriangle* floor = &collider.triangles()[0];
    struct Case {
        float3 p;
        bool hit, nothingNear;
        const char* what;
    };
    // The normal points down (-z): a point at z > 0 is behind the surface.
    const Case cases[] = {
        {float3(0.2f, 0.2f, 0.05f), true, false, "behind, within reach"},
        {float3(0.2f, 0.2f, -0.05f), false, false, "in front, within reach"},
        {float3(0.2f, 0.2f, 0.0f), true, false, "on the plane counts as behind"},
        {float3(0.2f, 0.2f, 0.5f), false, true, "far behind: boxes apart"},
        {float3(0.2f, 0.2f, 0.1f), false, true, "behind at exactly the radius"},
        {float3(0.8f, 0.8f, 0.05f), false, false, "beside the triangle, its plane near"},
        {float3(-0.05f, 0.5f, 0.05f), false, false, "just past the edge x = 0"},
        {float3(5.0f, 5.0f, 0.0f), false, true, "far away"},
    };
    for (const Case& c : cases) {
        const QueryOutcome q = ask(collider, c.p);
        EXPECT_EQ(q.hit, c.hit) << c.what;
        EXPECT_EQ(q.nothingNear, c.nothingNear) << c.what;
        EXPECT_EQ(q.triangle, c.hit ? floor : nullptr) << c.what;
    }
}

TEST_F(StaticCollision, NearestSurfaceDecidesBetweenFrontAndBehind)
{
    // Two parallel floors 0.1 apart over the same area; a point between them is behind the
    // lower one (z = 0) and in front of the upper one (z = 0.1).
    loadAndRebuild(collider, {kFloor, tile(0, 0, 0.1f)});
    const auto lower = [&] {
        for (uint32_t i = 0; i < collider.triangleCount(); ++i)
            if (collider.triangles()[i].planeOffset == 0.0f)
                return &collider.triangles()[i];
        return static_cast<const StaticTriangle*>(nullptr);
    }();
    ASSERT_NE(lower, nullptr);

    QueryOutcome q = ask(collider, float3(0.2f, 0.2f, 0.03f));
    EXPECT_TRUE(q.hit);
    EXPECT_EQ(q.triangle, lower);
    q = ask(collider, float3(0.2f, 0.2f, 0.07f));  // nearer the upper floor's front
    EXPECT_FALSE(q.hit);
    EXPECT_FALSE(q.nothingNear);
}

TEST_F(StaticCollision, NothingCommittedOrAnEmptyCommitAnswersNothingNear)
{
    EXPECT_EQ(ask(collider, float3(0, 0, 0), 10.0f).nothingNear, true);
    EXPECT_FALSE(ask(collider, float3(0, 0, 0), 10.0f).hit);
    EXPECT_EQ(collider.treeNode(0).leftMin, INT32_MIN);

    loadAndRebuild(collider, {kFloor});
    ASSERT_TRUE(ask(collider, float3(0.2f, 0.2f, 0.05f)).hit);
    collider.commit(false);
    EXPECT_TRUE(ask(collider, float3(0.2f, 0.2f, 0.05f)).hit);  // old tree until the rebuild
    collider.rebuild();
    const QueryOutcome q = ask(collider, float3(0.2f, 0.2f, 0.05f));
    EXPECT_FALSE(q.hit);
    EXPECT_TRUE(q.nothingNear);
    EXPECT_EQ(collider.triangleCount(), 0u);
}

TEST_F(StaticCollision, RebuildOfAnEmptyCommitKeepsTrianglesAddedSince)
{
    collider.commit(false);               // an empty batch
    collider.addTriangle(kFloor.c0, kFloor.c1, kFloor.c2);  // the next batch, started early
    collider.rebuild();
    EXPECT_FALSE(ask(collider, float3(0.2f, 0.2f, 0.05f)).hit);
    collider.commit(false);
    collider.rebuild();
    EXPECT_TRUE(ask(collider, float3(0.2f, 0.2f, 0.05f)).hit);
}

TEST_F(StaticCollision, OnlyTheLastCommitBeforeARebuildCounts)
{
    addAll(collider, {tile(10, 10, 0)});
    collider.commit(false);
    addAll(collider, {kFloor});
    collider.commit(false);
    EXPECT_TRUE(collider.dirty());
    collider.rebuild();
    EXPECT_FALSE(collider.dirty());
    EXPECT_EQ(collider.triangleCount(), 1u);
    EXPECT_TRUE(ask(collider, float3(0.2f, 0.2f, 0.05f)).hit);
    EXPECT_TRUE(ask(collider, float3(10.2f, 10.2f, 0.05f)).nothingNear);

    // Nothing committed since: a second rebuild keeps the tree.
    collider.rebuild();
    EXPECT_TRUE(ask(collider, float3(0.2f, 0.2f, 0.05f)).hit);
}

TEST_F(StaticCollision, DisplayCopyIsReplacedOnlyWhenAsked)
{
    addAll(collider, {kFloor, tile(3, 0, 0)});
    collider.commit(true);
    ASSERT_EQ(collider.debugTriangles().size(), 2u);
    EXPECT_EQ(collider.debugTriangles()[1].c0.x, 3.0f);

    addAll(collider, {tile(7, 0, 0)});
    collider.commit(false);
    collider.rebuild();
    ASSERT_EQ(collider.debugTriangles().size(), 2u);
    EXPECT_EQ(collider.debugTriangles()[1].c0.x, 3.0f);
    collider.clear();
    EXPECT_EQ(collider.debugTriangles().size(), 2u);

    collider.commit(true);
    EXPECT_TRUE(collider.debugTriangles().empty());
}

TEST_F(StaticCollision, ThreeTrianglesSplitIntoALeafAndATwoLeafNode)
{
    loadAndRebuild(collider, {tile(4, 0, 0), tile(0, 0, 0), tile(2, 0, 0)});
    EXPECT_EQ(collider.nodeCapacity(), 8);
    const StaticTreeNode& root = collider.treeNode(0);
    EXPECT_FALSE(root.isLeaf());
    EXPECT_EQ(root.axis, 0);
    EXPECT_TRUE(collider.treeNode(1).isLeaf());
    EXPECT_FALSE(collider.treeNode(2).isLeaf());
    EXPECT_TRUE(collider.treeNode(5).isLeaf());
    EXPECT_TRUE(collider.treeNode(6).isLeaf());
    // The median split by minimum x puts the leftmost tile alone on the left.
    const StaticTriangle& left = collider.triangles()[collider.treeNode(1).triangleIndex()];
    EXPECT_EQ(left.boxMin[0], sortableKey(0.0f));
    EXPECT_EQ(root.leftMax, sortableKey(1.0f));
    EXPECT_EQ(root.rightMin, sortableKey(2.0f));
    EXPECT_EQ(root.rightMax, sortableKey(5.0f));
    for (float x : {0.2f, 2.2f, 4.2f})
        EXPECT_TRUE(ask(collider, float3(x, 0.2f, 0.05f)).hit) << x;
    EXPECT_TRUE(ask(collider, float3(1.5f, 0.2f, 0.05f)).nothingNear);
}

TEST(StaticTree, CapacityIsTwiceTheNextPowerOfTwo)
{
    struct Case {
        uint32_t count;
        int32_t capacity;
    };
    const Case cases[] = {{0, 0},       {1, 2},          {2, 4},           {3, 8},       {4, 8},
                          {5, 16},      {8, 16},         {9, 32},          {1000, 2048}, {1024, 2048},
                          {1025, 4096}, {(1u << 24) + 1, 1 << 26}, {(1u << 29) + 1, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(staticTreeCapacity(c.count), c.capacity) << c.count;
}

// Every triangle must end in exactly one leaf, every node used must lie inside the capacity, and
// every inner bound must cover the boxes below it.
TEST(StaticTree, EveryCountBuildsATreeThatHoldsEachTriangleOnce)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> coord(-50.0f, 50.0f);
    for (uint32_t count = 1; count <= 300; ++count) {
        std::vector<StaticTriangle> triangles;
        for (uint32_t i = 0; i < count; ++i) {
            const float x = coord(rng), y = coord(rng), z = coord(rng);
            triangles.push_back(makeStaticTriangle(tile(x, y, z)));
        }
        const int32_t capacity = staticTreeCapacity(count);
        std::vector<StaticTreeNode> nodes(size_t(capacity), StaticTreeNode{-1, -1, -1, -1, -1});
        buildStaticTree(nodes.data(), triangles.data(), count);

        std::vector<int> seen(count, 0);
        struct Pending {
            int32_t k;
            int32_t axis, min, max;  // the bound the parent gave this subtree (axis -1: none)
        };
        std::vector<Pending> stack{{0, -1, 0, 0}};
        while (!stack.empty()) {
            const Pending p = stack.back();
            stack.pop_back();
            ASSERT_LT(p.k, capacity) << count;
            const StaticTreeNode& n = nodes[size_t(p.k)];
            ASSERT_NE(n.axis, -1) << "unbuilt node " << p.k << " of " << count;
            if (n.isLeaf()) {
                const int32_t i = n.triangleIndex();
                ASSERT_LT(uint32_t(i), count);
                ++seen[size_t(i)];
                if (p.axis >= 0) {
                    EXPECT_GE(triangles[size_t(i)].boxMin[p.axis], p.min);
                    EXPECT_LE(triangles[size_t(i)].boxMax[p.axis], p.max);
                }
                continue;
            }
            stack.push_back({2 * p.k + 1, n.axis, n.leftMin, n.leftMax});
            stack.push_back({2 * p.k + 2, n.axis, n.rightMin, n.rightMax});
        }
        for (uint32_t i = 0; i < count; ++i)
            ASSERT_EQ(seen[i], 1) << "triangle " << i << " of " << count;
    }
}

TEST(StaticTree, SelectionPartitionsAroundTheRankEvenWithRepeatedKeys)
{
    std::mt19937 rng(11);
    for (int trial = 0; trial < 400; ++trial) {
        const int n = 1 + trial % 37;
        const int distinct = 1 + trial % 5;  // many repeats
        std::vector<StaticTriangle> t(static_cast<size_t>(n));
        std::vector<int32_t> keys;
        for (auto& e : t) {
            e.boxMin[1] = int32_t(rng() % unsigned(distinct)) - 2;
            keys.push_back(e.boxMin[1]);
        }
        std::sort(keys.begin(), keys.end());
        const int nth = int(rng() % unsigned(n));
        selectByKey(t.data(), 0, n, nth, 1);
        ASSERT_EQ(t[size_t(nth)].boxMin[1], keys[size_t(nth)]) << trial;
        for (int i = 0; i < nth; ++i)
            ASSERT_LE(t[size_t(i)].boxMin[1], t[size_t(nth)].boxMin[1]) << trial;
        for (int i = nth + 1; i < n; ++i)
            ASSERT_GE(t[size_t(i)].boxMin[1], t[size_t(nth)].boxMin[1]) << trial;
    }
}

// The tree must only prune what cannot matter: compare with a scan of every triangle.
TEST_F(StaticCollision, TreeQueriesAgreeWithAScanOfEveryTriangle)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> place(0.0f, 20.0f);
    std::uniform_real_distribution<float> wobble(-1.0f, 1.0f);
    std::vector<RawTriangle> raw;
    for (int i = 0; i < 600; ++i) {
        const float3 c(place(rng), place(rng), place(rng) * 0.1f);
        raw.push_back({c, c + float3(wobble(rng), wobble(rng), wobble(rng) * 0.2f),
                       c + float3(wobble(rng), wobble(rng), wobble(rng) * 0.2f)});
    }
    loadAndRebuild(collider, raw);
    ASSERT_EQ(collider.triangleCount(), 600u);

    int hits = 0, near = 0;
    for (int q = 0; q < 4000; ++q) {
        const float3 p(place(rng), place(rng), place(rng) * 0.1f);
        const float r = 0.1f + 0.3f * (wobble(rng) + 1.0f);
        const int32_t qmin[3] = {sortableKey(p.x - r), sortableKey(p.y - r), sortableKey(p.z - r)};
        const int32_t qmax[3] = {sortableKey(p.x + r), sortableKey(p.y + r), sortableKey(p.z + r)};
        bool anyNear = false;
        float front = r;
        float behind = r;
        const StaticTriangle* nearestBehind = nullptr;
        for (uint32_t i = 0; i < collider.triangleCount(); ++i) {
            const StaticTriangle& t = collider.triangles()[i];
            bool overlap = true;
            for (int a = 0; a < 3; ++a)
                overlap = overlap && t.boxMin[a] <= qmax[a] && t.boxMax[a] >= qmin[a];
            const float d = staticDot(t.normal, p) - t.planeOffset;
            if (!overlap || !(std::fabs(d) < r))
                continue;
            anyNear = true;
            const float b2 = staticDot(t.cornerTwoGradient, p) - t.cornerTwoOffset;
            const float b1 = staticDot(t.cornerOneGradient, p) - t.cornerOneOffset;
            if (!(b2 >= 0.0f && b1 >= 0.0f && b1 + b2 <= 1.0f))
                continue;
            if (d > 0.0f) {
                front = std::min(front, d);
            } else if (-d < behind) {
                behind = -d;
                nearestBehind = &t;
            }
        }
        const QueryOutcome got = ask(collider, p, r);
        const bool wantHit = nearestBehind && behind < front;
        ASSERT_EQ(got.nothingNear, !anyNear) << q;
        ASSERT_EQ(got.hit, wantHit) << q;
        if (wantHit) {
            ASSERT_EQ(got.triangle, nearestBehind) << q;
        }
        hits += wantHit;
        near += anyNear;
    }
    // The scene is dense enough that both answers occur often.
    EXPECT_GT(hits, 100);
    EXPECT_GT(near, 1000);
}

TEST_F(StaticCollision, ClearDropsEverythingButTheDisplayCopy)
{
    loadAndRebuild(collider, {kFloor});
    addAll(collider, {tile(3, 0, 0)});
    collider.clear();
    EXPECT_EQ(collider.triangleCount(), 0u);
    EXPECT_TRUE(ask(collider, float3(0.2f, 0.2f, 0.05f)).nothingNear);
    collider.commit(false);  // the pending triangle was dropped too
    collider.rebuild();
    EXPECT_TRUE(ask(collider, float3(3.2f, 0.2f, 0.05f)).nothingNear);
    EXPECT_EQ(collider.debugTriangles().size(), 1u);
}

TEST_F(StaticCollision, ExactCopiesAreDroppedAtCommitKeepingTheFirstInOrder)
{
    // A degenerate file: one triangle a hundred thousand times between two others. Every copy
    // would sit in one leaf and be tested by each query near it.
    const RawTriangle nearCopy{float3(0, 0, 0), float3(1, 0, 0), float3(0, 1, -0.0f)};  // -0 is another triangle
    std::vector<RawTriangle> batch = {tile(5, 5, 0)};
    batch.insert(batch.end(), 100000, kFloor);
    batch.push_back(nearCopy);
    batch.push_back(tile(5, 5, 0));
    loadAndRebuild(collider, batch);
    ASSERT_EQ(collider.triangleCount(), 3u);
    ASSERT_EQ(collider.debugTriangles().size(), 3u);
    // Order kept: the first tile, the floor, then its signed-zero twin.
    EXPECT_EQ(collider.debugTriangles()[0].c0.x, 5.0f);
    EXPECT_EQ(collider.debugTriangles()[1].c0.x, 0.0f);
    EXPECT_TRUE(std::signbit(collider.debugTriangles()[2].c2.z));
    const QueryOutcome q = ask(collider, float3(0.2f, 0.2f, 0.05f));
    EXPECT_TRUE(q.hit);
}
