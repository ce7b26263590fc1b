// The quick build. When every split and every leaf pair compares keys that differ, the leaf order
// of a build is fixed by the keys alone: each half of a range holds exactly its smaller or
// larger keys along the range's axis, and leaves are sorted. Starting from the previous leaf
// order, most ranges are then already split right, and a scan per range finds the few that
// nodes crossed. Equal keys make the order depend on how the selection moved them in earlier
// builds, so there the full build runs instead, from the untouched previous arrangement.
//
// The keys are gathered once into columns, in leaf order, and moved along with the
// references: the scans read them contiguously, and the query index copies them from there.
#include <algorithm>
#include <climits>
#include <cstdint>

#include "contact/bcollision_tree.h"

namespace VadiZov {

namespace {

constexpr int kBuildStackSize = 64;
// Crossings of a split fixed by swapping pairs; with more the full build runs.
constexpr int kMaxCrossings = 8;

struct KeyRange {
    int32_t lo = INT32_MAX, hi = INT32_MIN;
};

KeyRange rangeOf(const int32_t* keys, int first, int end)
{
    KeyRange r;
    for (int i = first; i < end; ++i) {
        r.lo = std::min(r.lo, keys[i]);
        r.hi = std::max(r.hi, keys[i]);
    }
    return r;
}

int32_t midway(int32_t lo, int32_t hi) { return int32_t(int64_t(lo) + (int64_t(hi) - int64_t(lo)) / 2); }

} // namespace

bool CollisionTriangleTree::rebuildFromPreviousOrder()
{
    for (int i = 0; i < capacity_; ++i) {
        const int32_t ref = refs_[i];
        spareRefs_[i] = ref;
        columns_[0][i] = slots_[ref].key[0];
        columns_[1][i] = slots_[ref].key[1];
        columns_[2][i] = slots_[ref].key[2];
    }
    struct Pending {
        int node, axis, first, end;
    };
    Pending stack[kBuildStackSize];
    int depth = 0;
    Pending current{0, 0, 0, capacity_};
    for (;;) {
        const int count = current.end - current.first;
        if (count >= 4) {
            if (!splitInOrder(current.node, current.axis, current.first, current.end))
                return false;
            const int mid = current.first + count / 2;
            const int next = current.axis == 2 ? 0 : current.axis + 1;
            stack[depth++] = Pending{2 * current.node + 2, next, mid, current.end};
            current = Pending{2 * current.node + 1, next, current.first, mid};
            continue;
        }
        const bool ordered = count == 3 ? orderThree(current.node, current.axis, current.first)
                                        : orderTwo(current.node, current.axis, current.first);
        if (!ordered)
            return false;
        if (depth == 0)
            break;
        current = stack[--depth];
    }
    std::swap(refs_, spareRefs_);
    std::swap(nodes_, spareNodes_);
    return true;
}

void CollisionTriangleTree::swapItems(int a, int b)
{
    std::swap(spareRefs_[a], spareRefs_[b]);
    for (int32_t* column : columns_)
        std::swap(column[a], column[b]);
}

// One inner node: its left half must end below its right half, strictly. While it does not,
// the left half's largest key and the right half's smallest are both on the wrong side (with
// distinct keys), so swapping them brings the halves one item closer to the only right split.
bool CollisionTriangleTree::splitInOrder(int node, int axis, int first, int end)
{
    const int32_t* keys = columns_[axis];
    const int mid = first + (end - first) / 2;
    // Mostly the halves are in order already: one pass without positions tells.
    const KeyRange left = rangeOf(keys, first, mid), right = rangeOf(keys, mid, end);
    const int32_t lo = std::min(left.lo, right.lo), hi = std::max(left.hi, right.hi);
    int32_t split = right.lo;
    for (int moves = 0; left.hi >= right.lo; ++moves) {
        const int largestLeft = int(std::max_element(keys + first, keys + mid) - keys);
        const int smallestRight = int(std::min_element(keys + mid, keys + end) - keys);
        split = keys[smallestRight];
        if (keys[largestLeft] < split)
            break;
        // Equal keys at the split, or more crossings than a quick build is worth.
        if (keys[largestLeft] == split || moves == kMaxCrossings)
            return false;
        swapItems(largestLeft, smallestRight);
    }
    // The split is the key of rank mid, the smallest of the right half.
    spareNodes_[node] = TreeNode{axis, std::min(lo, kLeafMark - 1), hi, split};
    return true;
}

void CollisionTriangleTree::makeSpareLeaf(int node, int ref)
{
    spareNodes_[node].axis = 0;
    spareNodes_[node].lo = kLeafMark;
    spareNodes_[node].hi = ref;
}

bool CollisionTriangleTree::orderTwo(int node, int axis, int first)
{
    const int32_t* keys = columns_[axis];
    if (keys[first] == keys[first + 1])
        return false;
    if (keys[first + 1] < keys[first])
        swapItems(first, first + 1);
    const int32_t lo = keys[first], hi = keys[first + 1];
    spareNodes_[node] = TreeNode{axis, std::min(lo, kLeafMark - 1), hi, midway(lo, hi)};
    makeSpareLeaf(2 * node + 1, spareRefs_[first]);
    makeSpareLeaf(2 * node + 2, spareRefs_[first + 1]);
    return true;
}

bool CollisionTriangleTree::orderThree(int node, int axis, int first)
{
    const int32_t* keys = columns_[axis];
    if (keys[first] == keys[first + 1] || keys[first] == keys[first + 2] || keys[first + 1] == keys[first + 2])
        return false;
    if (keys[first + 1] < keys[first])
        swapItems(first, first + 1);
    if (keys[first + 2] < keys[first])
        swapItems(first, first + 2);
    if (keys[first + 2] < keys[first + 1])
        swapItems(first + 1, first + 2);
    const int32_t lo = keys[first], middle = keys[first + 1], hi = keys[first + 2];
    spareNodes_[node] = TreeNode{axis, std::min(lo, kLeafMark - 1), hi, middle};
    makeSpareLeaf(2 * node + 2, spareRefs_[first + 2]);
    spareNodes_[2 * node + 1] = TreeNode{axis, std::min(lo, kLeafMark - 1), middle, midway(lo, middle)};
    makeSpareLeaf(2 * (2 * node + 1) + 1, spareRefs_[first]);
    makeSpareLeaf(2 * (2 * node + 1) + 2, spareRefs_[first + 1]);
    return true;
}

} // namespace VadiZov
