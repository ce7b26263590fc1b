// The interfaces the host implements and hands to the library. The order of the operations in
// each class is the contract: a slot the library never calls keeps its place as a reserved
// operation. The library never frees what it is given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "velkor/types.h"

namespace VadiZov {

class FilePure;
class FSDirectory;
class SFXSource;
class ResourceContainer;
class FlexBuffer;
class RigidMesh;
class Material;
class SpotLight;

class LogSink {
public:
    virtual void log(int level, const char* text, bool newline) = 0;
protected:
    ~LogSink() = default;
};

class FS {
public:
    virtual int fileExists(const char* path) = 0;
    virtual FilePure* openFile(const char* path, const char* mode) = 0;
    virtual bool directoryExists(const char* path) = 0;
    virtual FSDirectory* openDirectory(const char* path) = 0;
    virtual void closeDirectory(FSDirectory* dir) = 0;
protected:
    ~FS() = default;
};

class FSDirectory {
public:
    virtual const char* getNextFilename() = 0;  // null after the last name
protected:
    ~FSDirectory() = default;
};

class FilePure {
public:
    virtual size_t read(void* buffer, size_t bufferSize, size_t elementSize, size_t count) = 0;
    virtual size_t write(const void* buffer, size_t bufferSize, size_t elementSize, size_t count) = 0;
    virtual long length() = 0;
    virtual int seek(long offset, int origin) = 0;
    virtual long tell() = 0;
    virtual int close() = 0;
    virtual int eof() = 0;
    virtual int flush() = 0;
    virtual int putc(int character, FilePure* self) = 0;
    virtual int puts(const char* text) = 0;
    virtual int error() = 0;
    virtual char* gets(char* buffer, int size) = 0;
    virtual int pclose() = 0;
    virtual void clearerr() = 0;
protected:
    ~FilePure() = default;
};

class HostObject;

class GameEngine {
public:
    virtual void reserved0() {}
    virtual void reserved1() {}
    virtual void setDebugFlags(bool on) = 0;
    virtual void queryNodeEnvironment(float3 worldPos, HostObject* object, float* mediumDensity, int* scratch,
                                      float* waterSurfaceZ) = 0;
    virtual void setTimeScale(float scale) = 0;
    virtual void projectPosition(float3* out, const float3* worldPos) = 0;
    virtual void enableInputEventForwarding(const char* what) = 0;
    virtual SFXSource* createSFXSource(const char* name) = 0;
    virtual void deleteSFXSource(SFXSource* source, bool stopFirst) = 0;
    // The one-shot stays the host's. The library asks an attached one isValid() at each Lua
    // update and never touches it after the first false: free it no earlier than one engine
    // update after it first reports itself invalid. At most 256 are asked for per frame.
    virtual SFXSource* playSFXOnce(const char* name) = 0;
    virtual int setupForceFeedback(const char* config) = 0;
    virtual void sendForceFeedback(int channel, float value) = 0;
    virtual const char* getForceFeedbackConfig(int channel) = 0;
    virtual void reserved13() {}
    virtual void executeJS(const char* script, int value) = 0;
protected:
    ~GameEngine() = default;
};

// Camera record handed to HostObject::updateCamera: 55 consecutive float3 values.
struct CameraRecord {
    float3 values[55];
};
static_assert(sizeof(CameraRecord) == 660, "camera record is 660 bytes");

class HostObject {
public:
    virtual ResourceContainer* getResourceContainer() = 0;
    virtual float3* getPosition(float3* out) = 0;
    virtual void setBoundingBox(float3 minCorner, float3 maxCorner) = 0;
    virtual void setPosition(float3 position) = 0;
    virtual void updateCamera(int internalCamera, int internalCameraCount, const CameraRecord* record,
                              float cameraValue, float factor1, float factor2, float camRelaxation) = 0;
    virtual Material* getMaterial(const char* name) = 0;
    virtual SpotLight* createSpotLight() = 0;
    virtual void deleteSpotLight(SpotLight* light) = 0;
    virtual void addTireMark(const float3* position, const float3* normal, float intensity) = 0;
protected:
    ~HostObject() = default;
};

class ResourceContainer {
public:
    virtual FlexBuffer* createFlexBuffer(const char* meshName) = 0;
    virtual void releaseFlexBuffer(FlexBuffer* buffer) = 0;
    virtual RigidMesh* getRigidMesh(const char* meshName) = 0;
    virtual void deleteRigidMesh(RigidMesh* mesh) = 0;
    virtual void setAlpha(float alpha, const char* meshName, bool recursive) = 0;
    virtual float getAlpha(const char* meshName) = 0;
    virtual void notifyLoaded() = 0;
    virtual void reserved7() {}
    virtual int getSwitchableMaterial(int index, void* hostRecord) = 0;
    virtual const char* getMeshesContainingMaterial(const char* material) = 0;
    virtual const char* getMeshsMaterials(const char* mesh) = 0;
    virtual bool switchMaterial(const char* name, int index) = 0;
    virtual void resetMaterials(int index) = 0;
    virtual void destroyMaterials() = 0;
protected:
    ~ResourceContainer() = default;
};

class FlexBuffer {
public:
    virtual const float* getVertexPosition(float3* storage, int vertex) = 0;
    virtual const float* getVertexDirections(float* storageOfSix, int vertex) = 0;
    virtual void beginRead() = 0;
    virtual void endRead() = 0;
    virtual int beginWrite() = 0;
    virtual void endWrite() = 0;
    virtual void writeVertex(const float* position, const float* normalAndTangent) = 0;
    virtual void reserved7() {}
    virtual int beginIndexAccess() = 0;
    virtual void endIndexAccess() = 0;
    virtual const uint16_t* getTriangle(uint16_t* storageOfThree, int triangle) = 0;
    virtual void setTriangle(int triangle, int v0, int v1, int v2) = 0;
    virtual void setInitialTransformation(const float3* a, const float3* b, const float3* c) = 0;

    // Read directly by the library: the first data members after the table of operations.
    int32_t vertexCount = 0;
    int32_t triangleCount = 0;
protected:
    ~FlexBuffer() = default;
};

class RigidMesh {
public:
    virtual void setPlacement(const float3* position, const float3* up, const float3* forward,
                              const float3* baseRotation, const float3* rotation) = 0;
    virtual bool getInitialPosition(float3* position, void* sixteenBytes) = 0;
    virtual void detach() = 0;
protected:
    ~RigidMesh() = default;
};

class Material {
public:
    virtual int getTextureDimensions(int* width, int* height, int* depth) = 0;
    virtual int updateDiffuseTexture(int index, void* hostRecord) = 0;
protected:
    ~Material() = default;
};

class SpotLight {
public:
    virtual void setLightArgs(float value, void* hostRecord) = 0;
    virtual void setLightArgs2(void* hostRecord) = 0;
    virtual void setPlacement(const float3* position, const float3* up, const float3* forward,
                              const float3* baseRotation, const float3* rotation) = 0;
    virtual void setEnabled(bool on) = 0;
protected:
    ~SpotLight() = default;
};

class SFXSource {
public:
    virtual bool isPlaying() = 0;
    virtual bool isStopped() = 0;
    virtual bool isPaused() = 0;
    virtual bool isLooping() = 0;
    virtual void play(float fadeInTime) = 0;
    virtual void stop(float fadeOutTime) = 0;
    virtual void pause(float fadeOutTime) = 0;
    virtual float getElapsedPlayTime() = 0;
    virtual float getTotalPlayTime() = 0;
    virtual bool is3d() = 0;
    virtual Vector3 getVelocity() = 0;
    virtual void setVelocity(Vector3 velocity) = 0;
    virtual Vector3 getPosition() = 0;
    virtual void setPosition(Vector3 position) = 0;
    virtual Vector3 getDirection() = 0;
    virtual void setDirection(Vector3 direction) = 0;
    virtual void setMinMaxDistance(float minDistance, float maxDistance) = 0;
    virtual float getDistToListener() = 0;
    virtual float getVolume() = 0;
    virtual void setVolume(float volume) = 0;
    virtual float getPitch() = 0;
    virtual void setPitch(float pitch) = 0;
    virtual bool isValid() = 0;
    virtual void destroy() = 0;
protected:
    ~SFXSource() = default;
};

class HostDebugDraw {
public:
    virtual void drawLines(const float3* points, const color* colors, int32_t pointCount) = 0;
    virtual void drawTriangles(const float3* points, const color* colors, int32_t pointCount) = 0;
    virtual void drawTexts(float3 position, color colour, const char* text) = 0;
    virtual void reserved3() {}
    virtual void reserved4() {}
    virtual void reserved5() {}
    virtual void drawSpheres(float radius, float3 centre, color colour) = 0;
    virtual void drawBeams3d(float3 first, float3 second, float radius, color colour) = 0;
protected:
    ~HostDebugDraw() = default;
};

// Filled by the host and passed to BeamEngine::setTerrain. On this 64-bit build pointers are
// 64 bits; the order and types of the other fields are the contract.
struct TerrainConfig {
    const uint16_t* heightMap = nullptr;
    int32_t heightMapSize = 0;
    const uint8_t* layerMap = nullptr;
    int32_t layerMapSize = 0;
    const uint8_t* secondMap = nullptr;
    int32_t secondMapSize = 0;
    const char* layerMaterialNames[32] = {};
    int32_t width = 0;
    int32_t height = 0;
    int32_t layerCount = 0;
    float squareSizeX = 0.0f;
    float squareSizeY = 0.0f;
    float depthScale = 0.0f;
    uint32_t reserved1 = 0;
    uint32_t reserved2 = 0;
    float heightScale = 0.0f;
    int32_t completion = 0;
};

} // namespace VadiZov
