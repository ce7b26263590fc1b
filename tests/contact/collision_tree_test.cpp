// The collision tree: sizing, the built shape, sortable keys at the edges, and every query
// against a brute-force box test over random clouds, also after the nodes move.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "base/bmath.h"
#include "contact/bcollision_tree.h"
#include "object/bobject.h"
#include "solver/bsubstep.h"
#include "base/bsettings.h"
#include "object/bcore_parameters.h"
#include "tests/support/bit_checksum.h"

using namespace VadiZov;

namespace {

// One object whose nodes all collide, laid into a tree the way the worker and the core thread
// do it: resize, ids, keys from world positions, build.
struct TreeScene {
    explicit TreeScene(const std::vector<float3>& points) : object(std::make_unique<BeamObjectImpl>())
    {
        for (const float3& p : points)
            object->setNode(-1, p, 1.0f, 0, 1.0f, -1, true, true);
        slots[0] = object.get();
        params.objects = slots;
        params.objectCount = 1;
        tree.resize(params);
        tree.writeSlotIds(params);
        rebuild();
    }
    void rebuild()
    {
        TreeSlot* s = tree.objectSlots(0);
        int n = 0;
        for (int i = 0; i < object->node_count; ++i)
            if (object->nodes[i].collides && n < tree.objectSlotCount(0)) {
                const float3& p = object->nodes[i].worldPos;
                s[n].key[0] = sortableKey(p.x);
                s[n].key[1] = sortableKey(p.y);
                s[n].key[2] = sortableKey(p.z);
                ++n;
            }
        tree.beginBuild();
        tree.build();
    }
    // Node indices the tree finds in the box around the corners, sorted.
    std::vector<int> query(const float3& a, const float3& b, const float3& c, float margin) const
    {
        std::vector<uint32_t> out(size_t(std::max(tree.resultCapacity(), 1)));
        const int count = tree.query(out.data(), a, b, c, margin);
        std::vector<int> nodes;
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(treeIdObject(out[size_t(i)]), 0);
            nodes.push_back(treeIdNode(out[size_t(i)]));
        }
        std::sort(nodes.begin(), nodes.end());
        return nodes;
    }
    std::vector<int> query(const float3& p, float margin) const { return query(p, p, p, margin); }

    std::unique_ptr<BeamObjectImpl> object;
    BeamObjectRecords* slots[1] = {};
    core_parameters_t params;
    CollisionTriangleTree tree;
};

std::vector<int> bruteForce(const BeamObjectImpl& o, const float3& a, const float3& b, const float3& c, float margin)
{
    std::vector<int> nodes;
    for (int i = 0; i < o.node_count; ++i) {
        const float3& p = o.nodes[i].worldPos;
        const float lo[3] = {std::min({a.x, b.x, c.x}) - margin, std::min({a.y, b.y, c.y}) - margin,
                             std::min({a.z, b.z, c.z}) - margin};
        const float hi[3] = {std::max({a.x, b.x, c.x}) + margin, std::max({a.y, b.y, c.y}) + margin,
                             std::max({a.z, b.z, c.z}) + margin};
        const float v[3] = {p.x, p.y, p.z};
        bool inside = true;
        for (int k = 0; k < 3; ++k)
            inside = inside && v[k] >= lo[k] && v[k] <= hi[k];
        if (inside)
            nodes.push_back(i);
    }
    return nodes;
}

} // namespace

TEST(CollisionTree, WithoutCollidingNodesEveryQueryFindsNothing)
{
    CollisionTriangleTree fresh;
    uint32_t out[4] = {};
    EXPECT_EQ(fresh.query(out, float3(-1e30f, -1e30f, -1e30f), float3(), float3(1e30f, 1e30f, 1e30f), 1e30f), 0);

    TreeScene empty({});
    EXPECT_EQ(empty.tree.total(), 0);
    EXPECT_EQ(empty.tree.capacity(), 4);
    EXPECT_TRUE(empty.query(float3(), float3(-1e30f, -1e30f, -1e30f), float3(1e30f, 1e30f, 1e30f), 1e30f).empty());
}

// destroy gives the heap arrays back and leaves a tree that finds nothing, which a later resize
// brings back to work (ASan sees any array used after it was freed).
TEST(CollisionTree, DestroyedTreeFindsNothingUntilTheNextResize)
{
    std::vector<float3> points;
    for (int i = 0; i < 40; ++i)
        points.emplace_back(float(i % 7), float(i / 7), 0.5f);
    TreeScene scene(points);
    const float3 far(1e30f, 1e30f, 1e30f);
    ASSERT_EQ(scene.query(float3(), far, far, 0.0f).size(), 40u);
    scene.tree.destroy();
    EXPECT_EQ(scene.tree.capacity(), -1);
    EXPECT_EQ(scene.tree.total(), -1);
    EXPECT_EQ(scene.tree.resultCapacity(), 0);
    uint32_t out[4] = {};
    EXPECT_EQ(scene.tree.query(out, float3(-1e30f, -1e30f, -1e30f), float3(), far, 1e30f), 0);
    scene.tree.beginBuild();
    scene.tree.build();  // nothing to build in the reset state
    EXPECT_EQ(scene.tree.query(out, float3(-1e30f, -1e30f, -1e30f), float3(), far, 1e30f), 0);
    scene.tree.destroy();  // twice is harmless

    scene.tree.resize(scene.params);
    scene.tree.writeSlotIds(scene.params);
    scene.rebuild();
    EXPECT_EQ(scene.query(float3(), far, far, 0.0f).size(), 40u);
}

TEST(CollisionTree, OneToThreeNodesGetFourSlotsAndTheSurplusNeverMatches)
{
    for (int n = 1; n <= 3; ++n) {
        std::vector<float3> points;
        for (int i = 0; i < n; ++i)
            points.emplace_back(float(i), 0.0f, 0.0f);
        TreeScene scene(points);
        EXPECT_EQ(scene.tree.capacity(), 4) << n;
        EXPECT_EQ(scene.tree.resultCapacity(), 4) << n;
        std::vector<int> all;
        for (int i = 0; i < n; ++i)
            all.push_back(i);
        // A box over everything a float can hold finds exactly the real nodes.
        EXPECT_EQ(scene.query(float3(-3e38f, -3e38f, -3e38f), float3(), float3(3e38f, 3e38f, 3e38f), 0.0f), all) << n;
    }
}

TEST(CollisionTree, KeysOrderNegativesAndZerosAndBoxFacesAreInside)
{
    // x = -2 < -1 < 0 = -0: boxes around each find exactly the nodes there.
    TreeScene scene({float3(-2, 0, 0), float3(-1, 0, 0), float3(0.0f, 0, 0), float3(-0.0f, 5, 0), float3(2, 0, 0)});
    EXPECT_EQ(scene.query(float3(-2, 0, 0), 0.4f), std::vector<int>({0}));
    EXPECT_EQ(scene.query(float3(-1, 0, 0), 0.4f), std::vector<int>({1}));
    EXPECT_EQ(scene.query(float3(-0.0f, 0, 0), float3(0.0f, 5, 0), float3(0, 0, 0), 0.0f), std::vector<int>({2, 3}));
    EXPECT_EQ(scene.query(float3(-1.5f, 0, 0), float3(-0.5f, 0, 0), float3(-1, 0, 0), 0.0f), std::vector<int>({1}));
    // A node on the grown box's face: a key equal to qmin or qmax.
    EXPECT_EQ(scene.query(float3(-1.5f, 0, 0), 0.5f), std::vector<int>({0, 1}));
    EXPECT_EQ(scene.query(float3(1.0f, 0, 0), 1.0f), std::vector<int>({2, 4}));
    // Nodes far apart that end in one pair are both found.
    TreeScene pair({float3(-2, 0, 0), float3(2, 0, 0)});
    EXPECT_EQ(pair.query(float3(-2, 0, 0), 0.1f), std::vector<int>({0}));
    EXPECT_EQ(pair.query(float3(2, 0, 0), 0.1f), std::vector<int>({1}));
    // Two nodes at one position are both found.
    TreeScene twins({float3(1, 2, 3), float3(1, 2, 3), float3(7, 7, 7)});
    EXPECT_EQ(twins.query(float3(1, 2, 3), 0.0f), std::vector<int>({0, 1}));
}

TEST(CollisionTree, FourNodesSplitTwoAndTwoInSevenOfEightTreeNodes)
{
    TreeScene scene({float3(3, 0, 0), float3(1, 0, 0), float3(4, 0, 0), float3(2, 0, 0)});
    ASSERT_EQ(scene.tree.nodeCount(), 8);
    const TreeNode& root = scene.tree.node(0);
    EXPECT_EQ(root.axis, 0);
    EXPECT_EQ(root.lo, sortableKey(1.0f));
    EXPECT_EQ(root.hi, sortableKey(4.0f));
    EXPECT_EQ(root.split, sortableKey(3.0f));  // the key of rank 2 of 4
    for (int k : {1, 2}) {
        const TreeNode& half = scene.tree.node(k);
        EXPECT_EQ(half.axis, 1) << k;
        EXPECT_NE(half.lo, CollisionTriangleTree::kLeafMark) << k;
        EXPECT_LE(half.lo, half.split);
        EXPECT_LE(half.split, half.hi);
    }
    std::vector<int> leafSlots;
    for (int k = 3; k <= 6; ++k) {
        ASSERT_EQ(scene.tree.node(k).lo, CollisionTriangleTree::kLeafMark) << k;
        leafSlots.push_back(scene.tree.node(k).hi);
    }
    // Left leaves hold x = 1 and 2, right leaves 3 and 4: each slot once.
    EXPECT_EQ(scene.tree.slot(leafSlots[0]).node, 1);
    EXPECT_EQ(scene.tree.slot(leafSlots[1]).node, 3);
    EXPECT_EQ(scene.tree.slot(leafSlots[2]).node, 0);
    EXPECT_EQ(scene.tree.slot(leafSlots[3]).node, 2);
}

TEST(CollisionTree, QueriesMatchABruteForceScanAlsoAfterTheNodesMove)
{
    struct Cloud {
        int nodes;
        float spread;
        bool flat;  // one height for all: runs of equal keys
    };
    const Cloud clouds[] = {{4, 1.0f, false},  {5, 1.0f, false},    {7, 3.0f, false}, {64, 2.0f, true},
                            {100, 0.5f, false}, {257, 10.0f, false}, {2000, 5.0f, true}, {2000, 50.0f, false}};
    for (const Cloud& cloud : clouds) {
        std::mt19937 rng(unsigned(cloud.nodes) * 31u + unsigned(cloud.spread));
        std::uniform_real_distribution<float> coord(-cloud.spread, cloud.spread);
        std::vector<float3> points;
        for (int i = 0; i < cloud.nodes; ++i)
            points.emplace_back(coord(rng), coord(rng), cloud.flat ? 0.25f : coord(rng));
        TreeScene scene(points);
        for (int pass = 0; pass < 3; ++pass) {
            for (int q = 0; q < 60; ++q) {
                const float3 a(coord(rng), coord(rng), coord(rng));
                const float3 b = a + float3(coord(rng), coord(rng), coord(rng)) * 0.2f;
                const float3 c = a + float3(coord(rng), coord(rng), coord(rng)) * 0.2f;
                const float margin = 0.025f * float(1 + q % 41);
                ASSERT_EQ(scene.query(a, b, c, margin), bruteForce(*scene.object, a, b, c, margin))
                    << cloud.nodes << " nodes, pass " << pass << ", query " << q;
            }
            // The nodes move a little: the next build starts from the previous split keys.
            for (int i = 0; i < scene.object->node_count; ++i)
                scene.object->nodes[i].worldPos += float3(coord(rng), coord(rng), coord(rng)) * 0.05f;
            scene.rebuild();
        }
    }
}

// The ids of the slots inside the query's box, in the order a walk of the built nodes meets
// their leaves (left before right): what a query must return, order included.
std::vector<uint32_t> insideInLeafOrder(const CollisionTriangleTree& tree, const float3& a, const float3& b,
                                        const float3& c, float margin)
{
    const float lo[3] = {std::min({a.x, b.x, c.x}), std::min({a.y, b.y, c.y}), std::min({a.z, b.z, c.z})};
    const float hi[3] = {std::max({a.x, b.x, c.x}), std::max({a.y, b.y, c.y}), std::max({a.z, b.z, c.z})};
    std::vector<uint32_t> ids;
    std::vector<int> pending{0};
    while (!pending.empty()) {
        const int k = pending.back();
        pending.pop_back();
        const TreeNode& n = tree.node(k);
        if (n.lo != CollisionTriangleTree::kLeafMark) {
            pending.push_back(2 * k + 2);
            pending.push_back(2 * k + 1);
            continue;
        }
        const TreeSlot& slot = tree.slot(n.hi);
        bool inside = true;
        for (int ax = 0; ax < 3; ++ax)
            inside = inside && slot.key[ax] >= sortableKey(lo[ax] - margin) && slot.key[ax] <= sortableKey(hi[ax] + margin);
        if (inside)
            ids.push_back(treeIdWord(slot.node, slot.object));
    }
    return ids;
}

// One tree through a series of object sets of other sizes (it reallocates each time), rebuilt
// as the nodes move: every query returns exactly the slots inside, in leaf order.
TEST(CollisionTree, QueriesReturnTheSlotsInsideInLeafOrderAcrossResizes)
{
    CollisionTriangleTree tree;
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> coord(-2.0f, 2.0f);
    for (const int nodes : {283, 3, 40, 2000, 9, 700}) {
        auto object = std::make_unique<BeamObjectImpl>();
        for (int i = 0; i < nodes; ++i)
            object->setNode(-1, float3(coord(rng), coord(rng), coord(rng)), 1.0f, 0, 1.0f, -1, true, true);
        BeamObjectRecords* slots[1] = {object.get()};
        core_parameters_t params;
        params.objects = slots;
        params.objectCount = 1;
        tree.resize(params);
        tree.writeSlotIds(params);
        std::vector<uint32_t> out(size_t(tree.resultCapacity()));
        for (int build = 0; build < 4; ++build) {
            TreeSlot* s = tree.objectSlots(0);
            for (int i = 0; i < nodes; ++i) {
                object->nodes[i].worldPos += float3(coord(rng), coord(rng), coord(rng)) * 0.01f;
                const float3& p = object->nodes[i].worldPos;
                s[i].key[0] = sortableKey(p.x);
                s[i].key[1] = sortableKey(p.y);
                s[i].key[2] = sortableKey(p.z);
            }
            tree.beginBuild();
            tree.build();
            for (int q = 0; q < 50; ++q) {
                const float3 a(coord(rng), coord(rng), coord(rng));
                const float3 b = a + float3(coord(rng), coord(rng), coord(rng)) * 0.1f;
                const float3 c = a + float3(coord(rng), coord(rng), coord(rng)) * 0.1f;
                const float margin = 0.025f * float(1 + q % 41);
                const int count = tree.query(out.data(), a, b, c, margin);
                const std::vector<uint32_t> found(out.begin(), out.begin() + count);
                ASSERT_EQ(found, insideInLeafOrder(tree, a, b, c, margin))
                    << nodes << " nodes, build " << build << ", query " << q;
            }
        }
    }
}

// What contact does depends on the order in which a query returns its nodes and on the order
// the build leaves equal keys in, which itself depends on earlier builds. Clouds on coarse
// grids (many equal keys) and fine ones move over many rebuilds; every query's ids, in order,
// and every tree node word go into one checksum per cloud. The expected values were recorded
// from the first version of the tree; a faster build or query must keep them.
TEST(CollisionTree, QueryOrderAndBuiltNodesStayBitForBitOverManyRebuilds)
{
    struct Cloud {
        int nodes;
        float grid;  // coordinates are whole multiples of this
        int span;    // in grid steps, either side of zero
        int move;    // the largest step of a moving node, in grid steps
        uint64_t expected;
    };
    const Cloud clouds[] = {
        {4, 0.5f, 2, 1, 0xe8f29ddaf7318307ull},
        {9, 0.25f, 3, 1, 0xa75b9e9900dca974ull},
        {283, 0.001f, 2000, 1, 0xc78c84aef28fa19aull},
        {283, 0.1f, 10, 1, 0xefd481163d94c81aull},
        {700, 0.05f, 8, 1, 0xc00468958541da9eull},
        {2000, 0.0005f, 6000, 1, 0x791aff6cf9de77bfull},
        // fine grids, where equal keys are rare and nodes cross many splits
        {283, 1e-6f, 2000000, 20000, 0x2d121461a9f047c1ull},
        {2000, 1e-6f, 4000000, 5000, 0x52e5666f484a23a9ull},
    };
    for (const Cloud& cloud : clouds) {
        std::mt19937 rng(unsigned(cloud.nodes) * 131u + unsigned(cloud.span));
        // Raw generator words only: the distributions of the standard library may differ.
        auto step = [&](int span) { return int(rng() % uint32_t(2 * span + 1)) - span; };
        // Positions are kept in grid steps so that moved nodes still meet exactly.
        std::vector<std::array<int, 3>> at;
        auto position = [&](const std::array<int, 3>& g) {
            return float3(float(g[0]) * cloud.grid, float(g[1]) * cloud.grid, float(g[2]) * cloud.grid);
        };
        std::vector<float3> points;
        for (int i = 0; i < cloud.nodes; ++i) {
            at.push_back({step(cloud.span), step(cloud.span), step(cloud.span / 2)});
            points.push_back(position(at.back()));
        }
        TreeScene scene(points);
        VadiZov::testing::BitChecksum sum;
        std::vector<uint32_t> out(size_t(scene.tree.resultCapacity()));
        for (int build = 0; build < 25; ++build) {
            for (int k = 0; k < scene.tree.nodeCount(); ++k)
                sum.add(&scene.tree.node(k), sizeof(TreeNode));
            for (int q = 0; q < 40; ++q) {
                const float3 a(float(step(cloud.span)) * cloud.grid, float(step(cloud.span)) * cloud.grid,
                               float(step(cloud.span / 2)) * cloud.grid);
                const float3 b = a + float3(float(step(4)), float(step(4)), float(step(4))) * cloud.grid;
                const float3 c = a + float3(float(step(4)), float(step(4)), float(step(4))) * cloud.grid;
                const int count = scene.tree.query(out.data(), a, b, c, cloud.grid * float(1 + q % 5));
                sum.addInteger(count);
                sum.add(out.data(), sizeof(uint32_t) * size_t(count));
            }
            // A few nodes step to a neighbouring grid point: keys cross and meet.
            for (int i = 0; i < scene.object->node_count; ++i)
                if (rng() % 4 == 0) {
                    for (int& g : at[size_t(i)])
                        g += step(cloud.move);
                    scene.object->nodes[i].worldPos = position(at[size_t(i)]);
                }
            scene.rebuild();
        }
        EXPECT_EQ(sum.value(), cloud.expected)
            << cloud.nodes << " nodes on a grid of " << cloud.grid << ": 0x" << std::hex << sum.value();
    }
}

TEST(CollisionTree, SlotsFollowTheObjectsAndOnlyTheirCollidingNodes)
{
    auto a = std::make_unique<BeamObjectImpl>(), b = std::make_unique<BeamObjectImpl>();
    a->setNode(-1, float3(0, 0, 0), 1.0f, 0, 1.0f, -1, true, true);
    a->setNode(-1, float3(1, 0, 0), 1.0f, 0, 1.0f, -1, true, false);  // no slot
    a->setNode(-1, float3(2, 0, 0), 1.0f, 0, 1.0f, -1, true, true);
    for (int i = 0; i < 3; ++i)
        b->setNode(-1, float3(10, float(i), 0), 1.0f, 0, 1.0f, -1, true, true);
    BeamObjectRecords* slots[3] = {a.get(), nullptr, b.get()};
    core_parameters_t params;
    params.objects = slots;
    params.objectCount = 3;
    CollisionTriangleTree tree;
    tree.resize(params);
    tree.writeSlotIds(params);
    EXPECT_EQ(tree.total(), 5);
    EXPECT_EQ(tree.resultCapacity(), 5);
    EXPECT_EQ(tree.objectSlotCount(0), 2);
    EXPECT_EQ(tree.objectSlotCount(1), 0);
    EXPECT_EQ(tree.objectSlotCount(2), 3);
    EXPECT_EQ(tree.objectSlots(2) - tree.objectSlots(0), 2);
    EXPECT_EQ(tree.objectSlots(0)[1].node, 2);
    EXPECT_EQ(tree.objectSlots(2)[2].node, 2);
    EXPECT_EQ(tree.objectSlots(2)[2].object, 2);
    EXPECT_EQ(tree.objectSlots(3), nullptr);  // an object the resize did not see

    // The core thread writes at most its run, even when a script added colliding nodes since.
    a->setNode(-1, float3(3, 0, 0), 1.0f, 0, 1.0f, -1, true, true);
    const TreeSlot firstOfNext = tree.objectSlots(2)[0];
    BeamSubstep::integrateNodes(*a, kSubstepTime, tree.objectSlots(0), tree.objectSlotCount(0));
    EXPECT_EQ(tree.objectSlots(0)[1].key[0], sortableKey(a->nodes[2].worldPos.x));
    EXPECT_EQ(std::memcmp(&tree.objectSlots(2)[0], &firstOfNext, sizeof(TreeSlot)), 0);
}
