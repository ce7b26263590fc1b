// The broad phase of triangle contact: a k-d tree over the world positions of every colliding
// node of every object, rebuilt each substep from the tree slots the core threads write. Each
// collision triangle asks it for the nodes inside its bounding box grown by a margin.
//
// Keys are sortable integers (the float order as signed integer order), so the build and the
// queries compare integers only. The tree is implicit: the children of node k are 2k+1 and
// 2k+2. The build permutes 4-byte references to slots and never moves the slots themselves.
// Nodes move little between substeps, so a build first tries to keep the previous leaf order
// and only fix the splits that nodes crossed; queries read a flat copy of the leaves.
#pragma once

#include <cstdint>
#include <vector>

#include "contact/btree_query_index.h"
#include "contact/btree_slot.h"
#include "velkor/types.h"

namespace VadiZov {

struct core_parameters_t;

// One node of the implicit tree: an inner node {axis, smallest key, largest key, split key} or
// a leaf {0, kLeafMark, slot index, unused}.
struct TreeNode {
    int32_t axis;
    int32_t lo;
    int32_t hi;
    int32_t split;
};

class CollisionTriangleTree {
public:
    static constexpr int32_t kDeadKey = INT32_MIN;     // below every real key: never found
    static constexpr int32_t kLeafMark = 0x7FFFFFFF;   // a leaf's second word
    static constexpr int kBuiltInSlots = 4;
    // Ranges are held in 16 bits: more colliding nodes leave the tree finding nothing.
    static constexpr int kMaxSlots = 32767;

    CollisionTriangleTree();
    ~CollisionTriangleTree();
    // Frees the heap arrays; the tree is then in the reset state (queries find nothing) until
    // the next resize. The thread manager calls it before it deletes the tree.
    void destroy();
    CollisionTriangleTree(const CollisionTriangleTree&) = delete;
    CollisionTriangleTree& operator=(const CollisionTriangleTree&) = delete;

    // New slot offsets from the objects' colliding nodes; reallocates when the total changed.
    void resize(const core_parameters_t& params);
    // Gives every object's slots, in node order, the node and object index they stand for.
    void writeSlotIds(const core_parameters_t& params);
    void beginBuild();
    void build();
    // Writes the id word (node index | object index << 16) of every slot whose keys lie within
    // the corners' bounds grown by margin, in walk order; out must hold resultCapacity()
    // entries. Returns the number written.
    int query(uint32_t* out, const float3& a, const float3& b, const float3& c, float margin) const;

    // Entries a query can write at most: every slot.
    int resultCapacity() const { return capacity_ < 0 ? 0 : capacity_; }
    int total() const { return total_; }
    int capacity() const { return capacity_; }
    int nodeCount() const { return nodeCount_; }
    const TreeNode& node(int k) const { return nodes_[k]; }
    const TreeSlot& slot(int i) const { return slots_[i]; }

    // The run of slots an object's core thread writes, and its length (0 and null for an object
    // index the last resize did not see, or in the reset state).
    TreeSlot* objectSlots(int objectIndex);
    int objectSlotCount(int objectIndex) const;

private:
    void reset();
    void clearRoot();
    bool allocate(int capacity);
    void freeHeap();

    // The full build: a selection in every range, each starting from the previous split key.
    void buildBySelection();
    // The quick build from the previous leaf order (bcollision_tree_reorder.cpp). It works on
    // the spare arrays and swaps them in only when no keys it compares are equal: the result
    // then cannot differ from the full build's. False leaves the tree as it was.
    bool rebuildFromPreviousOrder();
    bool splitInOrder(int node, int axis, int first, int end);
    bool orderTwo(int node, int axis, int first);
    bool orderThree(int node, int axis, int first);
    void makeSpareLeaf(int node, int ref);
    void swapItems(int a, int b);

    // The build's steps for one range of references.
    void splitRange(int node, int axis, int first, int end);
    void splitThree(int node, int axis, int first);
    void splitTwo(int node, int axis, int first);
    void makeLeaf(int node, int ref);
    int32_t keyOf(int ref, int axis) const { return slots_[refs_[ref]].key[axis]; }
    void select(int first, int end, int mid, int axis, int32_t pivot);

    TreeSlot* slots_;
    int32_t* refs_;
    TreeNode* nodes_;
    // What the quick build writes, swapped with refs_ and nodes_ when it succeeds.
    int32_t* spareRefs_ = nullptr;
    TreeNode* spareNodes_ = nullptr;
    TreeQueryIndex index_;
    int32_t* columns_[3] = {};  // the keys in leaf order, as the quick build arranges them
    bool onHeap_ = false;
    int capacity_ = -1;
    int total_ = -1;
    int nodeCount_ = 0;
    std::vector<int> slotOffsets_;  // per object slot of the engine
    std::vector<int> slotCounts_;

    alignas(16) TreeSlot builtInSlots_[kBuiltInSlots];
    alignas(16) int32_t builtInRefs_[kBuiltInSlots];
    alignas(16) TreeNode builtInNodes_[kBuiltInSlots];
};

} // namespace VadiZov
