// The frame step: once per host frame, turn real time into whole substeps, prepare the block the
// physics threads read, and release the physics worker, which then runs the frame's substeps
// while the host renders.
#include <algorithm>
#include <cmath>

#include "engine/bengine.h"
#include "base/bglobals.h"
#include "base/blog.h"
#include "base/bmath.h"
#include "object/bobject.h"
#include "threads/bphysics_worker.h"
#include "base/bsettings.h"
#include "ground/bstatic_collider.h"
#include "platform/perf_counter.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {
constexpr float kContactRampFront = 25.0f;     // 1 / 0.04 m
constexpr float kContactRampBack = 99.99999f;  // the float just below 100
constexpr float kSeaLevelTemperature = 288.15f;
constexpr float kTemperatureLapse = 0.0065f;
constexpr float kDensityScaleHeight = -0.00011855832f;
constexpr float kWaterDensityThreshold = 578.0f;
constexpr int kMostSubstepsPerFrame = 2000;

bool atOrigin(const float3& p) { return p.x == 0.0f && p.y == 0.0f && p.z == 0.0f; }

// Once per object until it is reset: a NaN reference node means the whole body has blown up,
// which would otherwise go unnoticed while the host keeps showing the last good position.
void reportNonFiniteReference(BeamObjectImpl& object)
{
    if (object.nonFiniteReported || isFinite(object.nodes[object.refNode].worldPos))
        return;
    object.nonFiniteReported = true;
    logFormat(LOG_ERROR, "*** object %d: reference node %d position is not finite", object.id, object.refNode);
}
} // namespace

bool BeamEngineImpl::refuseUpdate()
{
    const char* reason = nullptr;
    if (madeByScript_)
        reason = "refused on an engine made by a script";
    else if (insideUpdate_)
        reason = "refused while the engine is updating";
    else if (objectLuaDepth_ > 0)
        reason = "refused while an object's Lua runs";
    if (reason)
        logFormat(LOG_ERROR, "*** update: %s", reason);
    return reason != nullptr;
}

void BeamEngineImpl::update(float dt)
{
    if (refuseOnPhysicsThread("update") || refuseUpdate())
        return;
    // Waiting for the frame from inside the frame would never end.
    insideUpdate_ = true;
    struct LeaveUpdate {
        bool& flag;
        ~LeaveUpdate() { flag = false; }
    } leave{insideUpdate_};
    g_oneShotSoundsThisFrame.store(0, std::memory_order_relaxed);
    luaStep(dt);
    restartFrameTimer();
    if (enabled_) {
        dt = physicsStep(dt);
    } else {
        waitForPhysicsFrame();
        platform::CriticalSectionGuard guard(engineLock_);
        for (int i = 0; i < params_.objectCount; ++i) {
            if (BeamObjectImpl* object = slotObject(i))
                object->updateLua(dt);
        }
    }
    for (int i = 0; i < params_.objectCount; ++i) {
        if (BeamObjectImpl* object = slotObject(i))
            object->updateGraphics(dt);
    }
    graphicsBuffer_ = params_.renderBuffer;
    int64_t now = 0;
    platform::queryPerformanceCounter(&now);
    if (ticksPerMs_ > 0.0)
        frameDelayMs_ = float(double(now - frameStart_) / ticksPerMs_);
}

float BeamEngineImpl::physicsStep(float dt)
{
    if (params_.objectCount == 0 || !workerManager_)
        return 0.0f;
    waitForPhysicsFrame();

    const int steps = countSubsteps(dt);
    if (steps >= 1) {
        params_.dt = kSubstepTime;
        params_.invDt = kInvSubstepTime;
        params_.frameTime = float(steps) * kSubstepTime;
    } else {
        params_.dt = 0.0f;
        params_.invDt = 0.0f;
        params_.frameTime = 0.0f;
    }
    params_.substeps = steps;
    params_.contactRampFront = kContactRampFront;
    params_.contactRampBack = kContactRampBack;
    if (collider_)
        collider_->rebuild();  // only when triangles were committed since the last frame
    updateAirDensity();
    syncObjectsWithHost();
    if (!enabled_)
        return params_.frameTime;
    updateStatistics(dt, steps);
    if (steps != 0)
        params_.renderBuffer = int16_t(graphicsBuffer_ ^ 1);
    // From here until the next wait a frame runs: the objects' Lua updates above ran before it.
    params_.noWait = false;
    releaseWorker();
    return params_.frameTime;
}

int BeamEngineImpl::countSubsteps(float dt)
{
    // A time scale of 0 (fps 0) or a frame time that is negative or not finite counts nothing
    // and leaves the remainder alone: dividing by fps 0 would poison every later frame.
    const float fps = Settings::fps;
    if (!(fps > 0.0f) || !std::isfinite(fps) || !(dt >= 0.0f) || !std::isfinite(dt))
        return 0;
    stepAccumulator_ += dt;
    const float counted = std::trunc(stepAccumulator_ * fps);
    stepAccumulator_ -= counted / fps;
    if (!(stepAccumulator_ >= 0.0f) || !std::isfinite(stepAccumulator_))
        stepAccumulator_ = 0.0f;  // an absurd frame time leaves no meaningful remainder
    // A script may write any integer here: a frame runs at least one and at most a second's worth.
    const int limit = std::clamp(Settings::max_step, 1, kMostSubstepsPerFrame);
    return counted > float(limit) ? limit : int(counted);
}

void BeamEngineImpl::updateAirDensity()
{
    const int count = params_.objectCount;
    airDensityIndex_ = (airDensityIndex_ + 1) % count;
    BeamObjectImpl* object = slotObject(airDensityIndex_);
    if (!object || !object->loaded || !object->hostObject || !g_gameEngine || object->node_count == 0)
        return;
    // Without a defined reference node the air is taken at sea level.
    float h = object->validNode(object->refNode) ? object->nodes[object->refNode].worldPos.z : 0.0f;
    if (!(h > 0.0f))
        h = 0.0f;
    float temperature = kSeaLevelTemperature - kTemperatureLapse * h;
    if (!(temperature > 1.0f))
        temperature = 1.0f;
    const float factor = fastExp(kDensityScaleHeight * h) * kSeaLevelTemperature / temperature;
    int scratch = 0;  // the host may write here; nothing reads it
    for (int i = 0; i < object->node_count; ++i) {
        NodeProperties& props = object->nodeProperties[i];
        g_gameEngine->queryNodeEnvironment(object->nodes[i].worldPos, object->hostObject, &props.mediumDensity,
                                           &scratch, &props.waterSurfaceZ);
        if (props.mediumDensity < kWaterDensityThreshold)
            props.mediumDensity = props.mediumDensity * factor;
    }
}

void BeamEngineImpl::syncObjectsWithHost()
{
    for (int i = 0; i < params_.objectCount; ++i) {
        BeamObjectImpl* object = slotObject(i);
        if (!object || !object->loaded)
            continue;
        HostObject* host = object->hostObject;
        const bool hasRefNode = object->refNode >= 0 && object->refNode < object->node_count;
        if (host && object->transformPending) {
            float3 position;
            const float3* returned = host->getPosition(&position);
            if (returned)
                position = *returned;
            if (object->refRelativePlacement) {
                if (hasRefNode)
                    position = position - object->nodes[object->refNode].pos;
                object->refRelativePlacement = false;
            }
            object->originOffset = position;
            object->spawnOrigin = position;
            object->transformPending = false;
        } else if (hasRefNode && atOrigin(object->nodes[object->refNode].pos)) {
            // The last substep moved the reference node to the origin of the floating frame, so
            // the frame moves to where that node is. Before the first substep (a new object)
            // nothing was shifted and the frame must stay, or every position would count twice.
            object->originOffset = object->nodes[object->refNode].worldPos;
        }
        if (hasRefNode)
            reportNonFiniteReference(*object);
        // Meshes, props and reference positions read the snapshot the finished frame wrote, the
        // one that goes with the position sent below; this frame's worker writes the other.
        object->graphicsBuffer = graphicsBuffer_;
        if (host) {
            host->setPosition(object->originOffset);
            object->hostPosition = object->originOffset;  // reference positions and lights add it
        }
        // A non-zero result (Lua disabled the engine, or deleted this object) ends this loop.
        if (object->updateLua(params_.frameTime) != 0)
            break;
        object->updateCamera();
        if (host && object->node_count > 0)
            host->setBoundingBox(object->boundingBoxMin, object->boundingBoxMax);
    }
}

void BeamEngineImpl::updateStatistics(float dt, int steps)
{
    lastSubstepTime_ = params_.dt;
    stepCounter_ += steps;
    if (std::isfinite(dt) && dt >= 0.0f)
        secondAccumulator_ += dt;
    if (secondAccumulator_ > 1.0f) {
        stepsLastSecond_ = stepCounter_;
        stepCounter_ = 0;
        secondAccumulator_ -= 1.0f;
    }
}

void BeamEngineImpl::releaseWorker() { workerManager_->release(0); }

} // namespace VadiZov
