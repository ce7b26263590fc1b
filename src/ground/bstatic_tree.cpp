#include "ground/bstatic_tree.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/bmath.h"

namespace VadiZov {

StaticTriangle makeStaticTriangle(const RawTriangle& raw)
{
    StaticTriangle t;
    const float3& c0 = raw.c0;
    const float3& c1 = raw.c1;
    const float3& c2 = raw.c2;
    const float lo[3] = {std::min(std::min(c0.x, c1.x), c2.x), std::min(std::min(c0.y, c1.y), c2.y),
                         std::min(std::min(c0.z, c1.z), c2.z)};
    const float hi[3] = {std::max(std::max(c0.x, c1.x), c2.x), std::max(std::max(c0.y, c1.y), c2.y),
                         std::max(std::max(c0.z, c1.z), c2.z)};
    for (int a = 0; a < 3; ++a) {
        t.boxMin[a] = sortableKey(lo[a]);
        t.boxMax[a] = sortableKey(hi[a]);
    }

    const float3 edge1 = c1 - c0;
    const float3 edge2 = c2 - c0;
    const float3 n = edge2.cross(edge1);
    const float k = 1.0f / std::sqrt(staticDot(n, n));
    t.normal = n * k;
    t.cornerTwoGradient = edge1.cross(t.normal) * k;
    t.cornerOneGradient = t.normal.cross(edge2) * k;
    t.planeOffset = staticDot(t.normal, c0);
    t.cornerTwoOffset = staticDot(t.cornerTwoGradient, c0);
    t.cornerOneOffset = staticDot(t.cornerOneGradient, c0);
    return t;
}

int32_t staticTreeCapacity(uint32_t count)
{
    if (count == 0)
        return 0;
    uint64_t leaves = 1;
    while (leaves < count)
        leaves <<= 1;
    const uint64_t nodes = leaves * 2;
    return nodes > uint64_t(INT32_MAX) ? 0 : int32_t(nodes);
}

void selectByKey(StaticTriangle* t, int32_t first, int32_t end, int32_t nth, int keyIndex)
{
    int32_t lo = first;
    int32_t hi = end - 1;
    while (hi > lo) {
        // Median of three at lo, mid, hi; the outer two then bound both scans.
        const int32_t mid = lo + (hi - lo) / 2;
        if (t[mid].key(keyIndex) < t[lo].key(keyIndex))
            std::swap(t[mid], t[lo]);
        if (t[hi].key(keyIndex) < t[lo].key(keyIndex))
            std::swap(t[hi], t[lo]);
        if (t[hi].key(keyIndex) < t[mid].key(keyIndex))
            std::swap(t[hi], t[mid]);
        const int32_t pivot = t[mid].key(keyIndex);

        int32_t i = lo;
        int32_t j = hi;
        while (i <= j) {
            while (t[i].key(keyIndex) < pivot)
                ++i;
            while (t[j].key(keyIndex) > pivot)
                --j;
            if (i <= j) {
                std::swap(t[i], t[j]);
                ++i;
                --j;
            }
        }
        // Now [lo, j] <= pivot, [i, hi] >= pivot, and everything between equals the pivot.
        if (nth <= j)
            hi = j;
        else if (nth >= i)
            lo = i;
        else
            return;
    }
}

namespace {

struct KeyRange {
    int32_t min;
    int32_t max;
};

KeyRange rangeAlong(const StaticTriangle* t, int32_t first, int32_t end, int axis)
{
    KeyRange r{t[first].boxMin[axis], t[first].boxMax[axis]};
    for (int32_t i = first + 1; i < end; ++i) {
        r.min = std::min(r.min, t[i].boxMin[axis]);
        r.max = std::max(r.max, t[i].boxMax[axis]);
    }
    return r;
}

StaticTreeNode leafOf(int32_t triangle) { return {0, StaticTreeNode::kLeafMark, triangle, 0, 0}; }

StaticTreeNode innerNode(int axis, KeyRange left, KeyRange right)
{
    return {axis, left.min, left.max, right.min, right.max};
}

// Splits at the median key, cycling through the six box keys on the way down; the right half
// continues in the loop, the left half recurses (depth stays logarithmic).
void buildSubtree(StaticTreeNode* nodes, StaticTriangle* t, int32_t k, int32_t first, int32_t end, int keyIndex)
{
    while (end - first > 2) {
        const int32_t mid = first + (end - first) / 2;
        selectByKey(t, first, end, mid, keyIndex);
        const int axis = keyIndex % 3;
        nodes[k] = innerNode(axis, rangeAlong(t, first, mid, axis), rangeAlong(t, mid, end, axis));
        keyIndex = keyIndex == 5 ? 0 : keyIndex + 1;
        buildSubtree(nodes, t, 2 * k + 1, first, mid, keyIndex);
        k = 2 * k + 2;
        first = mid;
    }
    if (end - first == 2) {
        const int axis = keyIndex % 3;
        nodes[k] = innerNode(axis, rangeAlong(t, first, first + 1, axis), rangeAlong(t, first + 1, end, axis));
        nodes[2 * k + 1] = leafOf(first);
        nodes[2 * k + 2] = leafOf(first + 1);
    } else {
        nodes[k] = leafOf(first);
    }
}

} // namespace

void buildStaticTree(StaticTreeNode* nodes, StaticTriangle* triangles, uint32_t count)
{
    buildSubtree(nodes, triangles, 0, 0, int32_t(count), 0);
}

} // namespace VadiZov
