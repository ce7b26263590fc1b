// The query side of the collision tree. After each build it holds the slots' keys and id words
// in the order of the tree's leaves, with a box around every group of 8 of them and every block
// of 8 groups. A query tests eight boxes or eight keys at a time, without the hard-to-predict
// branches of a walk, and returns the slots inside in leaf order: the walk's result, in the
// walk's order, since a walk of the tree visits its leaves left to right.
#pragma once

#include <cstdint>

#include "contact/btree_slot.h"

namespace VadiZov {

class TreeQueryIndex {
public:
    static constexpr int kWidth = 8;  // keys in a group, groups in a block

    TreeQueryIndex() = default;
    ~TreeQueryIndex() { release(); }
    TreeQueryIndex(const TreeQueryIndex&) = delete;
    TreeQueryIndex& operator=(const TreeQueryIndex&) = delete;

    // Room for capacity slots; false when memory runs out (the index then finds nothing).
    bool allocate(int capacity);
    void release();
    // Finds nothing until the next fill.
    void clear() { count_ = 0; }
    // Slots order[0 .. count) of slots, in that order; count is at most the allocated capacity.
    void fill(const TreeSlot* slots, const int32_t* order, int count);
    // Id words of the slots with qmin <= key <= qmax on every axis, in fill order; qmin must not
    // exceed qmax on any axis. out must hold the allocated capacity: entries past the returned
    // count are scratch.
    int query(uint32_t* out, const int32_t qmin[3], const int32_t qmax[3]) const;

private:
    static void fillBoxes(const int32_t* const lo[3], const int32_t* const hi[3], int items, int earlierItems,
                          int32_t* boxLo[3], int32_t* boxHi[3]);

    int32_t* storage_ = nullptr;
    int32_t* keys_[3] = {};
    uint32_t* ids_ = nullptr;
    int32_t* groupLo_[3] = {};
    int32_t* groupHi_[3] = {};
    int32_t* blockLo_[3] = {};
    int32_t* blockHi_[3] = {};
    int capacity_ = 0;
    int count_ = 0;
};

} // namespace VadiZov
