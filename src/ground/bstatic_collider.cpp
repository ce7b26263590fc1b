#include "ground/bstatic_collider.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <unordered_set>

#include "base/bconstants.h"
#include "base/blog.h"
#include "base/bmath.h"

namespace VadiZov {

namespace {


template <typename T>
T* allocateAligned(size_t count)
{
    void* p = ::operator new[](count * sizeof(T), std::align_val_t(16), std::nothrow);
    return static_cast<T*>(p);
}

void freeList(std::vector<RawTriangle>& list) { std::vector<RawTriangle>().swap(list); }

// Exact copies of one triangle all land in one leaf of the tree, where every query near them
// would test each: a file of a million copies would stall every frame. The first of each set
// is kept, in the order given, so contact results do not depend on the copies.
void dropExactDuplicates(std::vector<RawTriangle>& list)
{
    static_assert(sizeof(RawTriangle) == 9 * sizeof(float), "triangles are compared as bytes");
    struct Hash {
        size_t operator()(const RawTriangle* t) const
        {
            uint32_t words[9];
            std::memcpy(words, t, sizeof words);
            uint64_t h = 1469598103934665603ull;
            for (uint32_t w : words)
                h = (h ^ w) * 1099511628211ull;
            return size_t(h);
        }
    };
    struct Same {
        bool operator()(const RawTriangle* a, const RawTriangle* b) const
        {
            return std::memcmp(a, b, sizeof(RawTriangle)) == 0;
        }
    };
    std::unordered_set<const RawTriangle*, Hash, Same> seen;
    seen.reserve(list.size());
    std::vector<RawTriangle> kept;
    kept.reserve(list.size());
    for (const RawTriangle& t : list) {
        if (seen.insert(&t).second)
            kept.push_back(t);
    }
    if (kept.size() != list.size())
        list.swap(kept);
}

} // namespace

StaticCollider::StaticCollider() : lock_(kLockSpinCount) { clear(); }

StaticCollider::~StaticCollider() = default;

void StaticCollider::addTriangle(const float3& a, const float3& b, const float3& c)
{
    platform::CriticalSectionGuard guard(lock_);
    try {
        pendingTriangles_.push_back({a, b, c});
    } catch (const std::bad_alloc&) {
        logError("*** Collision overflow ***");
        freeList(pendingTriangles_);
    } catch (const std::length_error&) {
        logError("*** Collision overflow ***");
        freeList(pendingTriangles_);
    }
}

void StaticCollider::commit(bool keepDebugCopy)
{
    platform::CriticalSectionGuard guard(lock_);
    try {
        dropExactDuplicates(pendingTriangles_);
    } catch (const std::bad_alloc&) {
        // Without room to sort them out the copies stay: slower queries, same contacts.
    }
    if (keepDebugCopy) {
        try {
            debugTriangles_ = pendingTriangles_;
        } catch (const std::bad_alloc&) {
            freeList(debugTriangles_);  // only the display loses its copy
        }
    }
    committedTriangles_.swap(pendingTriangles_);
    freeList(pendingTriangles_);
    dirty_ = true;
}

void StaticCollider::dropTree()
{
    triangles_.reset();
    triangleCount_ = 0;
    nodes_.reset();
    root_ = &kEmptyStaticTreeRoot;
    nodeCapacity_ = 0;
}

void StaticCollider::clear()
{
    platform::CriticalSectionGuard guard(lock_);
    dropTree();
    freeList(pendingTriangles_);
    freeList(committedTriangles_);
}

void StaticCollider::rebuild()
{
    if (!dirty_)
        return;

    uint32_t count = 0;
    {
        platform::CriticalSectionGuard guard(lock_);
        dirty_ = false;
        generation_ += 1;
        dropTree();
        count = uint32_t(committedTriangles_.size());
        // An empty batch or a failed allocation leaves no static collision; triangles the host
        // has added since the commit belong to the next batch and stay pending.
        StaticTriangle* prepared = count ? allocateAligned<StaticTriangle>(count) : nullptr;
        if (!prepared) {
            freeList(committedTriangles_);
            return;
        }
        triangles_.reset(prepared);
        for (uint32_t i = 0; i < count; ++i)
            prepared[i] = makeStaticTriangle(committedTriangles_[i]);
        freeList(committedTriangles_);
    }

    // The tree is built outside the lock: only the host thread touches it, and no query runs.
    const int32_t capacity = staticTreeCapacity(count);
    StaticTreeNode* nodes = capacity ? allocateAligned<StaticTreeNode>(size_t(capacity)) : nullptr;
    if (!nodes) {
        platform::CriticalSectionGuard guard(lock_);
        dropTree();
        return;
    }
    for (int32_t k = 0; k < capacity; ++k)
        nodes[k] = StaticTreeNode{0, 0, 0, 0, 0};
    buildStaticTree(nodes, triangles_.get(), count);
    nodes_.reset(nodes);
    nodeCapacity_ = capacity;
    triangleCount_ = count;
    root_ = nodes;
}

bool StaticCollider::query(StaticQueryResult& result, const float3& p, float r) const
{
    const int32_t qmin[3] = {sortableKey(p.x - r), sortableKey(p.y - r), sortableKey(p.z - r)};
    const int32_t qmax[3] = {sortableKey(p.x + r), sortableKey(p.y + r), sortableKey(p.z + r)};

    float above = r;
    float below = -r;
    float bound = r;
    bool nothingNear = true;

    const StaticTreeNode* nodes = root_;
    const StaticTriangle* triangles = triangles_.get();
    int32_t stack[kQueryStackDepth];
    int depth = 0;
    int32_t k = 0;
    for (;;) {
        const StaticTreeNode& node = nodes[k];
        if (!node.isLeaf()) {
            const int a = node.axis;
            const bool leftHit = qmax[a] >= node.leftMin && qmin[a] <= node.leftMax;
            const bool rightHit = qmax[a] >= node.rightMin && qmin[a] <= node.rightMax;
            if (leftHit) {
                if (rightHit)
                    stack[depth++] = 2 * k + 2;
                k = 2 * k + 1;
                continue;
            }
            if (rightHit) {
                k = 2 * k + 2;
                continue;
            }
        } else {
            const StaticTriangle& t = triangles[node.triangleIndex()];
            const bool boxesOverlap = t.boxMin[0] <= qmax[0] && t.boxMax[0] >= qmin[0] &&
                                      t.boxMin[1] <= qmax[1] && t.boxMax[1] >= qmin[1] &&
                                      t.boxMin[2] <= qmax[2] && t.boxMax[2] >= qmin[2];
            if (boxesOverlap) {
                const float d = staticDot(t.normal, p) - t.planeOffset;
                if (std::fabs(d) < bound) {
                    nothingNear = false;
                    const float b2 = staticDot(t.cornerTwoGradient, p) - t.cornerTwoOffset;
                    const float b1 = staticDot(t.cornerOneGradient, p) - t.cornerOneOffset;
                    if (b2 >= 0.0f && b1 >= 0.0f && b1 + b2 <= 1.0f) {
                        if (d > 0.0f) {
                            above = d;
                        } else {
                            below = d;
                            result.triangle = &t;
                        }
                        bound = std::min(-below, above);
                    }
                }
            }
        }
        if (depth == 0)
            break;
        k = stack[--depth];
    }

    result.nothingNear = nothingNear;
    return above > -below;
}

} // namespace VadiZov
