#include "contact/bcollision_tree.h"

#include <algorithm>
#include <new>
#include <utility>

#include "base/bmath.h"
#include "object/bobject_records.h"
#include "object/bcore_parameters.h"

namespace VadiZov {

namespace {

constexpr std::align_val_t kAlign{16};
constexpr int kBuildStackSize = 64;

template <class T>
T* allocateAligned(int count)
{
    return static_cast<T*>(::operator new[](sizeof(T) * size_t(count), kAlign, std::nothrow));
}

template <class T>
void freeAligned(T* p)
{
    ::operator delete[](p, kAlign);
}

// The slots an object owns: its colliding nodes below its node count, as the integration
// writes them.
int collidingNodes(const BeamObjectRecords* object)
{
    if (!object)
        return 0;
    int count = 0;
    for (int j = 0; j < object->node_count; ++j)
        count += object->nodes[j].collides ? 1 : 0;
    return count;
}

// Tree nodes for capacity slots: twice the smallest power of two that holds them.
int treeNodesFor(int capacity)
{
    int power = 1;
    while (power < capacity)
        power *= 2;
    return power * 2;
}

int32_t medianOfThree(int32_t a, int32_t b, int32_t c)
{
    if (a > b)
        std::swap(a, b);
    if (b > c)
        b = c;
    return a > b ? a : b;
}

} // namespace

CollisionTriangleTree::CollisionTriangleTree() { reset(); }

CollisionTriangleTree::~CollisionTriangleTree() { freeHeap(); }

void CollisionTriangleTree::destroy() { reset(); }

void CollisionTriangleTree::freeHeap()
{
    if (onHeap_) {
        freeAligned(slots_);
        freeAligned(refs_);
        freeAligned(nodes_);
        freeAligned(spareRefs_);
        freeAligned(spareNodes_);
        freeAligned(columns_[0]);
    }
    spareRefs_ = nullptr;
    spareNodes_ = nullptr;
    columns_[0] = columns_[1] = columns_[2] = nullptr;
    index_.release();
    onHeap_ = false;
}

void CollisionTriangleTree::reset()
{
    freeHeap();
    slots_ = builtInSlots_;
    refs_ = builtInRefs_;
    nodes_ = builtInNodes_;
    for (int i = 0; i < kBuiltInSlots; ++i) {
        builtInSlots_[i] = TreeSlot{};
        builtInRefs_[i] = i;
        builtInNodes_[i] = TreeNode{};
    }
    nodeCount_ = kBuiltInSlots;
    slotOffsets_.assign(1, 0);
    slotCounts_.assign(1, 0);
    capacity_ = -1;
    total_ = -1;
    clearRoot();
}

void CollisionTriangleTree::clearRoot()
{
    for (int i = 0; i < kBuiltInSlots; ++i)
        slots_[i].key[0] = slots_[i].key[1] = slots_[i].key[2] = kDeadKey;
    makeLeaf(0, 0);
    index_.clear();
}

bool CollisionTriangleTree::allocate(int capacity)
{
    freeHeap();
    const int nodeCount = treeNodesFor(capacity);
    TreeSlot* slots = allocateAligned<TreeSlot>(capacity);
    int32_t* refs = allocateAligned<int32_t>(capacity);
    TreeNode* nodes = allocateAligned<TreeNode>(nodeCount);
    int32_t* spareRefs = allocateAligned<int32_t>(capacity);
    TreeNode* spareNodes = allocateAligned<TreeNode>(nodeCount);
    // Each column ends in a dead key, where the query index takes its unused items from.
    const int columnLength = capacity + 1;
    int32_t* columns = allocateAligned<int32_t>(3 * columnLength);
    if (!slots || !refs || !nodes || !spareRefs || !spareNodes || !columns || !index_.allocate(capacity)) {
        freeAligned(slots);
        freeAligned(refs);
        freeAligned(nodes);
        freeAligned(spareRefs);
        freeAligned(spareNodes);
        freeAligned(columns);
        return false;
    }
    std::fill(columns, columns + 3 * columnLength, kDeadKey);
    for (int a = 0; a < 3; ++a)
        columns_[a] = columns + a * columnLength;
    for (int i = 0; i < capacity; ++i) {
        slots[i] = TreeSlot{{kDeadKey, kDeadKey, kDeadKey}, 0, 0};
        refs[i] = i;
    }
    std::fill(nodes, nodes + nodeCount, TreeNode{});
    std::fill(spareNodes, spareNodes + nodeCount, TreeNode{});
    slots_ = slots;
    refs_ = refs;
    nodes_ = nodes;
    spareRefs_ = spareRefs;
    spareNodes_ = spareNodes;
    onHeap_ = true;
    capacity_ = capacity;
    nodeCount_ = nodeCount;
    return true;
}

void CollisionTriangleTree::resize(const core_parameters_t& params)
{
    const int objects = params.objects ? std::max(params.objectCount, 0) : 0;
    slotOffsets_.assign(size_t(objects), 0);
    slotCounts_.assign(size_t(objects), 0);
    int sum = 0;
    for (int i = 0; i < objects; ++i) {
        slotOffsets_[size_t(i)] = sum;
        slotCounts_[size_t(i)] = collidingNodes(params.objects[i]);
        sum += slotCounts_[size_t(i)];
    }
    if (sum > kMaxSlots) {
        reset();
        return;
    }
    if (sum != total_) {
        if (!allocate(std::max(sum, kBuiltInSlots))) {
            reset();
            return;
        }
        total_ = sum;
    }
    clearRoot();
}

void CollisionTriangleTree::writeSlotIds(const core_parameters_t& params)
{
    const int objects = std::min(params.objects ? params.objectCount : 0, int(slotCounts_.size()));
    for (int i = 0; i < objects; ++i) {
        const BeamObjectRecords* object = params.objects[i];
        TreeSlot* slot = objectSlots(i);
        if (!object || !slot)
            continue;
        const int count = slotCounts_[size_t(i)];
        int written = 0;
        for (int j = 0; j < object->node_count && written < count; ++j) {
            if (!object->nodes[j].collides)
                continue;
            slot[written].node = int16_t(j);
            slot[written].object = int16_t(i);
            ++written;
        }
    }
}

TreeSlot* CollisionTriangleTree::objectSlots(int objectIndex)
{
    if (capacity_ < 0 || objectIndex < 0 || objectIndex >= int(slotOffsets_.size()))
        return nullptr;
    return slots_ + slotOffsets_[size_t(objectIndex)];
}

int CollisionTriangleTree::objectSlotCount(int objectIndex) const
{
    if (capacity_ < 0 || objectIndex < 0 || objectIndex >= int(slotCounts_.size()))
        return 0;
    return slotCounts_[size_t(objectIndex)];
}

void CollisionTriangleTree::beginBuild() { nodes_[0].axis = 0; }

void CollisionTriangleTree::makeLeaf(int node, int ref)
{
    nodes_[node].axis = 0;
    nodes_[node].lo = kLeafMark;
    nodes_[node].hi = ref;
}

void CollisionTriangleTree::build()
{
    if (capacity_ < 0)
        return;
    if (rebuildFromPreviousOrder()) {
        index_.fillFromColumns(columns_, slots_, refs_, capacity_);
        return;
    }
    buildBySelection();
    index_.fill(slots_, refs_, capacity_);
}

void CollisionTriangleTree::buildBySelection()
{
    struct Pending {
        int node, first, end;
    };
    Pending stack[kBuildStackSize];
    int depth = 0;
    Pending current{0, 0, capacity_};
    for (;;) {
        const int axis = nodes_[current.node].axis;
        const int count = current.end - current.first;
        if (count >= 4) {
            splitRange(current.node, axis, current.first, current.end);
            const int mid = current.first + count / 2;
            const int next = axis == 2 ? 0 : axis + 1;
            const int left = 2 * current.node + 1;
            nodes_[left].axis = next;
            nodes_[left + 1].axis = next;
            stack[depth++] = Pending{left + 1, mid, current.end};
            current = Pending{left, current.first, mid};
            continue;
        }
        if (count == 3)
            splitThree(current.node, axis, current.first);
        else
            splitTwo(current.node, axis, current.first);
        if (depth == 0)
            break;
        current = stack[--depth];
    }
}

void CollisionTriangleTree::splitRange(int node, int axis, int first, int end)
{
    int32_t lo = keyOf(first, axis), hi = lo;
    for (int r = first + 1; r < end; ++r) {
        const int32_t k = keyOf(r, axis);
        lo = std::min(lo, k);
        hi = std::max(hi, k);
    }
    const int mid = first + (end - first) / 2;
    select(first, end, mid, axis, nodes_[node].split);
    // An inner node must never read as a leaf, whatever keys it holds.
    nodes_[node] = TreeNode{axis, std::min(lo, kLeafMark - 1), hi, keyOf(mid, axis)};
}

// Rearranges refs [first, end) so that the one at mid has the key of its rank, none before it
// greater and none after it smaller. The first pass pivots on the node's split key from the
// previous build (positions change little between substeps); later passes on a median of three.
void CollisionTriangleTree::select(int first, int end, int mid, int axis, int32_t pivot)
{
    int lo = first, hi = end;
    bool reusePivot = true;
    while (hi - lo > 1) {
        if (!reusePivot)
            pivot = medianOfThree(keyOf(lo, axis), keyOf(lo + (hi - lo) / 2, axis), keyOf(hi - 1, axis));
        reusePivot = false;
        // Three ways, so that runs of equal keys (a flat plate has one height) end the search.
        int less = lo, i = lo, greater = hi;
        while (i < greater) {
            const int32_t k = keyOf(i, axis);
            if (k < pivot)
                std::swap(refs_[less++], refs_[i++]);
            else if (k > pivot)
                std::swap(refs_[i], refs_[--greater]);
            else
                ++i;
        }
        if (mid < less)
            hi = less;
        else if (mid >= greater)
            lo = greater;
        else
            return;
    }
}

void CollisionTriangleTree::splitThree(int node, int axis, int first)
{
    int32_t* r = refs_ + first;
    if (keyOf(first + 1, axis) < keyOf(first, axis))
        std::swap(r[0], r[1]);
    if (keyOf(first + 2, axis) < keyOf(first, axis))
        std::swap(r[2], r[0]);
    if (keyOf(first + 2, axis) < keyOf(first + 1, axis))
        std::swap(r[2], r[1]);
    nodes_[node] = TreeNode{axis, std::min(keyOf(first, axis), kLeafMark - 1), keyOf(first + 2, axis),
                            keyOf(first + 1, axis)};
    makeLeaf(2 * node + 2, r[2]);
    nodes_[2 * node + 1].axis = axis;
    splitTwo(2 * node + 1, axis, first);
}

void CollisionTriangleTree::splitTwo(int node, int axis, int first)
{
    int32_t* r = refs_ + first;
    if (keyOf(first + 1, axis) < keyOf(first, axis))
        std::swap(r[0], r[1]);
    const int32_t lo = keyOf(first, axis), hi = keyOf(first + 1, axis);
    // Keys of opposite sign can lie further apart than an int32 holds.
    const int32_t split = int32_t(int64_t(lo) + (int64_t(hi) - int64_t(lo)) / 2);
    nodes_[node] = TreeNode{axis, std::min(lo, kLeafMark - 1), hi, split};
    makeLeaf(2 * node + 1, r[0]);
    makeLeaf(2 * node + 2, r[1]);
}

int CollisionTriangleTree::query(uint32_t* out, const float3& a, const float3& b, const float3& c, float margin) const
{
    const float lo[3] = {std::min({a.x, b.x, c.x}), std::min({a.y, b.y, c.y}), std::min({a.z, b.z, c.z})};
    const float hi[3] = {std::max({a.x, b.x, c.x}), std::max({a.y, b.y, c.y}), std::max({a.z, b.z, c.z})};
    int32_t qmin[3], qmax[3];
    for (int ax = 0; ax < 3; ++ax) {
        qmin[ax] = sortableKey(lo[ax] - margin);
        qmax[ax] = sortableKey(hi[ax] + margin);
        // An empty box (a negative margin, a NaN corner) finds nothing.
        if (qmin[ax] > qmax[ax])
            return 0;
    }
    // The leaves in order: the slots a walk of the tree would find, in the walk's order.
    return index_.query(out, qmin, qmax);
}

} // namespace VadiZov
