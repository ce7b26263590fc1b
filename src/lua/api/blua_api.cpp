#include "lua/api/blua_api.h"

#include <cfloat>
#include <functional>
#include <initializer_list>
#include <vector>

#include "object/bobject_debug_drawer.h"
#include "engine/bengine.h"
#include "base/bglobals.h"
#include "ground/bground_models.h"
#include "base/bhighperf_timer.h"
#include "lua/blua.h"
#include "lua/binding/blua_binding.h"
#include "object/bobject.h"
#include "object/bobject_wheels.h"
#include "base/bsettings.h"
#include "ground/bterrain.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

using ClassRegistration = std::function<void(LuaBinding::Namespace&)>;

// One row of the class table: begins the class, lets each member list add to it, ends it.
template <class T>
ClassRegistration apiClass(const char* name, std::initializer_list<void (*)(LuaBinding::Class<T>&)> memberLists)
{
    return [name, lists = std::vector(memberLists)](LuaBinding::Namespace& scope) {
        LuaBinding::Class<T> c = scope.beginClass<T>(name);
        for (auto addMembers : lists)
            addMembers(c);
        c.endClass();
    };
}

// The classes in registration order. Later parts of the library append their member lists to
// a row; the classes of the host interfaces get theirs with those interfaces' Lua side.
const std::vector<ClassRegistration>& apiClasses()
{
    static const std::vector<ClassRegistration> classes = {
        apiClass<BeamEngineImpl>("BeamEngine", {&addBeamEngineMembers, &addGroundModelEngineMembers, &addEngineSlotMembers}),
        apiClass<wheelData>("wheelData", {&addWheelDataMembers}),
        apiClass<particleData>("particleData", {&addParticleDataMembers}),
        apiClass<groundModel>("groundModel", {&addGroundModelMembers}),
        apiClass<color>("color", {&addColorMembers}),
        apiClass<debugdrawer>("debugdrawer", {&addDebugDrawerMembers}),
        apiClass<beam>("beam", {&addBeamHandleMembers}),
        apiClass<Vector3>("Vector3", {}),
        apiClass<float3>("float3", {&addFloat3Members}),
        apiClass<Quaternion>("Quaternion", {&addQuaternionMembers}),
        apiClass<FlexMesh>("FlexMesh", {&addFlexMeshMembers}),
        apiClass<Prop>("Prop", {&addPropMembers}),
        apiClass<beamstats>("beamstats", {&addBeamstatsMembers}),
        apiClass<ResourceContainer>("ResourceContainer", {&addResourceContainerMembers}),
        apiClass<SpotLight>("SpotLight", {&addSpotLightMembers}),
        apiClass<BeamObjectImpl>("BeamObject", {&addObjectBuildingMembers, &addObjectServiceMembers, &addObjectAttachmentMembers, &addObjectDebugMembers}),
        apiClass<wheel>("wheel", {&addWheelHandleMembers}),
        apiClass<HighPerfTimer>("HighPerfTimer", {&addHighPerfTimerMembers}),
        apiClass<Lua>("Lua", {&addLuaStateMembers}),
        apiClass<Settings>("Settings", {&addSettingsMembers}),
        apiClass<FS>("FS", {&addFSMembers}),
        apiClass<FSDirectory>("FSDirectory", {&addFSDirectoryMembers}),
        apiClass<Material>("Material", {&addMaterialMembers}),
        apiClass<FilePure>("FilePure", {&addFilePureMembers}),
        apiClass<SFXSource>("SFXSource", {&addSFXSourceMembers}),
        apiClass<TerrainBlock>("TerrainBlock", {&addTerrainBlockMembers}),
        apiClass<GameEngine>("GameEngine", {&addGameEngineMembers}),
    };
    return classes;
}

struct IntegerConstant {
    const char* name;
    int value;
};

const IntegerConstant kIntegerConstants[] = {
    {"NORMALTYPE", 0},
    {"NODE_FIXED", 1},
    {"NONCOLLIDABLE", 2},
    {"BEAM_HYDRO", BEAM_HYDRO},
    {"BEAM_ANISOTROPIC", BEAM_ANISOTROPIC},
    {"BEAM_BOUNDED", BEAM_BOUNDED},
    {"BEAM_PRESSURED", BEAM_PRESSURED},
    {"BEAM_SUPPORT", BEAM_SUPPORT},
    {"BEAM_BROKEN", BEAM_BROKEN},
    {"BEAM_TYPE_MAX", BEAM_SUPPORT},  // the largest beam type itself
    {"GFX_SIGNAL_LEFT", 1},
    {"GFX_SIGNAL_RIGHT", 2},
    {"GFX_HEADLIGHT", 4},
    {"GFX_BRAKELIGHT", 8},
    {"GFX_RUNNINGLIGHT", 16},
    {"GFX_REVERSELIGHT", 32},
    {"GFX_SIGNAL_HAZARD", 64},
};

// FLT_MAX and MINUS_FLT_MAX sit between the light flags and the log levels.
const IntegerConstant kIntegerConstantsAfterFloats[] = {
    {"LOG_DEBUG", 0},
    {"LOG_INFO", 1},
    {"LOG_WARN", 2},
    {"LOG_ERROR", 3},
    {"LOG_ALWAYS", 4},
    {"RESET_PHYSICS", RESET_PHYSICS},
    {"RESET_COMPLETELY", RESET_COMPLETELY},
};

template <size_t N>
void setIntegerConstants(lua_State* L, const IntegerConstant (&constants)[N])
{
    for (const IntegerConstant& c : constants) {
        lua_pushinteger(L, c.value);
        lua_setglobal(L, c.name);
    }
}

void setConstants(lua_State* L)
{
    setIntegerConstants(L, kIntegerConstants);
    lua_pushnumber(L, double(FLT_MAX));
    lua_setglobal(L, "FLT_MAX");
    // Despite its name: the smallest normalised positive float, as scripts have always seen it.
    lua_pushnumber(L, double(FLT_MIN));
    lua_setglobal(L, "MINUS_FLT_MAX");
    setIntegerConstants(L, kIntegerConstantsAfterFloats);
}

template <class T>
void setGlobalObject(lua_State* L, const char* name, T* object)
{
    LuaBinding::pushObjectPointer(L, object, LuaBinding::classKeyOf<T>());
    lua_setglobal(L, name);
}

} // namespace

void registerLuaApi(lua_State* L, Lua& lua, BeamObjectImpl* owner)
{
    LuaBinding::Namespace global = LuaBinding::getGlobalNamespace(L);
    for (const ClassRegistration& registerClass : apiClasses())
        registerClass(global);
    registerLuaGlobalFunctions(global);
    global.pop();
    guardSettings(L);
    guardHostHandles(L);

    // The values of this moment: a host interface set later is not seen by this state. `Lua`,
    // `BeamEngine` and `FS` replace the class tables of the same names.
    setGlobalObject(L, "Lua", &lua);
    setGlobalObject(L, "BeamEngine", g_engine);
    setGlobalObject(L, "FS", g_fileSystem);
    setGlobalObject(L, "gameEngine", g_gameEngine);
    setGlobalObject(L, "terrainBlock", g_terrain);
    setGlobalObject(L, "obj", owner);

    setConstants(L);
}

} // namespace VadiZov
