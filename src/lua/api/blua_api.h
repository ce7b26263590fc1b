// The scripting API every Lua state receives when it is created: 27 classes in a fixed order,
// the global functions, the globals and the constants.
//
// Each class has one row in the table of blua_api.cpp listing the functions that add its
// members. A part of the library that brings new members writes its own function of the shape
//
//     void addObjectLoadingMembers(LuaBinding::Class<BeamObjectImpl>& c)
//     {
//         c.addFunction("setWheel", &BeamObjectImpl::setWheel)
//          .addFunction("getWheel", &BeamObjectImpl::getWheel);
//     }
//
// in a file of its own, declares it below and appends it to the class's row. The class stays
// fully defined before the next one begins, whatever file its members come from.
#pragma once

#include <luajit-2.1/lua.hpp>

namespace VadiZov {

class Lua;
class BeamObjectImpl;
class BeamEngineImpl;
class HighPerfTimer;
class TerrainBlock;
class beam;
class wheel;
class debugdrawer;
struct Settings;
struct float3;
struct Quaternion;
struct color;
struct wheelData;
struct particleData;
struct beamstats;
struct groundModel;
class FlexMesh;
class Prop;
class FS;
class FSDirectory;
class FilePure;
class Material;
class ResourceContainer;
class SpotLight;
class SFXSource;
class GameEngine;

namespace LuaBinding {
class Namespace;
template <class T>
class Class;
} // namespace LuaBinding

// Registers the API into the state of `lua`; `owner` becomes the global `obj` (nil for the
// system state). The state wrapper's registration (blua_api_install.cpp hands it over): called by
// Lua::initialize in a protected call; raises Lua errors.
void registerLuaApi(lua_State* L, Lua& lua, BeamObjectImpl* owner);

void registerLuaGlobalFunctions(LuaBinding::Namespace& scope);  // logInfo ... hexdump

// Member lists, by subsystem.
// engine, timer, Lua state, settings
void addBeamEngineMembers(LuaBinding::Class<BeamEngineImpl>& c);
void addHighPerfTimerMembers(LuaBinding::Class<HighPerfTimer>& c);
void addLuaStateMembers(LuaBinding::Class<Lua>& c);
void addSettingsMembers(LuaBinding::Class<Settings>& c);
// Replaces the settings' plain setters with checked ones (after the classes are registered).
void guardSettings(lua_State* L);
// math types
void addColorMembers(LuaBinding::Class<color>& c);
void addFloat3Members(LuaBinding::Class<float3>& c);
void addQuaternionMembers(LuaBinding::Class<Quaternion>& c);
// object records, handles and building
void addWheelDataMembers(LuaBinding::Class<wheelData>& c);
void addParticleDataMembers(LuaBinding::Class<particleData>& c);
void addBeamHandleMembers(LuaBinding::Class<beam>& c);
void addBeamstatsMembers(LuaBinding::Class<beamstats>& c);
void addObjectBuildingMembers(LuaBinding::Class<BeamObjectImpl>& c);
void addWheelHandleMembers(LuaBinding::Class<wheel>& c);
// ground
void addGroundModelEngineMembers(LuaBinding::Class<BeamEngineImpl>& c);
void addGroundModelMembers(LuaBinding::Class<groundModel>& c);
void addTerrainBlockMembers(LuaBinding::Class<TerrainBlock>& c);
// engine slots and object services
void addEngineSlotMembers(LuaBinding::Class<BeamEngineImpl>& c);
void addObjectServiceMembers(LuaBinding::Class<BeamObjectImpl>& c);
// blua_api_attachments.cpp
void addObjectAttachmentMembers(LuaBinding::Class<BeamObjectImpl>& c);
void addFlexMeshMembers(LuaBinding::Class<FlexMesh>& c);
void addPropMembers(LuaBinding::Class<Prop>& c);
// blua_api_host.cpp
void addFSMembers(LuaBinding::Class<FS>& c);
void addFSDirectoryMembers(LuaBinding::Class<FSDirectory>& c);
void addFilePureMembers(LuaBinding::Class<FilePure>& c);
void addMaterialMembers(LuaBinding::Class<Material>& c);
void addResourceContainerMembers(LuaBinding::Class<ResourceContainer>& c);
void addSpotLightMembers(LuaBinding::Class<SpotLight>& c);
void addSFXSourceMembers(LuaBinding::Class<SFXSource>& c);
void addGameEngineMembers(LuaBinding::Class<GameEngine>& c);
// After the classes are registered: finalisers that close dropped files and directories, and the
// record that gives back what the state still holds when it closes.
void guardHostHandles(lua_State* L);
// blua_api_debug.cpp
void addDebugDrawerMembers(LuaBinding::Class<debugdrawer>& c);
void addObjectDebugMembers(LuaBinding::Class<BeamObjectImpl>& c);

} // namespace VadiZov
