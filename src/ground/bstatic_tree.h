// The precomputed static triangles and the implicit median-split tree over their bounding boxes
// that the static collider queries. Boxes and tree bounds are sortable integer keys, so every
// box test is an integer compare.
#pragma once

#include <cstdint>

#include "velkor/types.h"

namespace VadiZov {

// A triangle as the host gives it, corners in its order.
struct RawTriangle {
    float3 c0, c1, c2;
};

// A triangle prepared for the point test: plane and both barycentric gradients precomputed, so
// a test costs three dot products.
struct StaticTriangle {
    int32_t boxMin[3];
    int32_t boxMax[3];
    float3 normal;            // unit, towards the side from which c0, c1, c2 run clockwise
    float planeOffset;        // normal . c0
    float3 cornerTwoGradient; // weight of c2 at p: gradient . p - offset
    float cornerTwoOffset;
    float3 cornerOneGradient; // weight of c1
    float cornerOneOffset;

    // Key words 0-2 are the box minimum, 3-5 the maximum.
    int32_t key(int keyIndex) const { return keyIndex < 3 ? boxMin[keyIndex] : boxMax[keyIndex - 3]; }
};
static_assert(sizeof(StaticTriangle) == 72, "eighteen 32-bit words");

// The dot product in the order all static-triangle arithmetic uses: (y*y' + x*x') + z*z'.
inline float staticDot(const float3& a, const float3& b) { return (a.y * b.y + a.x * b.x) + a.z * b.z; }

// A degenerate triangle (no area) gets non-finite values; it is not filtered out.
StaticTriangle makeStaticTriangle(const RawTriangle& raw);

// Five words. Inner node: the axis and the key ranges along it of the boxes under each child;
// the children of node k are 2k+1 and 2k+2. Leaf: 0, the leaf mark, the triangle's index.
struct StaticTreeNode {
    static constexpr int32_t kLeafMark = 0x7FFFFFFF;
    static constexpr int32_t kNoBound = INT32_MIN;  // the empty root's bounds: nothing overlaps

    int32_t axis;
    int32_t leftMin;
    int32_t leftMax;
    int32_t rightMin;
    int32_t rightMax;

    bool isLeaf() const { return leftMin == kLeafMark; }
    int32_t triangleIndex() const { return leftMax; }
};

// The empty tree: a root that no query box overlaps.
inline constexpr StaticTreeNode kEmptyStaticTreeRoot = {0, StaticTreeNode::kNoBound, StaticTreeNode::kNoBound,
                                                        StaticTreeNode::kNoBound, StaticTreeNode::kNoBound};

// Nodes needed for a tree over count triangles: twice the smallest power of two not below count.
// 0 for a count of 0 or one too large for 32-bit node indices.
int32_t staticTreeCapacity(uint32_t count);

// Builds the tree over triangles[0, count) into nodes (staticTreeCapacity(count) entries),
// reordering the triangles: leaves refer to their final places. count must be at least 1.
void buildStaticTree(StaticTreeNode* nodes, StaticTriangle* triangles, uint32_t count);

// Rearranges [first, end) so that the entry at nth holds the key of its rank, none before it has
// a greater key and none after it a smaller one (median-of-three quickselect).
void selectByKey(StaticTriangle* triangles, int32_t first, int32_t end, int32_t nth, int keyIndex);

} // namespace VadiZov
