// The query side of the collision tree. After each build it holds the slots' keys and id words
// in the order of the tree's leaves, cut into the tree's subtrees of at most 8 leaves (groups)
// and of 8 such groups (blocks), each with its bounding box. A query tests eight boxes or eight
// keys at a time, without the hard-to-predict branches of a walk, and returns the slots inside
// in leaf order: the walk's result, in the walk's order, since a walk of the tree visits its
// leaves left to right.
#pragma once

#include <cstdint>

#include "base/bsimd.h"
#include "contact/btree_slot.h"

namespace VadiZov {

class TreeQueryIndex {
public:
    static constexpr int kWidth = 8;  // items in a group, groups in a block

    TreeQueryIndex() = default;
    ~TreeQueryIndex() { release(); }
    TreeQueryIndex(const TreeQueryIndex&) = delete;
    TreeQueryIndex& operator=(const TreeQueryIndex&) = delete;

    // Room for capacity slots; false when memory runs out (the index then finds nothing).
    bool allocate(int capacity);
    void release();
    // Finds nothing until the next fill.
    void clear() { filled_ = false; }
    // Slots order[0 .. count) of slots, in that order; count is at most the allocated capacity.
    void fill(const TreeSlot* slots, const int32_t* order, int count);
    // The same, with the keys already gathered in that order into three columns, each holding
    // a dead key (INT32_MIN) at index count.
    void fillFromColumns(const int32_t* const columns[3], const TreeSlot* slots, const int32_t* order, int count);
    // Id words of the slots with qmin <= key <= qmax on every axis, in fill order; qmin must not
    // exceed qmax on any axis. out must hold the filled count.
    int query(uint32_t* out, const int32_t qmin[3], const int32_t qmax[3]) const;
    // The widest lanes the CPU has by default; tests try each. Results are the same.
    void useKernel(SimdKernel kernel);

private:
    template <class Box>
    int queryWith(uint32_t* out, const Box& q) const;
    int queryWide(uint32_t* out, const int32_t qmin[3], const int32_t qmax[3]) const;
    void layOut(int count);
    void fillIds(const TreeSlot* slots, const int32_t* order);
    void fillBoxes();

    int32_t* storage_ = nullptr;
    int32_t* keys_[3] = {};  // 8 per group, the group's items first, then dead keys
    uint32_t* ids_ = nullptr;
    int32_t* groupFirst_ = nullptr;  // groups_ + 1 bounds in fill order
    int32_t* source_ = nullptr;      // per item, its index in fill order (count: none)
    int32_t* groupLo_[3] = {};
    int32_t* groupHi_[3] = {};
    int32_t* blockLo_[3] = {};
    int32_t* blockHi_[3] = {};
    int capacity_ = 0;
    int groups_ = 0;       // a power of two, at least kWidth
    int layoutCount_ = -1;  // the count groupFirst_ was cut for
    bool filled_ = false;
    bool wide_ = bestSimdKernel() == SimdKernel::Avx2;
};

} // namespace VadiZov
