// Lua surface of the host's interfaces: each member calls the host's operation through the
// interface. Members whose native parameter no Lua value can stand for (raw buffers, integer
// references, the host's own small records) raise a Lua error instead of reaching the host with
// a null or foreign pointer.
//
// Files, directories and created sound sources are handed to scripts checked
// (lua/api/blua_host_handles.h): closing or deleting one ends its Lua value, whose every later
// use raises "object no longer exists"; a file or directory the script drops is closed when Lua
// collects it.
#include <type_traits>
#include <utility>

#include "base/blifetime.h"
#include "base/bscript_values.h"
#include "lua/api/blua_api.h"
#include "lua/api/blua_host_handles.h"
#include "lua/binding/blua_binding.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

// The object a member is called on, when it is a handle that may have been given back.
template <class T>
T* liveSelf(lua_State* L)
{
    if (!lua_isnoneornil(L, 1)) {
        const LuaBinding::Userdata* record = LuaBinding::getExactRecord(L, 1, LuaBinding::classKeyOf<T>());
        if (!record->object())
            luaL_error(L, "object no longer exists");
    }
    return LuaBinding::selfArg<T>(L, false);
}

// A member of a checked handle: the arguments and result as the binding reads and pushes them.
template <class T, auto Member>
int liveMember(lua_State* L)
{
    T* self = liveSelf<T>(L);
    using Traits = LuaBinding::FunctionTraits<decltype(Member)>;
    return LuaBinding::Invoker<typename Traits::Result, typename Traits::Params>::call(
        L, 2, [self](auto&&... args) -> decltype(auto) { return (self->*Member)(std::forward<decltype(args)>(args)...); });
}

// A handle argument: nil is a null pointer; a handle already given back is an error.
template <class T>
T* liveArgument(lua_State* L, int index)
{
    if (lua_isnoneornil(L, index))
        return nullptr;
    const LuaBinding::Userdata* record = LuaBinding::getExactRecord(L, index, LuaBinding::classKeyOf<T>());
    if (!record->object())
        luaL_error(L, "object no longer exists");
    return static_cast<T*>(record->object());
}

int pushHandle(lua_State* L, void* object, const void* classKey, uint64_t serial)
{
    LuaBinding::pushCheckedPointer(L, object, classKey, serial, &isAlive);
    return 1;
}

// Room for one more handle of the kind. Handles the script dropped are closed by the collector,
// so a full collection runs before a refusal.
bool roomForHandle(lua_State* L, lua_State* owner, HostHandleKind kind, const char* member, int capacity,
                   const char* what)
{
    if (heldHostHandles(owner, kind) >= capacity)
        lua_gc(L, LUA_GCCOLLECT, 0);
    return roomFor(member, size_t(heldHostHandles(owner, kind)), capacity, what);
}

// The three integer references: nil is refused as for every reference parameter.
template <class T>
int unsuppliedArgument(lua_State* L, const char* member)
{
    LuaBinding::selfArg<T>(L, false);
    return luaL_error(L, "%s: no Lua value can supply this member's host argument", member);
}

int luaFileRead(lua_State* L)
{
    liveSelf<FilePure>(L);
    return unsuppliedArgument<FilePure>(L, "FilePure.read");
}

int luaFileWrite(lua_State* L)
{
    liveSelf<FilePure>(L);
    return unsuppliedArgument<FilePure>(L, "FilePure.write");
}

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

// A host object made for the script: counted against its state's capacity of that kind and
// handed out checked; nil when refused or when the host made none.
template <class T, class Make>
int pushNewHandle(lua_State* L, void* giver, HostHandleKind kind, const char* member, int capacity, const char* what,
                  Make make)
{
    lua_State* owner = handleOwnerOf(L);
    T* object = roomForHandle(L, owner, kind, member, capacity, what) ? make() : nullptr;
    if (!object) {
        lua_pushnil(L);
        return 1;
    }
    return pushHandle(L, object, LuaBinding::classKeyOf<T>(), beginHostHandle(owner, kind, object, giver));
}

int luaOpenFile(lua_State* L)
{
    FS* fs = LuaBinding::selfArg<FS>(L, false);
    const char* path = LuaBinding::ArgReader<const char*>::read(L, 2);
    const char* mode = LuaBinding::ArgReader<const char*>::read(L, 3);
    if (!luaRoomForFile(L, "openFile")) {  // the state's io files count too
        lua_pushnil(L);
        return 1;
    }
    return pushNewHandle<FilePure>(L, fs, HostHandleKind::File, "openFile", kMaxOpenFilesPerState, "open files",
                                   [&] { return fs->openFile(path, mode); });
}

int luaOpenDirectory(lua_State* L)
{
    FS* fs = LuaBinding::selfArg<FS>(L, false);
    const char* path = LuaBinding::ArgReader<const char*>::read(L, 2);
    return pushNewHandle<FSDirectory>(L, fs, HostHandleKind::Directory, "openDirectory", kMaxOpenDirectoriesPerState,
                                      "open directories", [&] { return fs->openDirectory(path); });
}

int luaCloseDirectory(lua_State* L)
{
    FS* fs = LuaBinding::selfArg<FS>(L, false);
    FSDirectory* directory = liveArgument<FSDirectory>(L, 2);
    if (directory)
        endHostHandle(directory);
    fs->closeDirectory(directory);
    return 0;
}

int luaFileClose(lua_State* L)
{
    FilePure* file = liveSelf<FilePure>(L);
    endHostHandle(file);
    lua_pushnumber(L, file->close());
    return 1;
}

int luaCreateSFXSource(lua_State* L)
{
    GameEngine* engine = LuaBinding::selfArg<GameEngine>(L, false);
    const char* name = LuaBinding::ArgReader<const char*>::read(L, 2);
    return pushNewHandle<SFXSource>(L, engine, HostHandleKind::Sound, "createSFXSource", kMaxSoundSourcesPerState,
                                    "sound sources", [&] { return engine->createSFXSource(name); });
}

// Only sources a script created are its to delete: a one-shot sound belongs to the game engine,
// which may still be playing it. nil goes to the host as a null source.
int luaDeleteSFXSource(lua_State* L)
{
    GameEngine* engine = LuaBinding::selfArg<GameEngine>(L, false);
    SFXSource* source = liveArgument<SFXSource>(L, 2);
    const bool stopFirst = LuaBinding::ArgReader<bool>::read(L, 3);
    if (source && !endHostHandle(source))
        return luaL_error(L, "deleteSFXSource: only a source made by createSFXSource can be deleted");
    engine->deleteSFXSource(source, stopFirst);
    return 0;
}

// What the engine gives back itself is the engine's: a one-shot sound is handed out unchecked.
int luaPlaySFXOnce(lua_State* L)
{
    GameEngine* engine = LuaBinding::selfArg<GameEngine>(L, false);
    const char* name = LuaBinding::ArgReader<const char*>::read(L, 2);
    SFXSource* source = roomForOneShotSound("playSFXOnce") ? engine->playSFXOnce(name) : nullptr;
    LuaBinding::pushObjectPointer(L, source, LuaBinding::classKeyOf<SFXSource>());
    return 1;
}

// The collector's end of a file or directory the script still held: given back, once. A
// finaliser called by hand on another value is refused by the class check.
template <class T>
int finalizeHandle(lua_State* L)
{
    LuaBinding::Userdata* record = LuaBinding::getExactRecord(L, 1, LuaBinding::classKeyOf<T>());
    void* object = record->object();
    void* giver = nullptr;
    if (!object || !endHostHandle(object, &giver))
        return 0;
    if constexpr (std::is_same_v<T, FilePure>) {
        static_cast<FilePure*>(object)->close();
    } else if (giver) {
        static_cast<FS*>(giver)->closeDirectory(static_cast<FSDirectory*>(object));
    }
    return 0;
}

template <class T>
void setFinalizer(lua_State* L, const void* key)
{
    LuaBinding::pushRegistryValue(L, key);
    if (lua_istable(L, -1)) {
        lua_pushcfunction(L, &finalizeHandle<T>);
        lua_setfield(L, -2, "__gc");
    }
    lua_pop(L, 1);
}

} // namespace

void guardHostHandles(lua_State* L)
{
    prepareHostHandles(L);
    for (const void* key : {LuaBinding::classKeyOf<FilePure>(), LuaBinding::constKeyOf<FilePure>()})
        setFinalizer<FilePure>(L, key);
    for (const void* key : {LuaBinding::classKeyOf<FSDirectory>(), LuaBinding::constKeyOf<FSDirectory>()})
        setFinalizer<FSDirectory>(L, key);
}

void addFSMembers(LuaBinding::Class<FS>& c)
{
    c.addFunction("fileExists", &FS::fileExists)
        .addCFunction("openFile", &luaOpenFile, false)
        .addFunction("directoryExists", &directoryExists)
        .addCFunction("openDirectory", &luaOpenDirectory, false)
        .addCFunction("closeDirectory", &luaCloseDirectory, false);
}

void addFSDirectoryMembers(LuaBinding::Class<FSDirectory>& c)
{
    c.addCFunction("getNextFilename", &liveMember<FSDirectory, &FSDirectory::getNextFilename>, false);
}

void addFilePureMembers(LuaBinding::Class<FilePure>& c)
{
    c.addCFunction("read", &luaFileRead, false)
        .addCFunction("write", &luaFileWrite, false)
        .addCFunction("length", &liveMember<FilePure, &FilePure::length>, false)
        .addCFunction("seek", &liveMember<FilePure, &FilePure::seek>, false)
        .addCFunction("tell", &liveMember<FilePure, &FilePure::tell>, false)
        .addCFunction("close", &luaFileClose, false)
        .addCFunction("eof", &liveMember<FilePure, &FilePure::eof>, false)
        .addCFunction("flush", &liveMember<FilePure, &FilePure::flush>, false);
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
    c.addCFunction("isPlaying", &liveMember<SFXSource, &SFXSource::isPlaying>, false)
        .addCFunction("isStopped", &liveMember<SFXSource, &SFXSource::isStopped>, false)
        .addCFunction("isPaused", &liveMember<SFXSource, &SFXSource::isPaused>, false)
        .addCFunction("isLooping", &liveMember<SFXSource, &SFXSource::isLooping>, false)
        .addCFunction("play", &liveMember<SFXSource, &SFXSource::play>, false)
        .addCFunction("stop", &liveMember<SFXSource, &SFXSource::stop>, false)
        .addCFunction("pause", &liveMember<SFXSource, &SFXSource::pause>, false)
        .addCFunction("getElapsedPlayTime", &liveMember<SFXSource, &SFXSource::getElapsedPlayTime>, false)
        .addCFunction("getTotalPlayTime", &liveMember<SFXSource, &SFXSource::getTotalPlayTime>, false)
        .addCFunction("is3d", &liveMember<SFXSource, &SFXSource::is3d>, false)
        .addCFunction("getVelocity", &liveMember<SFXSource, &SFXSource::getVelocity>, false)
        .addCFunction("setVelocity", &liveMember<SFXSource, &SFXSource::setVelocity>, false)
        .addCFunction("getPosition", &liveMember<SFXSource, &SFXSource::getPosition>, false)
        .addCFunction("setPosition", &liveMember<SFXSource, &SFXSource::setPosition>, false)
        .addCFunction("getDirection", &liveMember<SFXSource, &SFXSource::getDirection>, false)
        .addCFunction("setDirection", &liveMember<SFXSource, &SFXSource::setDirection>, false)
        .addCFunction("setMinMaxDistance", &liveMember<SFXSource, &SFXSource::setMinMaxDistance>, false)
        .addCFunction("getDistToListener", &liveMember<SFXSource, &SFXSource::getDistToListener>, false)
        .addCFunction("getVolume", &liveMember<SFXSource, &SFXSource::getVolume>, false)
        .addCFunction("setVolume", &liveMember<SFXSource, &SFXSource::setVolume>, false)
        .addCFunction("getPitch", &liveMember<SFXSource, &SFXSource::getPitch>, false)
        .addCFunction("setPitch", &liveMember<SFXSource, &SFXSource::setPitch>, false)
        .addCFunction("isValid", &liveMember<SFXSource, &SFXSource::isValid>, false)
        .addCFunction("destroy", &liveMember<SFXSource, &SFXSource::destroy>, false);
}

void addGameEngineMembers(LuaBinding::Class<GameEngine>& c)
{
    c.addFunction("enableInputEventForwarding", &GameEngine::enableInputEventForwarding)
        .addCFunction("createSFXSource", &luaCreateSFXSource, false)
        .addCFunction("deleteSFXSource", &luaDeleteSFXSource, false)
        .addCFunction("playSFXOnce", &luaPlaySFXOnce, false)
        .addFunction("executeJS", &GameEngine::executeJS);
}

} // namespace VadiZov
