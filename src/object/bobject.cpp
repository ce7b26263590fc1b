#include "object/bobject.h"

#include <cstring>
#include <cmath>
#include <new>

#include "base/bconstants.h"
#include "object/bobject_debug_drawer.h"
#include "ground/bground_models.h"
#include "object/bobject_attachments.h"
#include "base/blog.h"
#include "base/bscript_values.h"
#include "object/bobject_script.h"
#include "base/bsettings.h"

namespace VadiZov {

namespace {


void writeRenderPosition(RenderPosition (&buffers)[2][kMaxNodes], int node, const float3& pos)
{
    const RenderPosition entry{pos.x, 0.0f, pos.y, pos.z};
    buffers[0][node] = entry;
    buffers[1][node] = entry;
}

} // namespace

BeamObjectImpl::BeamObjectImpl()
{
    liveCount_.fetch_add(1, std::memory_order_relaxed);
    // The records and fields start zeroed or at their initial values through their
    // initialisers; clear runs as on every rebuild (no script is attached yet, so nothing is
    // called back).
    clear();
    // Collision triangles name their surface; the engine's table answers unless a test
    // hands the object another one.
    groundModelNames_ = &groundModelTable();

    lock_ = new (std::nothrow) platform::CriticalSection(kLockSpinCount);
    if (!lock_)
        reportWin32Error("VadiZov::BeamObject::BeamObject", "bobject", 95);

    debugDrawProxy = &debugDrawer_;

    createLua();
}

BeamObjectImpl::~BeamObjectImpl()
{
    liveCount_.fetch_sub(1, std::memory_order_relaxed);
    destroy();
    deleteLua();
    // A script may have attached props or meshes after destroy emptied the object.
    deleteAttachments(*this);
}

void BeamObjectImpl::destroy()
{
    // Lua may destroy the object before the engine deletes it: the second call finds nothing
    // left to do and, above all, does not call the script or free the lock again.
    if (destroyed_)
        return;
    clear();
    destroyed_ = true;
    // The lists go now; the collector object stays until the destructor, since the object's
    // Lua may still hold it.
    debugDrawer_.releaseStorage();
    delete lock_;
    lock_ = nullptr;
}

void BeamObjectImpl::clear()
{
    // The cold node records go too: a node left undefined in a gap of the next build would
    // otherwise come back from a reset with the mass and spawn position of the last build.
    for (int i = 0; i < kMaxNodes; ++i) {
        nodes[i] = NodeCore{};
        nodeProperties[i] = NodeProperties{};
        if (i < node_count) {
            nodeProperties[i].friction = 1.0f;
            nodeProperties[i].wheelId = kNoWheel;
        }
    }
    for (int i = 0; i < kMaxBeams; ++i) {
        beams[i] = BeamCore{};
        beamParams[i] = BeamParams{};
        // Also the built values: a beam defined later in a gap must not be reset from what an
        // earlier build left here.
        beamOrigins[i] = BeamOrigin{};
    }

    originOffset = float3();
    if (hostObject) {
        float3 position;
        const float3* returned = hostObject->getPosition(&position);
        originOffset = returned ? *returned : position;
    }
    spawnOrigin = originOffset;

    deleteAttachments(*this);

    for (wheelData& w : wheels)
        w = wheelData{};

    node_count = 0;
    collisionNodeCount = 0;
    internal_camera_count = 0;
    beam_count = 0;
    wheel_count = 0;
    prop_count = 0;
    flexmesh_count = 0;
    substepCount = 0;
    simTime = 0.0f;

    axisRef = -1;
    axisBack = -1;
    axisSide = -1;

    boundingBoxMin = float3();
    boundingBoxMax = float3();
    wind = float3();
    waterFlow = float3();

    slideNodes.clear();
    builtSlideNodes.clear();
    rails.clear();
    builtRails.clear();
    pressureGroups.clear();
    builtGroupPressurised.clear();
    collisionTriangles.clear();
    builtTriangleBroken.clear();

    callVehicleDestroy();
}

void BeamObjectImpl::reset(bool rotationChangedArg)
{
    nonFiniteReported = false;
    originOffset = spawnOrigin;
    wind = float3();
    waterFlow = float3();

    for (int i = 0; i < node_count; ++i) {
        NodeCore& node = nodes[i];
        NodeProperties& props = nodeProperties[i];
        node.pos = props.spawnPos;
        node.worldPos = originOffset + node.pos;
        writeRenderPosition(renderPositions, i, node.pos);
        // A node in a gap below node_count was never defined and has no mass; it stays put
        // instead of getting an infinite dt / mass.
        node.dtOverMass = props.mass > 0.0f ? kSubstepTime / props.mass : 0.0f;
        node.gravityForce = props.mass * Settings::gravity;
        node.vel = float3();
        node.force = float3();
        props.waterSurfaceZ = 0.0f;
    }

    applyTransformation(transformRotation);

    for (int i = 0; i < beam_count; ++i) {
        BeamCore& b = beams[i];
        BeamParams& p = beamParams[i];
        const BeamOrigin& o = beamOrigins[i];
        b.restLength = o.restLength;
        p.deformCompress = o.deformCompress;
        p.deformTension = o.deformTension;
        b.limitForce = o.limitForce;
        p.strength = o.strength;
        p.deformTriggerRatio = o.deformTriggerRatio;
        b.type = int16_t(o.type);
        if (b.type == BEAM_PRESSURED) {
            p.p7 = o.p7;
            p.p1 = o.p1;
        }
        p.lastNotifiedLength = p.refLength;
    }

    for (int i = 0; i < wheel_count && i < kMaxWheels; ++i) {
        wheels[i].angularVelocity = 0.0f;
        wheels[i].brakeWindup = 0.0f;
        wheels[i].torque = 0.0f;
        wheels[i].lastTorque = 0.0f;
    }

    for (size_t i = 0; i < collisionTriangles.size(); ++i) {
        collisionTriangles[i].broken = builtTriangleBroken[i];
        collisionTriangles[i].skip = 0;
        collisionTriangles[i].radiusSteps = 1;
    }

    for (size_t i = 0; i < pressureGroups.size(); ++i) {
        PressureGroup& g = pressureGroups[i];
        g.area = g.baseArea;
        // A group built without pressure has no gas inside; giving it the ambient pressure
        // back would press it flat from outside.
        if (builtGroupPressurised[i]) {
            g.ambient = kGroupAmbient;
            g.hydroFactor = kGroupHydroFactor;
            // Not the build's or setGroupPressure's operand order, on purpose: each keeps its rounding.
            g.amount = g.basePressure * g.baseArea * std::sqrt(g.baseArea) * kOneSixth;
        } else {
            g.ambient = 0.0f;
            g.hydroFactor = 0.0f;
            g.amount = 0.0f;
        }
    }

    slideNodes = builtSlideNodes;
    for (size_t i = 0; i < rails.size() && i < builtRails.size(); ++i) {
        rails[i].links = builtRails[i].links;
        rails[i].looped = builtRails[i].looped;
    }

    substepCount = 0;
    simTime = 0.0f;
    restoreMeshTriangles(*this);

    callVehicleResetted(rotationChangedArg);
}

void BeamObjectImpl::applyTransformation(const Quaternion& q)
{
    // Without a defined reference node there is no pivot; moving about a stale record would
    // scatter the body.
    if (!validNode(refNode))
        return;
    const float3 pivot = nodes[refNode].pos;
    const float3 axis(0.0f - q.x, 0.0f - q.y, 0.0f - q.z);
    const float w = q.w;
    for (int i = 0; i < node_count; ++i) {
        NodeCore& node = nodes[i];
        const float3 v = node.pos - pivot;
        const float3 t = axis.cross(v) * 2.0f;
        const float3 rotated = (v + t * w) + axis.cross(t);
        node.pos = pivot + rotated;
        node.worldPos = originOffset + node.pos;
        writeRenderPosition(renderPositions, i, node.pos);
    }
}

void BeamObjectImpl::requestReset(int flags)
{
    if (destroyed_)
        return;
    platform::CriticalSectionGuard guard(lock_);
    pendingRequests_ |= flags;
}

int BeamObjectImpl::pendingResetRequests()
{
    platform::CriticalSectionGuard guard(lock_);
    return pendingRequests_;
}

void BeamObjectImpl::applyPendingResets()
{
    if (destroyed_)
        return;
    int requests;
    {
        platform::CriticalSectionGuard guard(lock_);
        requests = pendingRequests_;
        pendingRequests_ = 0;
    }
    if (requests & RESET_COMPLETELY)
        clear();
    if (rotationChanged || (requests & RESET_PHYSICS))
        reset(rotationChanged);
    if (rotationChanged) {
        refRelativePlacement = true;
        transformPending = true;
        rotationChanged = false;
    }
}

bool BeamObjectImpl::resetTransformation(Vector3 position, Quaternion rotation)
{
    // The next reset would carry a NaN or absurd place or turn into every node.
    constexpr const char* kMember = "resetTransformation";
    if (!acceptVector(kMember, "position", float3(position.x, position.y, position.z)) ||
        !acceptVector(kMember, "rotation", float3(rotation.x, rotation.y, rotation.z), kMaxScriptValue) ||
        !acceptNumber(kMember, "rotation", rotation.w))
        return false;
    transformPending = true;
    const bool changed = rotation.x != transformRotation.x || rotation.y != transformRotation.y ||
                         rotation.z != transformRotation.z || rotation.w != transformRotation.w;
    spawnOrigin = float3(position.x, position.y, position.z);
    rotationChanged = changed;
    transformRotation = rotation;
    return changed;
}

void BeamObjectImpl::callVehicleDestroy()
{
    if (!script_)
        return;
    std::string error;
    if (!script_->vehicleDestroy(error))
        logMessage(LOG_ERROR, error.c_str(), true);
}

void BeamObjectImpl::callVehicleResetted(bool rotationChangedArg)
{
    if (!script_)
        return;
    std::string error;
    if (!script_->vehicleResetted(rotationChangedArg, error))
        logMessage(LOG_ERROR, error.c_str(), true);
}

int BeamObjectImpl::getParticles(HostParticle** first)
{
    *first = hostParticles.data();
    return int(hostParticles.size());
}

int BeamObjectImpl::queueLuaCommand(const char* chunk, bool wantResult)
{
    // After destroy the lock is gone and nobody runs the queue any more.
    if (!chunk || destroyed_)
        return -2;
    size_t length;
    {
        platform::CriticalSectionGuard guard(lock_);
        // A command that queues itself twice would otherwise double the queue every frame.
        const size_t bytes = std::strlen(chunk);
        if (!roomFor("queueLuaCommand", luaCommands.size(), kMaxQueuedLuaCommands, "queued commands") ||
            !roomForBytes("queueLuaCommand", luaCommandBytes, bytes, kMaxQueuedLuaCommandBytes, "queued commands"))
            return -2;
        luaCommands.emplace_back(chunk, wantResult);
        luaCommandBytes += bytes;
        length = luaCommands.size();
    }
    return wantResult ? int(length) - 1 : -1;
}

const char* BeamObjectImpl::getLuaResult(int index)
{
    if (index < 0 || size_t(index) >= luaResults.size())
        return nullptr;
    return luaResults[size_t(index)].c_str();
}

int BeamObjectImpl::getReferencePositions(Vector3* outTwo)
{
    const int buffer = graphicsBuffer == 1 ? 1 : 0;
    for (int i = 0; i < 2; ++i) {
        const int node = refPositionNodes[i];
        RenderPosition p{};
        if (validNode(node))
            p = renderPositions[buffer][node];
        outTwo[i] = Vector3{p.x + hostPosition.x, p.y + hostPosition.y, p.z + hostPosition.z};
    }
    return 2;
}

} // namespace VadiZov
