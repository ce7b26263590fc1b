// The quick build. When every split and every leaf pair compares keys that differ, the leaf order
// of a build is fixed by the keys alone: each half of a range holds exactly its smaller or
// larger keys along the range's axis, and leaves are sorted. Starting from the previous leaf
// order, most ranges are then already split right, and a scan per range finds the few that
// nodes crossed. Equal keys make the order depend on how the selection moved them in earlier
// builds, so there the full build runs instead, from the untouched previous arrangement.
#include <algorithm>
#include <climits>
#include <cstdint>

#include "contact/bcollision_tree.h"

namespace VadiZov {

namespace {

constexpr int kBuildStackSize = 64;
// Crossings fixed by swapping pairs; more and the range is selected anew.
constexpr int kMaxCrossings = 16;

struct KeyRange {
    int32_t lo = INT32_MAX, hi = INT32_MIN;
};

template <class KeyOf>
KeyRange rangeOf(KeyOf key, int first, int end)
{
    KeyRange r;
    for (int i = first; i < end; ++i) {
        const int32_t k = key(i);
        r.lo = std::min(r.lo, k);
        r.hi = std::max(r.hi, k);
    }
    return r;
}

int32_t midway(int32_t lo, int32_t hi) { return int32_t(int64_t(lo) + (int64_t(hi) - int64_t(lo)) / 2); }

} // namespace

bool CollisionTriangleTree::rebuildFromPreviousOrder()
{
    std::copy(refs_, refs_ + capacity_, spareRefs_);
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

// One inner node: its left half must end below its right half, strictly.
bool CollisionTriangleTree::splitInOrder(int node, int axis, int first, int end)
{
    const int mid = first + (end - first) / 2;
    auto key = [this, axis](int ref) { return spareKey(ref, axis); };
    KeyRange left = rangeOf(key, first, mid);
    KeyRange right = rangeOf(key, mid, end);
    const int32_t lo = std::min(left.lo, right.lo), hi = std::max(left.hi, right.hi);
    if (left.hi >= right.lo) {
        if (!moveAcrossSplit(axis, first, mid, end, right.lo, left.hi))
            return false;
        left = rangeOf(key, first, mid);
        right = rangeOf(key, mid, end);
        if (left.hi >= right.lo)
            return false;  // equal keys meet at the split
    }
    // The split is the key of rank mid, the smallest of the right half.
    spareNodes_[node] = TreeNode{axis, std::min(lo, kLeafMark - 1), hi, right.lo};
    return true;
}

// Swaps the largest keys of the left half with the smallest of the right half while they are
// out of order. Only keys at or beyond the other half's extreme can be out of order.
bool CollisionTriangleTree::moveAcrossSplit(int axis, int first, int mid, int end, int32_t rightLo, int32_t leftHi)
{
    int fromLeft[kMaxCrossings], fromRight[kMaxCrossings];
    int leftCount = 0, rightCount = 0;
    bool few = true;
    for (int i = first; i < mid && few; ++i)
        if (spareKey(i, axis) >= rightLo) {
            few = leftCount < kMaxCrossings;
            if (few)
                fromLeft[leftCount++] = i;
        }
    for (int i = mid; i < end && few; ++i)
        if (spareKey(i, axis) <= leftHi) {
            few = rightCount < kMaxCrossings;
            if (few)
                fromRight[rightCount++] = i;
        }
    auto byKey = [this, axis](int a, int b) { return spareKey(a, axis) < spareKey(b, axis); };
    if (!few) {
        std::nth_element(spareRefs_ + first, spareRefs_ + mid, spareRefs_ + end,
                         [this, axis](int32_t a, int32_t b) { return slots_[a].key[axis] < slots_[b].key[axis]; });
        return true;
    }
    std::sort(fromLeft, fromLeft + leftCount, [&](int a, int b) { return byKey(b, a); });  // largest first
    std::sort(fromRight, fromRight + rightCount, byKey);
    for (int i = 0; i < std::min(leftCount, rightCount) && byKey(fromRight[i], fromLeft[i]); ++i)
        std::swap(spareRefs_[fromLeft[i]], spareRefs_[fromRight[i]]);
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
    int32_t* r = spareRefs_ + first;
    if (spareKey(first, axis) == spareKey(first + 1, axis))
        return false;
    if (spareKey(first + 1, axis) < spareKey(first, axis))
        std::swap(r[0], r[1]);
    const int32_t lo = spareKey(first, axis), hi = spareKey(first + 1, axis);
    spareNodes_[node] = TreeNode{axis, std::min(lo, kLeafMark - 1), hi, midway(lo, hi)};
    makeSpareLeaf(2 * node + 1, r[0]);
    makeSpareLeaf(2 * node + 2, r[1]);
    return true;
}

bool CollisionTriangleTree::orderThree(int node, int axis, int first)
{
    int32_t* r = spareRefs_ + first;
    const int32_t k0 = spareKey(first, axis), k1 = spareKey(first + 1, axis), k2 = spareKey(first + 2, axis);
    if (k0 == k1 || k0 == k2 || k1 == k2)
        return false;
    std::sort(r, r + 3, [this, axis](int32_t a, int32_t b) { return slots_[a].key[axis] < slots_[b].key[axis]; });
    const int32_t lo = spareKey(first, axis), middle = spareKey(first + 1, axis), hi = spareKey(first + 2, axis);
    spareNodes_[node] = TreeNode{axis, std::min(lo, kLeafMark - 1), hi, middle};
    makeSpareLeaf(2 * node + 2, r[2]);
    spareNodes_[2 * node + 1] = TreeNode{axis, std::min(lo, kLeafMark - 1), middle, midway(lo, middle)};
    makeSpareLeaf(2 * (2 * node + 1) + 1, r[0]);
    makeSpareLeaf(2 * (2 * node + 1) + 2, r[1]);
    return true;
}

} // namespace VadiZov
