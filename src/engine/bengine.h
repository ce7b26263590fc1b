// The engine the host steers: object slots, the frame step, the system Lua state, and the
// services the engine gives to Lua.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "object/bcore_parameters.h"
#include "object/bobject_engine.h"
#include "platform/critical_section.h"
#include "velkor/velkor.h"

namespace VadiZov {

class BeamObjectImpl;
class Lua;
class StaticCollider;
class TerrainBlock;
struct groundModel;
class PhysicsWorker;
template <class T, class P>
class VelkorThreadManager;

class BeamEngineImpl final : public BeamEngine, public ObjectEngine {
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
    bool getEnabled() override { return enabled_; }  // the host's and the objects' question alike
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

    // A scale that is not finite is refused; 0 stops counting substeps, a negative acts as its size.
    void setSimulationTimeScale(float scale);
    float getSimulationTimeScale() const;
    // An engine a script made with BeamEngine() is a plain value: it is never started or stepped.
    void markMadeByScript() { madeByScript_ = true; }

    float frameDelayMs() const { return frameDelayMs_; }
    const std::vector<std::string>& queuedCommands() const { return queuedCommands_; }
    const std::vector<std::string>& queuedFiles() const { return queuedFiles_; }
    Lua* systemLua() const { return systemLua_; }
    platform::CriticalSection* engineLock() { return engineLock_; }
    core_parameters_t& coreParameters() { return params_; }
    // An object finished loading or went away: the physics worker rebuilds its core threads.
    void markObjectsChanged() override { params_.objectsChanged = true; }

    // Frame step figures (status text, tests).
    int graphicsBuffer() const { return graphicsBuffer_; }
    int stepsLastSecond() const { return stepsLastSecond_; }
    int stepCounter() const { return stepCounter_; }
    float lastSubstepTime() const { return lastSubstepTime_; }
    float stepAccumulator() const { return stepAccumulator_; }
    VelkorThreadManager<PhysicsWorker, core_parameters_t>* workerManager() { return workerManager_; }
    // Waits until the physics frame released last has finished (nothing when none runs, and
    // nothing on a physics thread). The host thread calls it before it takes the engine lock to
    // run Lua: a released worker that has not yet taken the lock would otherwise wait for the
    // lock while the script waits for the worker.
    void waitForPhysicsFrame();

    // ---- object slots (bengine_slots.cpp)
    static constexpr int kObjectSlots = 1;  // this build keeps one object slot
    // 0 gives the object in slot 0; -1 makes a new object in the next free slot.
    BeamObjectImpl* getSlot(int index);
    // The object in a slot below the count (null for an empty one): the physics threads see the
    // slots as records, the engine as the objects they are.
    BeamObjectImpl* slotObject(int slot) const;
    void setSlot(int index, BeamObjectImpl* object);
    int getSlotCount() const { return params_.objectCount; }
    void spawnObject(const char* directory, float3 position);
    // Removals asked for while an object's own Lua runs (its update or its init) wait until
    // that Lua has returned, so no object is freed under its running script. leave runs the
    // removals that waited once the outermost run ends; true when `object` was deleted.
    void enterObjectLua() override { ++objectLuaDepth_; }
    bool leaveObjectLua(const BeamObjectImpl* object) override;

    // ---- services (bengine_services.cpp)
    // "saves.json" in the current directory, written and read whole; null when unreadable.
    void setPersistentData(const char* text);
    const std::string* getPersistentData();

    // ---- ground (bengine_ground.cpp)
    // Ground-model writes from Lua wait for a running physics frame; refused on a core thread.
    void setGroundModel(const groundModel& model, const char* name);
    void resetGroundModels();
    TerrainBlock* terrain() const { return terrain_; }
    StaticCollider* staticCollider() const { return collider_; }

    // Tests only: puts an object into slot 0 (null empties it), under the engine lock, and
    // marks the objects changed. The caller keeps ownership.
    void placeObjectForTests(BeamObjectImpl* object);

private:
    void restartFrameTimer();
    void applyTimeScale(float scale);
    // Logs and answers true when update must not run now: on a script-made engine, while an
    // update runs, or while an object's own Lua runs.
    bool refuseUpdate();
    // Logs and answers true while objects are being deleted or the engine torn down: nothing
    // may be spawned or stored into a slot then.
    bool refuseWhileDeleting(const char* operation);
    // The frame step's parts (bframe_step.cpp). physicsStep returns the frame's simulated time.
    float physicsStep(float dt);
    int countSubsteps(float dt);
    void updateAirDensity();
    void syncObjectsWithHost();
    void updateStatistics(float dt, int steps);
    void releaseWorker();
    // The system Lua step (bengine_lua_step.cpp): reload, queued commands and files,
    // graphicsStep(dt), garbage-collection step.
    void luaStep(float dt);
    void reloadSystemLua();
    // The terrain is made with the engine, the collider by init; both go at teardown.
    void createTerrain();
    void initGround();
    void destroyGround();
    // Slot operations without the deferral (bengine_slots.cpp).
    BeamObjectImpl* makeObjectInFreeSlot();
    void deleteObjectsNow(bool all, const BeamObject* object);
    void deleteDeferredObjects();

    int graphicsBuffer_ = 0;
    bool enabled_ = true;
    core_parameters_t params_;
    VelkorThreadManager<PhysicsWorker, core_parameters_t>* workerManager_ = nullptr;
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
    size_t queuedCommandBytes_ = 0;  // the text in the two queues
    size_t queuedFileBytes_ = 0;
    int graphicsStepRef_ = -1;
    Lua* systemLua_ = nullptr;
    platform::CriticalSection* engineLock_ = nullptr;
    platform::CriticalSection* queueLock_ = nullptr;
    TerrainBlock* terrain_ = nullptr;
    StaticCollider* collider_ = nullptr;
    int objectLuaDepth_ = 0;
    int deletingDepth_ = 0;
    bool tornDown_ = false;
    bool insideUpdate_ = false;
    bool madeByScript_ = false;
    bool deferredDeleteAll_ = false;
    std::vector<const BeamObject*> deferredRemovals_;
    std::string persistentDataBuffer_;
};

} // namespace VadiZov
