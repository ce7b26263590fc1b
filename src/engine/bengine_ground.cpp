// The engine's ground: its terrain, its static collider and the writes to the ground-model
// table. The physics threads read all three without locks during a frame, so every change is
// made under the engine lock (which the physics worker holds for the whole frame) or, for the
// collider's tree, by the frame step while no frame runs.
#include "engine/bengine.h"

#include "base/bglobals.h"
#include "base/bscript_values.h"
#include "ground/bground_models.h"
#include "ground/bstatic_collider.h"
#include "ground/bterrain.h"
#include "base/bphysics_thread.h"
#include "velkor/host.h"

namespace VadiZov {

void BeamEngineImpl::createTerrain()
{
    // Every Lua state keeps a pointer to this block, so it is reloaded and cleared in place and
    // lives as long as the engine.
    terrain_ = new TerrainBlock();
    if (!g_terrain)
        g_terrain = terrain_;
}

void BeamEngineImpl::initGround()
{
    collider_ = new StaticCollider();
    params_.collider = collider_;
    params_.terrain = terrain_;
    groundModelTable().clearForEngineInit();
}

void BeamEngineImpl::destroyGround()
{
    params_.collider = nullptr;
    params_.terrain = nullptr;
    if (g_terrain == terrain_)
        g_terrain = nullptr;
    delete terrain_;
    terrain_ = nullptr;
    delete collider_;
    collider_ = nullptr;
}

void BeamEngineImpl::setTerrain(TerrainConfig* config)
{
    if (!config || !terrain_)
        return;
    {
        platform::CriticalSectionGuard guard(engineLock_);
        terrain_->setTerrainData(*config, groundModelTable());
    }
    config->completion = 0;
}

void BeamEngineImpl::clearTerrain()
{
    if (!terrain_)
        return;
    platform::CriticalSectionGuard guard(engineLock_);
    terrain_->clear();
}

int BeamEngineImpl::setTerrainPosition(float x, float y, float z)
{
    if (!terrain_)
        return 0;
    platform::CriticalSectionGuard guard(engineLock_);
    terrain_->setOrigin(float3(x, y, z));
    return 0;
}

void BeamEngineImpl::addStaticCollisionTriangle(float3 a, float3 b, float3 c)
{
    if (collider_)
        collider_->addTriangle(a, b, c);
}

void BeamEngineImpl::commitStaticCollision(bool keepDisplayCopy)
{
    if (collider_)
        collider_->commit(keepDisplayCopy);
}

namespace {

// Every contact of a node on this surface multiplies by these: one NaN or absurd value turns
// each body that touches it non-finite.
bool usableGroundModel(const groundModel& m)
{
    constexpr const char* kMember = "setGroundModel";
    // Friction turned negative would push a sliding body on instead of holding it back.
    const struct {
        const char* what;
        float value;
        bool coefficient;
    } fields[] = {
        {"adhesionVelocity", m.adhesionVelocity, false},
        {"defaultDepth", m.defaultDepth, false},
        {"staticFrictionCoefficient", m.staticFrictionCoefficient, true},
        {"slidingFrictionCoefficient", m.slidingFrictionCoefficient, true},
        {"hydrodynamicFriction", m.hydrodynamicFriction, true},
        {"stribeckVelocity", m.stribeckVelocity, false},
        {"strength", m.strength, false},
        {"fluidDensity", m.fluidDensity, false},
        {"flowConsistencyIndex", m.flowConsistencyIndex, false},
        {"flowBehaviorIndex", m.flowBehaviorIndex, false},
        {"dragAnisotropy", m.dragAnisotropy, false},
    };
    for (const auto& field : fields) {
        const bool usable = field.coefficient ? acceptCoefficient(kMember, field.what, field.value)
                                              : acceptNumber(kMember, field.what, field.value);
        if (!usable)
            return false;
    }
    return true;
}

} // namespace

void BeamEngineImpl::setGroundModel(const groundModel& model, const char* name)
{
    // On a core thread (a script's physicsStep) the worker already holds the lock for the frame
    // and waits for this thread.
    if (refuseOnPhysicsThread("setGroundModel") || !usableGroundModel(model))
        return;
    platform::CriticalSectionGuard guard(engineLock_);
    groundModelTable().setGroundModel(model, name);
}

void BeamEngineImpl::resetGroundModels()
{
    if (refuseOnPhysicsThread("resetGroundModels"))
        return;
    platform::CriticalSectionGuard guard(engineLock_);
    groundModelTable().resetGroundModels();
}

} // namespace VadiZov
