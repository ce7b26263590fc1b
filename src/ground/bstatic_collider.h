// The host's static collision geometry (everything that is not the terrain height field). The
// host adds triangles and commits them as a batch; before each physics step the frame step
// rebuilds the prepared triangles and their tree from the last batch, and during the substeps
// every core thread asks for the surface nearest to a node.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "ground/bstatic_tree.h"
#include "platform/critical_section.h"
#include "velkor/types.h"

namespace VadiZov {

struct StaticQueryResult {
    const StaticTriangle* triangle = nullptr;  // written only when a surface at or behind is taken
    bool nothingNear = true;                   // no triangle plane within the radius
};

class StaticCollider {
public:
    StaticCollider();
    ~StaticCollider();
    StaticCollider(const StaticCollider&) = delete;
    StaticCollider& operator=(const StaticCollider&) = delete;

    // Host thread. Appends to the batch being built.
    void addTriangle(const float3& a, const float3& b, const float3& c);
    // Host thread. The batch built so far becomes the one the next rebuild uses (an earlier
    // batch not yet rebuilt is dropped); keepDebugCopy also makes it the displayed geometry.
    void commit(bool keepDebugCopy);
    // Host thread, before each physics step, while no query runs. Replaces the prepared
    // triangles and the tree when a batch was committed since the last rebuild.
    void rebuild();
    // Any thread, no lock, no allocation. True when the nearest triangle over or under p within
    // r lies at or behind p (result.triangle) and nearer than any in front of it.
    bool query(StaticQueryResult& result, const float3& p, float r) const;
    // No static collision; drops the pending and committed batches. The displayed geometry and
    // the dirty flag stay.
    void clear();

    // Host thread (debug drawing).
    const std::vector<RawTriangle>& debugTriangles() const { return debugTriangles_; }

    uint32_t triangleCount() const { return triangleCount_; }
    const StaticTriangle* triangles() const { return triangles_.get(); }
    int32_t nodeCapacity() const { return nodeCapacity_; }
    const StaticTreeNode& treeNode(int32_t k) const { return root_[k]; }
    bool dirty() const { return dirty_; }
    // Counts the rebuilds that replaced the triangles: what a node learnt from a query about
    // an earlier set no longer holds.
    uint32_t generation() const { return generation_; }

private:
    // Pending-stack depth of query; a balanced tree of any count that fits in memory is shallower.
    static constexpr int kQueryStackDepth = 32;

    struct AlignedDeleter {
        void operator()(void* p) const { ::operator delete[](p, std::align_val_t(16)); }
    };

    // No prepared triangles; the tree is the empty root. The raw lists are untouched.
    void dropTree();

    platform::CriticalSection lock_;
    std::unique_ptr<StaticTriangle[], AlignedDeleter> triangles_;
    uint32_t triangleCount_ = 0;
    std::vector<RawTriangle> debugTriangles_;
    std::vector<RawTriangle> pendingTriangles_;
    std::vector<RawTriangle> committedTriangles_;
    std::unique_ptr<StaticTreeNode[], AlignedDeleter> nodes_;
    const StaticTreeNode* root_ = &kEmptyStaticTreeRoot;  // nodes_ or the empty root
    bool dirty_ = false;
    uint32_t generation_ = 0;
    int32_t nodeCapacity_ = 0;
};

} // namespace VadiZov
