// A host render mesh that follows the soft body: each vertex is bound once to a frame of nearby
// nodes, and every graphics frame its position, normal and tangent are rebuilt from the nodes
// and written back into the host's buffer. Triangles hanging on both ends of a broken beam are
// collapsed; a reset restores them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "velkor/types.h"

namespace VadiZov {

class BeamObjectImpl;
class FlexBuffer;
class ResourceContainer;

constexpr int kMaxFlexNodeBindings = 2000;
constexpr size_t kMaxFlexMeshName = 255;

struct FlexVertexBinding {
    int32_t ref;
    int32_t vx;  // -2: the frame of the vertex before
    int32_t vy;
    int32_t vz;  // -1: fallback, the third axis is the unit normal of the first two
    float3 localPos;
    float3 localNormal;
    float3 localTangent;
};

class FlexMesh {
public:
    // No host call here; the mesh is registered for Lua's liveness checks until deleted.
    FlexMesh(BeamObjectImpl* owner, int slot, const char* meshName, ResourceContainer* resources);
    ~FlexMesh();
    FlexMesh(const FlexMesh&) = delete;
    FlexMesh& operator=(const FlexMesh&) = delete;

    // Ids outside the object's nodes and calls beyond 2000 bindings are refused with a log line.
    void addNodeBinding(int node);
    void setInitialTransformation(float3 a, float3 b, float3 c);
    // Binds afresh from the current node positions; active on success.
    void initialize();
    // Rebuilds and writes every vertex from the render snapshot.
    void update();
    // Queues a beam whose triangles the next updateBrokenTriangles hides.
    void addBrokenNode(int beam);
    void updateBrokenTriangles();
    // Restores every triangle from the copy made at binding.
    void updateIndexBuffer();

    bool isActive() const { return active_; }
    const std::string& meshName() const { return meshName_; }
    int slot() const { return slot_; }
    int nodeBindingCount() const { return nodeBindingCount_; }
    const std::vector<FlexVertexBinding>& vertexBindings() const { return vertexBindings_; }
    size_t queuedBrokenBeams() const { return brokenBeams_.size(); }

private:
    enum BindResult { kBound = 0, kNoBuffer = 1, kNodeNotFound = -1 };
    bool obtainBuffer();
    void copyTriangles();
    BindResult bindVertices();
    BindResult bindVertex(int vertex, const float3& position, const float3& normal, const float3& tangent,
                          FlexVertexBinding& out, bool& usedFallback);
    void hideBeamTriangles(int beam);

    BeamObjectImpl* owner_;
    int slot_;
    ResourceContainer* resources_;
    FlexBuffer* buffer_ = nullptr;
    std::string meshName_;
    int32_t vertexCount_ = 0;
    int32_t triangleCount_ = 0;
    int32_t nodeBindings_[kMaxFlexNodeBindings] = {};
    int32_t nodeBindingCount_ = 0;
    std::vector<FlexVertexBinding> vertexBindings_;
    // Per vertex, the four nodes of its frame with shared frames resolved, so the per-frame
    // update can take vertices in batches.
    struct Frame {
        int32_t ref, a1, a2, a3;  // a3 -1: fallback
    };
    std::vector<Frame> frames_;
    std::vector<uint16_t> triangleCopy_;  // three indices a triangle
    std::vector<int32_t> brokenBeams_;
    bool active_ = false;
};

} // namespace VadiZov
