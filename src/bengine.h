// The engine the host steers: object slots, the frame step, the system Lua state, and the
// services the engine gives to Lua.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bcore_parameters.h"
#include "platform/critical_section.h"
#include "velkor/velkor.h"

namespace VadiZov {

class BeamEngineImpl final : public BeamEngine {
public:
    BeamEngineImpl();
    ~BeamEngineImpl() override;
    BeamEngineImpl(const BeamEngineImpl&) = delete;
    BeamEngineImpl& operator=(const BeamEngineImpl&) = delete;

    // The host's operations, in slot order.
    void init() override;
    void update(float dt) override;
    void reset(HostObject* object) override;
    void queueLuaFile(const char* path) override;
    void queueLuaCommand(const char* text) override;
    void reloadLua() override;
    BeamObject* addObject(const char* directory, float x, float y, float z, float qx, float qy, float qz, float qw,
                          HostObject* hostObject) override;
    void removeObject(BeamObject* object) override;
    void deleteAllObjects() override;
    FilePure* openLogFile(const char* path) override;
    void setLogSink(LogSink* sink) override;
    void setFileSystem(FS* fs) override;
    void setGameEngine(GameEngine* gameEngine) override;
    bool getEnabled() override { return enabled_; }
    bool setEnabled(bool enabled) override;
    int getStatusText(int type, char* buffer, int size, BeamObject* object) override;
    void addStaticCollisionTriangle(float3 a, float3 b, float3 c) override;
    void commitStaticCollision(bool keepDisplayCopy) override;
    void setTerrain(TerrainConfig* config) override;
    void clearTerrain() override;
    int setTerrainPosition(float x, float y, float z) override;
    void renderObjectDebug(HostDebugDraw* draw, float3 focus, BeamObject* object) override;
    const char* getObjectPersistentData(HostObject* hostObject) override;
    int onCrashReport() override;

    // Teardown, run by destroyBeamEngine before the destructor.
    void teardown();

    void setSimulationTimeScale(float scale);
    float getSimulationTimeScale() const;

    float frameDelayMs() const { return frameDelayMs_; }
    const std::vector<std::string>& queuedCommands() const { return queuedCommands_; }
    const std::vector<std::string>& queuedFiles() const { return queuedFiles_; }
    platform::CriticalSection* engineLock() { return engineLock_; }
    core_parameters_t& coreParameters() { return params_; }
    // An object finished loading or went away: the physics worker rebuilds its core threads.
    void markObjectsChanged() { params_.objectsChanged = true; }

private:
    void restartFrameTimer();

    int graphicsBuffer_ = 0;
    bool enabled_ = true;
    core_parameters_t params_;
    bool reloadLua_ = true;
    int stepsLastSecond_ = 0;
    int stepCounter_ = 0;
    float secondAccumulator_ = 0.0f;
    float lastSubstepTime_ = 0.0f;
    float frameDelayMs_ = 0.0f;
    float stepAccumulator_ = 0.0f;
    int airDensityIndex_ = 0;
    double ticksPerMs_ = 0.0;
    int64_t frameStart_ = 0;
    std::vector<std::string> queuedCommands_;
    std::vector<std::string> queuedFiles_;
    int graphicsStepRef_ = -1;
    platform::CriticalSection* engineLock_ = nullptr;
    platform::CriticalSection* queueLock_ = nullptr;
};

} // namespace VadiZov
