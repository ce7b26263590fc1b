// The library's whole surface towards its host: three exported functions, the engine interface
// and the host-facing object interface. The host implements the interfaces of velkor/host.h.
#pragma once

#include "velkor/host.h"
#include "velkor/types.h"

#if defined(VELKOR_BUILDING_LIBRARY)
#define VELKOR_API __attribute__((visibility("default")))
#else
#define VELKOR_API
#endif

namespace VadiZov {

// The record the host reads through BeamObject::getParticles (48 bytes, no padding).
struct HostParticle {
    int32_t particleType;
    float position[3];
    float normal[3];
    float velocity[3];
    float width;
    int32_t count;
};
static_assert(sizeof(HostParticle) == 48, "HostParticle is 48 bytes");

// Operations the host may call on an object; slots 0 to 11.
class BeamObjectBase {
public:
    virtual ~BeamObjectBase() = default;
    virtual bool resetTransformation(Vector3 position, Quaternion rotation) = 0;
    virtual int getFlexmeshCount() = 0;
    virtual int getParticles(HostParticle** first) = 0;
    virtual void clearParticles() = 0;
    virtual void setInternalCamera(int index) = 0;
    virtual void setPendingActivation(int value) = 0;
    virtual int queueLuaCommand(const char* chunk, bool wantResult) = 0;
    virtual const char* getLuaResult(int index) = 0;
    virtual int getID() = 0;
    virtual void importPersistentData(const char* data) = 0;
    virtual int getReferencePositions(Vector3* outTwo) = 0;
};

// The host-facing object: slot 12 follows the base's slots.
class BeamObject : public BeamObjectBase {
public:
    virtual int getObjectID() = 0;
};

class BeamEngine {
public:
    virtual void init() = 0;
    virtual void update(float dt) = 0;
    virtual void reset(HostObject* object) = 0;
    virtual void queueLuaFile(const char* path) = 0;
    virtual void queueLuaCommand(const char* text) = 0;
    virtual void reloadLua() = 0;
    virtual BeamObject* addObject(const char* directory, float x, float y, float z, float qx, float qy, float qz,
                                  float qw, HostObject* hostObject) = 0;
    virtual void removeObject(BeamObject* object) = 0;
    virtual void deleteAllObjects() = 0;
    virtual FilePure* openLogFile(const char* path) = 0;
    virtual void setLogSink(LogSink* sink) = 0;
    virtual void setFileSystem(FS* fs) = 0;
    virtual void setGameEngine(GameEngine* gameEngine) = 0;
    virtual bool getEnabled() = 0;
    virtual bool setEnabled(bool enabled) = 0;
    virtual int getStatusText(int type, char* buffer, int size, BeamObject* object) = 0;
    virtual void addStaticCollisionTriangle(float3 a, float3 b, float3 c) = 0;
    virtual void commitStaticCollision(bool keepDisplayCopy) = 0;
    virtual void setTerrain(TerrainConfig* config) = 0;
    virtual void clearTerrain() = 0;
    virtual int setTerrainPosition(float x, float y, float z) = 0;
    virtual void renderObjectDebug(HostDebugDraw* draw, float3 focus, BeamObject* object) = 0;
    virtual const char* getObjectPersistentData(HostObject* hostObject) = 0;
    virtual int onCrashReport() = 0;
    virtual ~BeamEngine() = default;
};

} // namespace VadiZov

extern "C" {
VELKOR_API VadiZov::BeamEngine* getBeamEngine();
VELKOR_API void destroyBeamEngine(VadiZov::BeamEngine* engine);
VELKOR_API int getBeamEngineVersion();
}

// Types of the three exports, for hosts that bind them with dlsym.
using GetBeamEngineFn = VadiZov::BeamEngine* (*)();
using DestroyBeamEngineFn = void (*)(VadiZov::BeamEngine*);
using GetBeamEngineVersionFn = int (*)();
