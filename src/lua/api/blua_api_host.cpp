// Lua surface of the host's interfaces: each member calls the host's operation through the
// interface. Members whose native parameter no Lua value can stand for (raw buffers, integer
// references, the host's own small records) raise a Lua error instead of reaching the host with
// a null or foreign pointer.
#include "lua/api/blua_api.h"
#include "lua/binding/blua_binding.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

// The object is checked first, so a call on nil or on the wrong class reports that instead.
template <class T>
int unsuppliedArgument(lua_State* L, const char* member)
{
    LuaBinding::selfArg<T>(L, false);
    return luaL_error(L, "%s: no Lua value can supply this member's host argument", member);
}

int luaFileRead(lua_State* L) { return unsuppliedArgument<FilePure>(L, "FilePure.read"); }
int luaFileWrite(lua_State* L) { return unsuppliedArgument<FilePure>(L, "FilePure.write"); }
int luaUpdateDiffuseTexture(lua_State* L) { return unsuppliedArgument<Material>(L, "Material.updateDiffuseTexture"); }
int luaSetLightArgs(lua_State* L) { return unsuppliedArgument<SpotLight>(L, "SpotLight.setLightArgs"); }
int luaSetLightArgs2(lua_State* L) { return unsuppliedArgument<SpotLight>(L, "SpotLight.setLightArgs2"); }
int luaGetSwitchableMaterial(lua_State* L)
{
    return unsuppliedArgument<ResourceContainer>(L, "ResourceContainer.getSwitchableMaterial");
}

// Three integer references: nil is refused as for every reference parameter, with the same
// plain error at the caller's position.
int luaGetTextureDimensions(lua_State* L)
{
    LuaBinding::selfArg<Material>(L, false);
    for (int index = 2; index <= 4; ++index)
        if (lua_isnoneornil(L, index))
            return luaL_error(L, "nil passed to reference");
    return unsuppliedArgument<Material>(L, "Material.getTextureDimensions");
}

// Scripts read the answer as a number.
int directoryExists(FS& fs, const char* path) { return fs.directoryExists(path) ? 1 : 0; }

} // namespace

void addFSMembers(LuaBinding::Class<FS>& c)
{
    c.addFunction("fileExists", &FS::fileExists)
        .addFunction("openFile", &FS::openFile)
        .addFunction("directoryExists", &directoryExists)
        .addFunction("openDirectory", &FS::openDirectory)
        .addFunction("closeDirectory", &FS::closeDirectory);
}

void addFSDirectoryMembers(LuaBinding::Class<FSDirectory>& c)
{
    c.addFunction("getNextFilename", &FSDirectory::getNextFilename);
}

void addFilePureMembers(LuaBinding::Class<FilePure>& c)
{
    c.addCFunction("read", &luaFileRead, false)
        .addCFunction("write", &luaFileWrite, false)
        .addFunction("length", &FilePure::length)
        .addFunction("seek", &FilePure::seek)
        .addFunction("tell", &FilePure::tell)
        .addFunction("close", &FilePure::close)
        .addFunction("eof", &FilePure::eof)
        .addFunction("flush", &FilePure::flush);
}

void addMaterialMembers(LuaBinding::Class<Material>& c)
{
    c.addCFunction("getTextureDimensions", &luaGetTextureDimensions, false)
        .addCFunction("updateDiffuseTexture", &luaUpdateDiffuseTexture, false);
}

void addResourceContainerMembers(LuaBinding::Class<ResourceContainer>& c)
{
    c.addFunction("setAlpha", &ResourceContainer::setAlpha)
        .addFunction("getAlpha", &ResourceContainer::getAlpha)
        .addCFunction("getSwitchableMaterial", &luaGetSwitchableMaterial, false)
        .addFunction("getMeshesContainingMaterial", &ResourceContainer::getMeshesContainingMaterial)
        .addFunction("getMeshsMaterials", &ResourceContainer::getMeshsMaterials)
        .addFunction("switchMaterial", &ResourceContainer::switchMaterial)
        .addFunction("resetMaterials", &ResourceContainer::resetMaterials)
        .addFunction("destroyMaterials", &ResourceContainer::destroyMaterials);
}

void addSpotLightMembers(LuaBinding::Class<SpotLight>& c)
{
    c.addCFunction("setLightArgs", &luaSetLightArgs, false).addCFunction("setLightArgs2", &luaSetLightArgs2, false);
}

void addSFXSourceMembers(LuaBinding::Class<SFXSource>& c)
{
    c.addFunction("isPlaying", &SFXSource::isPlaying)
        .addFunction("isStopped", &SFXSource::isStopped)
        .addFunction("isPaused", &SFXSource::isPaused)
        .addFunction("isLooping", &SFXSource::isLooping)
        .addFunction("play", &SFXSource::play)
        .addFunction("stop", &SFXSource::stop)
        .addFunction("pause", &SFXSource::pause)
        .addFunction("getElapsedPlayTime", &SFXSource::getElapsedPlayTime)
        .addFunction("getTotalPlayTime", &SFXSource::getTotalPlayTime)
        .addFunction("is3d", &SFXSource::is3d)
        .addFunction("getVelocity", &SFXSource::getVelocity)
        .addFunction("setVelocity", &SFXSource::setVelocity)
        .addFunction("getPosition", &SFXSource::getPosition)
        .addFunction("setPosition", &SFXSource::setPosition)
        .addFunction("getDirection", &SFXSource::getDirection)
        .addFunction("setDirection", &SFXSource::setDirection)
        .addFunction("setMinMaxDistance", &SFXSource::setMinMaxDistance)
        .addFunction("getDistToListener", &SFXSource::getDistToListener)
        .addFunction("getVolume", &SFXSource::getVolume)
        .addFunction("setVolume", &SFXSource::setVolume)
        .addFunction("getPitch", &SFXSource::getPitch)
        .addFunction("setPitch", &SFXSource::setPitch)
        .addFunction("isValid", &SFXSource::isValid)
        .addFunction("destroy", &SFXSource::destroy);
}

void addGameEngineMembers(LuaBinding::Class<GameEngine>& c)
{
    c.addFunction("enableInputEventForwarding", &GameEngine::enableInputEventForwarding)
        .addFunction("createSFXSource", &GameEngine::createSFXSource)
        .addFunction("deleteSFXSource", &GameEngine::deleteSFXSource)
        .addFunction("playSFXOnce", &GameEngine::playSFXOnce)
        .addFunction("executeJS", &GameEngine::executeJS);
}

} // namespace VadiZov
