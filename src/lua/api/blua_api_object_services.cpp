// Lua surface of the object's services (per-frame queues, particles, sounds, loading-time
// helpers, beam lengths) and of the engine's object slots and persistent data.
#include <string>

#include "engine/bengine.h"
#include "base/blog.h"
#include "lua/api/blua_api.h"
#include "lua/binding/blua_binding.h"
#include "object/bobject.h"
#include "object/bobject_beam_lengths.h"
#include "object/bobject_host_output.h"
#include "object/bobject_attachments.h"
#include "object/bobject_statistics.h"
#include "object/bobject_rails.h"
#include "object/bobject_wheels.h"

namespace VadiZov {

namespace {

BeamEngineImpl& engineArgument(lua_State* L)
{
    return *static_cast<BeamEngineImpl*>(
        LuaBinding::getReference(L, 1, LuaBinding::classKeyOf<BeamEngineImpl>(), false));
}

// BeamEngine.setSlot(index, object). An object a script made with BeamObject() lives inside its
// Lua value and dies with it; a slot holding it would dangle after collection, so it is refused.
int luaSetSlot(lua_State* L)
{
    BeamEngineImpl& engine = engineArgument(L);
    const int index = int(luaL_checkinteger(L, 2));
    BeamObjectImpl* object = nullptr;
    if (!lua_isnil(L, 3)) {
        LuaBinding::Userdata* record =
            LuaBinding::getExactRecord(L, 3, LuaBinding::classKeyOf<BeamObjectImpl>());
        LuaBinding::checkAlive(L, record);
        if (record->ownsObject()) {
            logMessage(LOG_ERROR, "*** setSlot: an object made by a script cannot be stored in a slot", true);
            return 0;
        }
        object = static_cast<BeamObjectImpl*>(record->object());
    }
    engine.setSlot(index, object);
    return 0;
}

// BeamEngine.getPersistentData(): the bytes of "saves.json" as they were read, or nil.
int luaGetPersistentData(lua_State* L)
{
    const std::string* data = engineArgument(L).getPersistentData();
    if (data)
        lua_pushlstring(L, data->data(), data->size());
    else
        lua_pushnil(L);
    return 1;
}

} // namespace

void addEngineSlotMembers(LuaBinding::Class<BeamEngineImpl>& c)
{
    c.addCFunction("getPersistentData", &luaGetPersistentData, false)
        .addFunction("setPersistentData", &BeamEngineImpl::setPersistentData)
        .addFunction("spawnObject", &BeamEngineImpl::spawnObject)
        .addFunction("getSlot", &BeamEngineImpl::getSlot)
        .addFunction("getSlotCount", &BeamEngineImpl::getSlotCount)
        .addCFunction("setSlot", &luaSetSlot, false);
}

void addObjectServiceMembers(LuaBinding::Class<BeamObjectImpl>& c)
{
    c.addFunction("breakMeshes", &breakMeshes)
        .addFunction("executeJS", &executeJS)
        .addFunction("setVolume", &setVolume)
        .addFunction("setPitch", &setPitch)
        .addFunction("playSFXOnce", &playSFXOnce)
        .addFunction("setupForceFeedback", &setupForceFeedback)
        .addFunction("sendForceFeedback", &sendForceFeedback)
        .addFunction("getForceFeedbackConfig", &getForceFeedbackConfig)
        .addFunction("addParticle", &addParticle)
        .addFunction("addParticleByNodes", &addParticleByNodes)
        .addFunction("addParticleByNodesRelative", &addParticleByNodesRelative)
        .addFunction("attachSFXNode", &attachSFXNode)
        .addFunction("addRail", &addRail)
        .addFunction("addRailLink", &addRailLink)
        .addFunction("breakRails", &breakRails)
        .addFunction("addSlidenode", &addSlidenode)
        .addFunction("attachSlidenode", &attachSlidenode)
        .addFunction("detachSlidenode", &detachSlidenode)
        .addFunction("setWheel", &setWheel)
        .addFunction("getWheel", &getWheel)
        .addFunction("getMaterial", &getMaterial)
        .addFunction("calcCenterOfGravity", &calcCenterOfGravity)
        .addFunction("calcBeamStats", &calcBeamStats)
        .addFunction("beamIsBroken", &beamIsBroken)
        .addFunction("getBeamLength", &getBeamLength)
        .addFunction("getBeamRefLength", &getBeamRefLength)
        .addFunction("getBeamRestLength", &getBeamRestLength)
        .addFunction("getBeamLengthRestRatio", &getBeamLengthRestRatio)
        .addFunction("getBeamLengthRefRatio", &getBeamLengthRefRatio)
        .addFunction("getBeamCurLengthRefRatio", &getBeamCurLengthRefRatio)
        .addFunction("getHydroDisplacement", &getHydroDisplacement)
        .addFunction("getHydroDisplacementFrom", &getHydroDisplacementFrom)
        .addFunction("setBeamLength", &setBeamLength)
        .addFunction("setBeamLengthRefRatio", &setBeamLengthRefRatio)
        .addFunction("setPersistentData", &setPersistentData)
        .addFunction("setDebugString", &setDebugString);
}

} // namespace VadiZov
