#include "object/bflexmesh.h"

#include <cmath>
#include <new>
#include <utility>

#include "base/blifetime.h"
#include "base/blog.h"
#include "base/bmath.h"
#include "base/bscript_values.h"
#include "base/bsimd.h"
#include "object/bobject.h"
#include "base/bphysics_thread.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

constexpr float kFarAway = 3.4028235e38f;
constexpr float kVyLineLimit = 0.906f;    // cos of about 25 degrees off the REF-VX line
constexpr float kFourthPlaneLimit = 0.423f;  // sin of about 25 degrees out of the REF-VX-VY plane
constexpr int32_t kSharedFrame = -2;
constexpr int32_t kFallback = -1;

// Exact length, zero for a zero vector: the binding runs once and may take its time.
float3 exactUnit(const float3& v)
{
    const float length = std::sqrt(v.squaredLength());
    return length > 0.0f ? v * (1.0f / length) : float3();
}

// The per-frame unit: zero stays zero instead of turning into NaN when a frame collapses.
inline float3 frameUnit(const float3& v)
{
    const float squared = v.squaredLength();
    return squared > 0.0f ? v * approxRsqrt(squared) : float3();
}

} // namespace

FlexMesh::FlexMesh(BeamObjectImpl* owner, int slot, const char* meshName, ResourceContainer* resources)
    : owner_(owner), slot_(slot), resources_(resources), meshName_(meshName ? meshName : "")
{
    if (meshName_.size() > kMaxFlexMeshName)
        meshName_.resize(kMaxFlexMeshName);
    beginLifetime(this);
}

FlexMesh::~FlexMesh()
{
    endLifetime(this);
    active_ = false;
    if (buffer_ && resources_)
        resources_->releaseFlexBuffer(buffer_);
    buffer_ = nullptr;
}

// The host thread writes the mesh while a frame runs: physicsStep may not change it.
void FlexMesh::addNodeBinding(int node)
{
    if (refuseOnPhysicsThread("FlexMesh.addNodeBinding"))
        return;
    if (node < 0 || node >= owner_->node_count) {
        logFormat(LOG_ERROR, "*** addNodeBinding: invalid node id: %d", node);
        return;
    }
    if (nodeBindingCount_ >= kMaxFlexNodeBindings) {
        logFormat(LOG_ERROR, "*** addNodeBinding: mesh %s already binds %d nodes", meshName_.c_str(),
                  kMaxFlexNodeBindings);
        return;
    }
    nodeBindings_[nodeBindingCount_++] = node;
}

bool FlexMesh::obtainBuffer()
{
    if (!buffer_ && resources_)
        buffer_ = resources_->createFlexBuffer(meshName_.c_str());
    if (!buffer_) {
        logFormat(LOG_ERROR, "error creating vertex buffer for mesh %s", meshName_.c_str());
        return false;
    }
    return true;
}

void FlexMesh::setInitialTransformation(float3 a, float3 b, float3 c)
{
    constexpr const char* kMember = "FlexMesh.setInitialTransformation";
    if (refuseOnPhysicsThread(kMember) || !acceptVector(kMember, "transformation", a, kMaxScriptValue) ||
        !acceptVector(kMember, "transformation", b, kMaxScriptValue) ||
        !acceptVector(kMember, "transformation", c, kMaxScriptValue))
        return;
    if (obtainBuffer())
        buffer_->setInitialTransformation(&a, &b, &c);
}

void FlexMesh::initialize()
{
    if (refuseOnPhysicsThread("FlexMesh.initialize"))
        return;
    beforeScriptAccess();  // the bindings read the nodes, which belong to a running frame
    active_ = false;
    if (!obtainBuffer())
        return;
    // Counts come from the host: a negative one means an empty mesh.
    vertexCount_ = buffer_->vertexCount > 0 ? buffer_->vertexCount : 0;
    triangleCount_ = buffer_->triangleCount > 0 ? buffer_->triangleCount : 0;
    if (bindVertices() == kBound)
        active_ = true;
}

void FlexMesh::copyTriangles()
{
    triangleCopy_.clear();
    if (triangleCount_ <= 0)
        return;
    try {
        triangleCopy_.assign(size_t(triangleCount_) * 3, 0);
    } catch (const std::bad_alloc&) {
        triangleCount_ = 0;
        return;
    }
    buffer_->beginIndexAccess();
    for (int i = 0; i < triangleCount_; ++i) {
        uint16_t storage[3] = {};
        const uint16_t* triangle = buffer_->getTriangle(storage, i);
        if (!triangle)
            triangle = storage;
        for (int k = 0; k < 3; ++k)
            triangleCopy_[size_t(i) * 3 + size_t(k)] = triangle[k];
    }
    buffer_->endIndexAccess();
}

FlexMesh::BindResult FlexMesh::bindVertices()
{
    if (!buffer_)
        return kNoBuffer;
    copyTriangles();
    buffer_->beginRead();
    vertexBindings_.clear();
    try {
        vertexBindings_.assign(size_t(vertexCount_), FlexVertexBinding{});
    } catch (const std::bad_alloc&) {
        buffer_->endRead();
        return kNoBuffer;
    }
    bool usedFallback = false;
    FlexVertexBinding previous{kSharedFrame, kSharedFrame, kSharedFrame, kSharedFrame, {}, {}, {}};
    for (int i = 0; i < vertexCount_; ++i) {
        float3 positionStorage;
        const float* p = buffer_->getVertexPosition(&positionStorage, i);
        float directionStorage[6] = {};
        const float* d = buffer_->getVertexDirections(directionStorage, i);
        const float3 position = p ? float3(p[0], p[1], p[2]) : positionStorage;
        if (!d)
            d = directionStorage;
        FlexVertexBinding& binding = vertexBindings_[size_t(i)];
        const BindResult result = bindVertex(i, position, float3(d[0], d[1], d[2]), float3(d[3], d[4], d[5]),
                                             binding, usedFallback);
        if (result != kBound) {
            buffer_->endRead();
            return result;
        }
        // Compared with what the previous vertex stored, so in a run on one frame every second
        // vertex shares it.
        if (binding.ref == previous.ref && binding.vx == previous.vx && binding.vy == previous.vy &&
            binding.vz == previous.vz)
            binding.vx = kSharedFrame;
        previous = binding;
    }
    buffer_->endRead();
    frames_.resize(vertexBindings_.size());
    for (size_t i = 0; i < vertexBindings_.size(); ++i) {
        const FlexVertexBinding& b = vertexBindings_[i];
        frames_[i] = b.vx == kSharedFrame ? frames_[i - 1] : Frame{b.ref, b.vx, b.vy, b.vz};
    }
    if (usedFallback)
        logMessage(LOG_INFO,
                   " ** parts of this flexbody will use the fallback code as it could not qualify for the normal mode",
                   true);
    return kBound;
}

FlexMesh::BindResult FlexMesh::bindVertex(int, const float3& position, const float3& normal, const float3& tangent,
                                          FlexVertexBinding& out, bool& usedFallback)
{
    const BeamObjectImpl& object = *owner_;
    auto nodePos = [&object](int node) -> const float3& { return object.nodes[node].pos; };
    // Walks the bindings in order from the far-away best; only a strictly nearer candidate wins,
    // so ties go to the earlier binding.
    auto nearest = [&](auto accepts) {
        int best = -1;
        float bestDistance = kFarAway;
        for (int b = 0; b < nodeBindingCount_; ++b) {
            const int node = nodeBindings_[b];
            if (!object.validNode(node) || !accepts(node))
                continue;
            const float distance = std::sqrt((nodePos(node) - position).squaredLength());
            if (distance < bestDistance) {
                bestDistance = distance;
                best = node;
            }
        }
        return best;
    };

    int ref = nearest([](int) { return true; });
    if (ref < 0) {
        logFormat(LOG_ERROR, "FLEXBODY ERROR on mesh %s: REF node not found", meshName_.c_str());
        return kNodeNotFound;
    }
    const int wheelId = object.nodeProperties[ref].wheelId;
    if (wheelId != kNoWheel && wheelId >= 0 && wheelId < object.wheel_count && wheelId < kMaxWheels) {
        const wheelData& w = object.wheels[wheelId];
        if (w.axisNode1 && w.axisNode2) {
            const int first = int(w.axisNode1 - object.nodes);
            const int second = int(w.axisNode2 - object.nodes);
            const float toFirst = std::sqrt((nodePos(first) - position).squaredLength());
            const float toSecond = std::sqrt((nodePos(second) - position).squaredLength());
            ref = toSecond > toFirst ? first : second;
        }
    }
    const float3 refPos = nodePos(ref);
    // A node at REF's own position gives no axis: it is never taken for one.
    auto offRef = [&](int node) { return node != ref && (nodePos(node) - refPos).squaredLength() > 0.0f; };

    int vx = nearest(offRef);
    if (vx < 0) {
        logFormat(LOG_ERROR, "FLEXBODY ERROR on mesh %s: VX node not found", meshName_.c_str());
        return kNodeNotFound;
    }
    const float3 d1 = exactUnit(nodePos(vx) - refPos);
    int vy = nearest([&](int node) {
        if (node == vx || !offRef(node))
            return false;
        const float c = exactUnit(nodePos(node) - refPos).dot(d1);
        return c >= -kVyLineLimit && c <= kVyLineLimit;
    });
    if (vy < 0) {
        logFormat(LOG_ERROR, "FLEXBODY ERROR on mesh %s: VY node not found", meshName_.c_str());
        return kNodeNotFound;
    }
    const float3 c = exactUnit(d1.cross(exactUnit(nodePos(vy) - refPos)));
    int vz = nearest([&](int node) {
        if (node == vx || node == vy || !offRef(node))
            return false;
        const float s = exactUnit(nodePos(node) - refPos).dot(c);
        return s <= -kFourthPlaneLimit || s >= kFourthPlaneLimit;
    });

    if (vx > vy)
        std::swap(vx, vy);
    if (vz != kFallback) {
        if (vy > vz)
            std::swap(vy, vz);
        if (vx > vy)
            std::swap(vx, vy);
    }

    const float3 a1 = nodePos(vx) - refPos;
    const float3 a2 = nodePos(vy) - refPos;
    float3 a3;
    if (vz == kFallback) {
        a3 = exactUnit(a1.cross(a2));
        usedFallback = true;
    } else {
        a3 = nodePos(vz) - refPos;
    }
    out.ref = ref;
    out.vx = vx;
    out.vy = vy;
    out.vz = vz;
    out.localPos = coefficientsInAxes(a1, a2, a3, position - refPos);
    out.localNormal = coefficientsInAxes(a1, a2, a3, exactUnit(normal));
    out.localTangent = coefficientsInAxes(a1, a2, a3, exactUnit(tangent));
    return kBound;
}

namespace {

using simd::Float4;

// A render position as four lanes x, spare, y, z; every lane is worked on alike, so the lane
// order never matters until the values leave.
inline Float4 lanes(const RenderPosition* buffer, int node) { return simd::load4Aligned(&buffer[node].x); }

// a1 * c.x + a2 * c.y + a3 * c.z (+ r), summed in that order like the scalar expression.
inline Float4 combine(Float4 a1, Float4 a2, Float4 a3, const float3& c)
{
    using namespace simd;
    return add(add(mul(a1, splat4(c.x)), mul(a2, splat4(c.y))), mul(a3, splat4(c.z)));
}

// (x * x + y * y) + z * z of the x, y, z lanes.
inline float squaredLanes(Float4 v)
{
    alignas(16) float f[4];
    simd::store4Aligned(f, simd::mul(v, v));
    return (f[0] + f[2]) + f[3];
}

} // namespace

void FlexMesh::update()
{
    if (!active_ || !buffer_)
        return;
    if (buffer_->beginWrite() == 0)
        return;
    const RenderPosition* snap = owner_->renderPositions[owner_->graphicsBuffer == 1 ? 1 : 0];
    // Batches: the frames are rebuilt and the unnormalised directions gathered first, then their
    // reciprocal roots are taken four at a time, then the vertices go out in order.
    constexpr int kBatch = 256;
    alignas(16) float positions[kBatch][4], normals[kBatch][4], tangents[kBatch][4];
    float squared[2 * kBatch], inverse[2 * kBatch];
    const int total = int(vertexBindings_.size());
    for (int start = 0; start < total; start += kBatch) {
        const int count = total - start < kBatch ? total - start : kBatch;
        for (int i = 0; i < count; ++i) {
            const FlexVertexBinding& b = vertexBindings_[size_t(start + i)];
            const Frame& f = frames_[size_t(start + i)];
            using namespace simd;
            const Float4 r = lanes(snap, f.ref);
            const Float4 a1 = sub(lanes(snap, f.a1), r);
            const Float4 a2 = sub(lanes(snap, f.a2), r);
            Float4 a3;
            if (f.a3 == kFallback) {
                alignas(16) float u[4], v[4];
                store4Aligned(u, a1);
                store4Aligned(v, a2);
                const float3 n = frameUnit(float3(u[0], u[2], u[3]).cross(float3(v[0], v[2], v[3])));
                a3 = make4(n.x, 0.0f, n.y, n.z);
            } else {
                a3 = sub(lanes(snap, f.a3), r);
            }
            const Float4 p = add(add(add(r, mul(a1, splat4(b.localPos.x))), mul(a2, splat4(b.localPos.y))),
                                 mul(a3, splat4(b.localPos.z)));
            const Float4 n = combine(a1, a2, a3, b.localNormal);
            const Float4 t = combine(a1, a2, a3, b.localTangent);
            store4Aligned(positions[i], p);
            store4Aligned(normals[i], n);
            store4Aligned(tangents[i], t);
            squared[i] = squaredLanes(n);
            squared[kBatch + i] = squaredLanes(t);
        }
        reciprocalRoots(squared, inverse, count);
        reciprocalRoots(squared + kBatch, inverse + kBatch, count);
        for (int i = 0; i < count; ++i) {
            const float* p = positions[i];
            const float* n = normals[i];
            const float* t = tangents[i];
            const float sn = inverse[i], st = inverse[kBatch + i];
            const float position[3] = {p[0], p[2], p[3]};
            const float directions[6] = {n[0] * sn, n[2] * sn, n[3] * sn, t[0] * st, t[2] * st, t[3] * st};
            buffer_->writeVertex(position, directions);
        }
    }
    buffer_->endWrite();
}

// The queue waits while the host grants no index access, or while the object is not updated: a
// beam broken again and again would grow it for ever. A beam's triangles need hiding only once.
void FlexMesh::addBrokenNode(int beam)
{
    if (roomFor("breakMeshes", brokenBeams_.size(), kMaxBeams, "queued broken beams"))
        brokenBeams_.push_back(beam);
}

void FlexMesh::updateBrokenTriangles()
{
    if (!buffer_ || brokenBeams_.empty())
        return;
    if (buffer_->beginIndexAccess() == 0)
        return;  // the queue waits for a frame that can write the triangles
    for (int beam : brokenBeams_)
        hideBeamTriangles(beam);
    brokenBeams_.clear();
    buffer_->endIndexAccess();
}

void FlexMesh::hideBeamTriangles(int beam)
{
    if (triangleCopy_.empty() || beam < 0 || beam >= owner_->beam_count)
        return;
    const int e1 = owner_->beams[beam].node1;
    const int e2 = owner_->beams[beam].node2;
    const size_t bound = vertexBindings_.size();
    for (int i = 0; i < triangleCount_; ++i) {
        const uint16_t* triangle = &triangleCopy_[size_t(i) * 3];
        int count = 0;
        bool hasE1 = false, hasE2 = false;
        for (int k = 0; k < 3; ++k) {
            // A host index past the bound vertices hangs on no node.
            if (triangle[k] >= bound)
                continue;
            const FlexVertexBinding& v = vertexBindings_[triangle[k]];
            for (int field : {v.ref, v.vx, v.vy, v.vz}) {
                if (field == e1 || field == e2)
                    ++count;
                hasE1 = hasE1 || field == e1;
                hasE2 = hasE2 || field == e2;
            }
        }
        if (count > 4 || (hasE1 && hasE2))
            buffer_->setTriangle(i, triangle[0], triangle[0], triangle[0]);
    }
}

void FlexMesh::updateIndexBuffer()
{
    if (!buffer_ || triangleCopy_.empty())
        return;
    if (buffer_->beginIndexAccess() == 0)
        return;
    for (int i = 0; i < triangleCount_; ++i) {
        const uint16_t* triangle = &triangleCopy_[size_t(i) * 3];
        buffer_->setTriangle(i, triangle[0], triangle[1], triangle[2]);
    }
    buffer_->endIndexAccess();
}

} // namespace VadiZov
