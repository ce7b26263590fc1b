// Lua surface of the ground: the ground-model record and table, and the terrain queries.
#include "engine/bengine.h"
#include "ground/bground_models.h"
#include "lua/api/blua_api.h"
#include "lua/binding/blua_binding.h"
#include "ground/bterrain.h"

namespace VadiZov {

namespace {

// The table is the process's, shared by every engine; the engine keeps the writes out of a
// running physics frame.
void setGroundModel(BeamEngineImpl& engine, const groundModel& model, const char* name)
{
    engine.setGroundModel(model, name);
}

void resetGroundModels(BeamEngineImpl& engine) { engine.resetGroundModels(); }

// The native query overwrites its argument; scripts get the normal as a new value.
float3 terrainNormal(const TerrainBlock& terrain, const float3& point)
{
    float3 p = point;
    terrain.getTerrainNormal(p);
    return p;
}

} // namespace

void addGroundModelEngineMembers(LuaBinding::Class<BeamEngineImpl>& c)
{
    c.addFunction("resetGroundModels", &resetGroundModels).addFunction("setGroundModel", &setGroundModel);
}

void addGroundModelMembers(LuaBinding::Class<groundModel>& c)
{
    c.addConstructor<>()
        .addProperty("adhesionVelocity", &groundModel::adhesionVelocity)
        .addProperty("staticFrictionCoefficient", &groundModel::staticFrictionCoefficient)
        .addProperty("slidingFrictionCoefficient", &groundModel::slidingFrictionCoefficient)
        .addProperty("hydrodynamicFriction", &groundModel::hydrodynamicFriction)
        .addProperty("stribeckVelocity", &groundModel::stribeckVelocity)
        .addProperty("strength", &groundModel::strength)
        .addProperty("collisiontype", &groundModel::collisiontype)
        .addProperty("fluidDensity", &groundModel::fluidDensity)
        .addProperty("flowConsistencyIndex", &groundModel::flowConsistencyIndex)
        .addProperty("flowBehaviorIndex", &groundModel::flowBehaviorIndex)
        .addProperty("dragAnisotropy", &groundModel::dragAnisotropy)
        .addProperty("skidMarks", &groundModel::skidMarks)
        .addProperty("defaultDepth", &groundModel::defaultDepth);
}

void addTerrainBlockMembers(LuaBinding::Class<TerrainBlock>& c)
{
    // The ground-model output of getTerrainHeightAndGroundmodel is a reference to a plain
    // number, which no script value can supply: every call ends in a Lua error.
    c.addFunction("getTerrainGroundmodel", &TerrainBlock::getTerrainGroundmodel)
        .addFunction("getTerrainHeightAndGroundmodel", &TerrainBlock::getTerrainHeightAndGroundmodel)
        .addFunction("getTerrainNormal", &terrainNormal);
}

} // namespace VadiZov
