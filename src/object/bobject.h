// One simulated soft body: nodes joined by beams, with wheels, collision triangles, pressure
// groups, rails and slide nodes. All per-node and per-beam state lives in fixed arrays inside
// the object, so the solver indexes it directly and nothing is allocated per element while the
// simulation runs. Those records are the object's BeamObjectRecords (bobject_records.h), all
// the physics threads see of it; the substep's scratch is not the object's but its core
// thread's. The object is large (about 1.5 MB): create it with new. It can be neither copied
// nor moved, since wheels point into its node array.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/blifetime.h"
#include "object/bobject_debug_drawer.h"
#include "object/bbeam_handles.h"
#include "object/bobject_frame_queues.h"
#include "object/bobject_records.h"
#include "platform/critical_section.h"
#include "velkor/velkor.h"

namespace VadiZov {

class ObjectEngine;
class ObjectScript;
class GroundModelNames;
class FlexMesh;
class Prop;
class Lua;
class LuaObjectScript;
class Material;
class HostDebugDraw;
struct ObjectLua;

// Reset request bits (requestReset).
constexpr int RESET_PHYSICS = 1;
constexpr int RESET_COMPLETELY = 2;

class BeamObjectImpl final : public BeamObject, public BeamObjectRecords {
public:
    BeamObjectImpl();
    ~BeamObjectImpl() override;
    BeamObjectImpl(const BeamObjectImpl&) = delete;
    BeamObjectImpl& operator=(const BeamObjectImpl&) = delete;
    BeamObjectImpl(BeamObjectImpl&&) = delete;
    BeamObjectImpl& operator=(BeamObjectImpl&&) = delete;

    // ---- host-facing operations
    bool resetTransformation(Vector3 position, Quaternion rotation) override;
    int getFlexmeshCount() override { return flexmesh_count; }
    int getParticles(HostParticle** first) override;
    void clearParticles() override { hostParticles.clear(); }
    void setInternalCamera(int index) override { internalCameraChoice = index; }
    void setPendingActivation(int value) override { pendingActivation = value; }
    int queueLuaCommand(const char* chunk, bool wantResult) override;
    const char* getLuaResult(int index) override;
    int getID() override { return id; }
    void importPersistentData(const char* data) override;
    int getReferencePositions(Vector3* outTwo) override;
    int getObjectID() override { return id; }

    // ---- construction, clearing and reset
    // Empties the object; its script may build it again.
    void clear();
    // Back to the state as built, at spawnOrigin, rotated by transformRotation.
    void reset(bool rotationChanged);
    // Rotates every node about refNode; velocities and spawn positions stay.
    void applyTransformation(const Quaternion& rotation);
    void requestReset(int flags);
    // Carries out the requested clear and reset and a pending rotation change; the object's
    // per-frame Lua update calls this first.
    void applyPendingResets();
    int pendingResetRequests();
    // Clears and frees what the object holds outside its records; later calls do nothing.
    void destroy();
    bool isDestroyed() const { return destroyed_; }
    // Shared with every script handle into this object; cleared when the object is deleted.
    LifeFlag lifeFlag() const { return lifetime_.flag(); }
    // The engine has logged that the reference node is no longer finite (until the next reset).
    bool nonFiniteReported = false;
    // Objects alive in the process now (engine's and scripts' alike).
    static int liveCount() { return liveCount_.load(std::memory_order_relaxed); }

    // ---- the object's own Lua state
    Lua& lua();
    LuaObjectScript& luaScript();
    // Calls the global function with one text argument (nil for null). False with the Lua
    // error's text in `error` when there is no state or the call fails.
    bool callLuaFunction(const char* name, const char* argument, std::string& error);

    // ---- per frame, on the host thread
    // Pending resets, queued commands, graphicsStep, activation, tire marks, particles,
    // attached sounds. 1 when the engine is disabled, and also when the object's own Lua
    // deleted it: the caller must then not touch the object again.
    int updateLua(float dt);
    // Hands the swapped JavaScript and sound queues to the host, then rewrites the flexible
    // meshes and places the props.
    void updateGraphics(float dt);
    // Sends the camera record to the host object once the camera nodes are set.
    void updateCamera();

    // ---- loading
    // Runs "<dir>/init.lua" (or the default script), caches the callbacks, calls init(dir) and
    // places the object.
    void spawnVehicle(const char* dir, Vector3 position, Quaternion rotation);
    // The collector's render with what its views read; nothing for a null target or while the
    // proxy is nil.
    void renderDebug(HostDebugDraw* draw, float3 focus, const DebugWorld& world);
    void setGroundModelNames(const GroundModelNames* names) { groundModelNames_ = names; }
    // The engine whose slot holds the object (null: none); loading and the Lua update tell it.
    void setEngine(ObjectEngine* engine) { engine_ = engine; }
    ObjectEngine* engine() const { return engine_; }

    // ---- building API
    int setNode(int index, float3 position, float mass, int nodeType, float friction, int collisionGroup,
                bool triangleCollides, bool collides);
    void setNodeMass(int node, float mass);
    void setNodeMaterial(int node, int material);
    void setNodePair(int node, int partner);
    void setGravity(float g);
    void setWind(float x, float y, float z);
    void setWaterFlow(float x, float y, float z);

    beam setBeam(int index, int node1, int node2, float strength, float spring, float damp, float deform,
                 float lengthFactor);
    void setBeamSpringDamp(int beamId, float spring, float damp, float springExt, float dampExt);
    void setBeamPressureRel(int beamId, float pressure, float maxPressure, float spring, float damp);
    // The smaller of value and the reduced mass of the end nodes over the substep time.
    float cappedDamping(int beamId, float value) const;

    void setCollisionTriangle(int index, int node1, int node2, int node3, float dragCoef, float pressure,
                              int pressureGroup, int broken, const char* groundModelName);
    void breakCollisionTriangle(int triangle);
    int getTriangleCount() const { return int(collisionTriangles.size()); }
    void deflatePressureGroup(int group);
    void setGroupPressure(int group, float pressure);

    void finishLoading();
    void applyForce(int node, int towards, float force);
    float applyTorque(int axisStart, int axisEnd, int node, float torque);

    float getBeamForce(int beamId) const;
    float getNodeForceOnBeamDir(int node, int beamId) const;
    bool inWater(int node) const;
    float getNodeForce(int node, int towards) const;
    float getNodeVelocity(int node, int towards) const;
    float3 getVelocity() const;
    float3 getPosition() const;
    float getDirection() const;
    float3 getDirectionVector() const;
    float3 getDirectionVectorUp() const;

    // ---- what the physics threads do not read (the records are BeamObjectRecords)
    InternalCamera internalCameras[kMaxInternalCameras] = {};
    FlexMesh* flexmeshes[kMaxFlexmeshes] = {};
    Prop* props[kMaxProps] = {};

    int flexmesh_count = 0;
    int prop_count = 0;
    int internal_camera_count = 0;

    int id = -1;
    float3 spawnOrigin;
    Quaternion transformRotation{0.0f, 0.0f, 0.0f, 0.0f};
    bool transformPending = false;
    bool rotationChanged = false;
    bool refRelativePlacement = true;
    int axisRef = -1;
    int axisBack = -1;
    int axisSide = -1;
    int axisUp = -1;
    int refPositionNodes[2] = {0, 0};
    float3 externalCameraOffset;
    bool loaded = false;
    std::string persistentData;
    std::string debugString;
    int pendingActivation = -1;
    int activationMode = -1;
    int internalCameraChoice = -1;
    float cameraParams[3] = {1.0f, 1.0f, 60.0f};
    float camRelaxation = 2.0f;
    HostObject* hostObject = nullptr;
    ResourceContainer* mesh = nullptr;
    // Render buffer the graphics side reads and the position last given to the host; the frame
    // step keeps both.
    int graphicsBuffer = 0;
    float3 hostPosition;

    std::vector<std::pair<std::string, bool>> luaCommands;  // text, want-result
    size_t luaCommandBytes = 0;                              // their text together
    std::vector<std::string> luaResults;
    std::vector<HostParticle> hostParticles;

    // The debug-draw collector as scripts see it (Lua member debugDrawProxy). Scripts may set it
    // to nil, which skips drawing; the collector itself stays owned by the object.
    debugdrawer* debugDrawProxy = nullptr;
    debugdrawer* ownDebugDrawer() { return &debugDrawer_; }

private:
    // Registered before the constructor's body makes the Lua state; it dies after the body of
    // the destructor, so vehicleDestroy may still use the object.
    TrackedLifetime lifetime_{this, sizeof(BeamObjectImpl)};

    bool validBeam(int beamId) const { return beamId >= 0 && beamId < beam_count; }
    void addCollisionNode(int node);
    void removeCollisionNode(int node);
    void callVehicleDestroy();
    void callVehicleResetted(bool rotationChanged);

    // The steps of updateLua, in the order it runs them.
    void runLuaCommands();
    void runDebugDraw();
    void stepGraphicsLua(float dt);
    void deliverActivation();
    void sendTireMarks();
    void emitContactParticles();
    void updateAttachedSounds();

    static inline std::atomic<int> liveCount_{0};
    platform::CriticalSection* lock_ = nullptr;  // guards luaCommands and pendingRequests_
    int pendingRequests_ = 0;
    bool destroyed_ = false;
    ObjectLua* objectLua_ = nullptr;
    void createLua();
    void deleteLua();
    const GroundModelNames* groundModelNames_ = nullptr;
    ObjectEngine* engine_ = nullptr;
    // Inside the object, so a script's handle to it dies with the object; it goes after the
    // destructor's body has closed the object's own Lua state.
    debugdrawer debugDrawer_{*this};
};

} // namespace VadiZov
