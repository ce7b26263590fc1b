#include "engine/bengine.h"

#include <cstring>
#include <cmath>
#include <cstdio>
#include <new>

#include "base/bconstants.h"
#include "base/bglobals.h"
#include "base/blifetime.h"
#include "base/blog.h"
#include "base/bscript_values.h"
#include "lua/blua.h"
#include "object/bobject.h"
#include "threads/bphysics_worker.h"
#include "base/bsettings.h"
#include "platform/perf_counter.h"

namespace VadiZov {

namespace {
constexpr int kSlotCount = BeamEngineImpl::kObjectSlots;

// A script on the host thread (the system state's step runs while the last frame's physics still
// runs) reaches an object only once that frame is done. A physics thread's script reaches only
// its own object, which its own thread is stepping.
void finishFrameBeforeScriptAccess()
{
    if (onPhysicsThread())
        return;
    if (BeamEngineImpl* engine = g_engine)
        engine->waitForPhysicsFrame();
}
} // namespace

BeamEngineImpl::BeamEngineImpl()
{
    restartFrameTimer();
    createTerrain();
}

BeamEngineImpl::~BeamEngineImpl()
{
    // Lua-made engines are destroyed without teardown; the locks are theirs to free either way.
    delete engineLock_;
    delete queueLock_;
    delete[] params_.objects;
    delete systemLua_;
    destroyGround();
}

void BeamEngineImpl::restartFrameTimer()
{
    int64_t frequency = 0;
    if (!platform::queryPerformanceFrequency(&frequency))
        return;
    ticksPerMs_ = double(frequency) * 0.001;
    platform::queryPerformanceCounter(&frameStart_);
}

void BeamEngineImpl::init()
{
    if (madeByScript_) {
        logMessage(LOG_ERROR, "*** init: refused on an engine made by a script", true);
        return;
    }
    engineLock_ = new (std::nothrow) platform::CriticalSection(kLockSpinCount);
    if (!engineLock_)
        reportWin32Error("VadiZov::BeamEngine::init", "bengine", 63);

    params_.objects = new (std::nothrow) BeamObjectRecords*[kSlotCount]();
    if (!params_.objects)
        return;
    params_.objectCount = 0;

    initGround();

    // The worker manager adds the collision tree it owns.
    ThreadContext<core_parameters_t> context;
    context.collider = collider_;
    context.engineLock = engineLock_;
    context.params = &params_;
    workerManager_ = new WorkerManager(context);
    workerManager_->addThreads(1, 0, kThreadModeWork);

    g_engine = this;
    setScriptAccessHook(&finishFrameBeforeScriptAccess);

    queueLock_ = new (std::nothrow) platform::CriticalSection(kLockSpinCount);
    if (!queueLock_)
        reportWin32Error("VadiZov::BeamEngine::init", "bengine", 83);

    // The reload flag is set: this creates the system Lua state and runs its start script.
    luaStep(0.0f);

    logMessage(LOG_ALWAYS, " *******************", true);
    logMessage(LOG_ALWAYS, " *** SOLVANTE v2 ***", true);
    logMessage(LOG_ALWAYS, " *******************", true);
}

void BeamEngineImpl::teardown()
{
    // A frame still in flight finishes first: stopping the worker while it has been released
    // but has not yet taken the engine lock would leave it blocked on the lock we hold.
    waitForPhysicsFrame();
    deleteAllObjects();
    tornDown_ = true;
    delete workerManager_;
    workerManager_ = nullptr;
    destroyGround();
    delete[] params_.objects;
    params_.objects = nullptr;
    delete systemLua_;
    systemLua_ = nullptr;
    graphicsStepRef_ = -1;
    if (g_engine == this)
        g_engine = nullptr;
    delete engineLock_;
    engineLock_ = nullptr;
    delete queueLock_;
    queueLock_ = nullptr;
}

void BeamEngineImpl::waitForPhysicsFrame()
{
    // Only the host thread releases frames and waits for them; a physics thread waiting here
    // would wait for itself.
    if (onPhysicsThread())
        return;
    if (!params_.noWait && workerManager_)
        workerManager_->waitForAllDone();
    params_.noWait = true;
}

void BeamEngineImpl::placeObjectForTests(BeamObjectImpl* object)
{
    waitForPhysicsFrame();
    platform::CriticalSectionGuard guard(engineLock_);
    // The object the test takes back no longer asks this engine anything.
    if (BeamObjectImpl* previous = params_.objectCount > 0 ? slotObject(0) : nullptr; previous && previous != object)
        previous->setEngine(nullptr);
    if (object)
        object->setEngine(this);
    params_.objects[0] = object;
    params_.objectCount = object ? 1 : 0;
    params_.objectsChanged = true;
}

void BeamEngineImpl::queueLuaFile(const char* path)
{
    platform::CriticalSectionGuard guard(queueLock_);
    const size_t bytes = path ? std::strlen(path) : 0;
    if (roomFor("queueLuaFile", queuedFiles_.size(), kMaxQueuedLuaCommands, "queued files") &&
        roomForBytes("queueLuaFile", queuedFileBytes_, bytes, kMaxQueuedLuaCommandBytes, "queued file names")) {
        queuedFiles_.emplace_back(path ? path : "");
        queuedFileBytes_ += bytes;
    }
}

void BeamEngineImpl::queueLuaCommand(const char* text)
{
    platform::CriticalSectionGuard guard(queueLock_);
    // A chunk that queues itself twice would otherwise double the queue every frame.
    const size_t bytes = text ? std::strlen(text) : 0;
    if (roomFor("queueLuaCommand", queuedCommands_.size(), kMaxQueuedLuaCommands, "queued commands") &&
        roomForBytes("queueLuaCommand", queuedCommandBytes_, bytes, kMaxQueuedLuaCommandBytes, "queued commands")) {
        queuedCommands_.emplace_back(text ? text : "");
        queuedCommandBytes_ += bytes;
    }
}

void BeamEngineImpl::reloadLua() { reloadLua_ = true; }

FilePure* BeamEngineImpl::openLogFile(const char* path) { return VadiZov::openLogFile(path); }

void BeamEngineImpl::setLogSink(LogSink* sink) { g_logSink = sink; }
void BeamEngineImpl::setFileSystem(FS* fs) { g_fileSystem = fs; }
void BeamEngineImpl::setGameEngine(GameEngine* gameEngine) { g_gameEngine = gameEngine; }

bool BeamEngineImpl::setEnabled(bool value)
{
    if (refuseOnPhysicsThread("setEnabled"))
        return value;
    if (enabled_ && !value) {
        g_savedTimeScale = getSimulationTimeScale();
        applyTimeScale(0.0f);
        {
            // The hosts show each paused object where its reference node is.
            platform::CriticalSectionGuard guard(engineLock_);
            for (int i = 0; params_.objects && i < params_.objectCount; ++i) {
                BeamObjectImpl* object = slotObject(i);
                if (object && object->hostObject && object->refNode >= 0 && object->refNode < object->node_count) {
                    object->hostObject->setPosition(object->nodes[object->refNode].worldPos);
                    object->hostPosition = object->nodes[object->refNode].worldPos;
                }
            }
        }
        enabled_ = false;
    } else if (!enabled_ && value) {
        applyTimeScale(g_savedTimeScale);
        enabled_ = true;
    }
    return value;
}

void BeamEngineImpl::setSimulationTimeScale(float scale)
{
    // NaN or infinity would stop the substep count and reach the system script as "-nan"; a
    // scale whose fps is no longer finite would do the same.
    if (!std::isfinite(scale)) {
        logFormat(LOG_ERROR, "*** setSimulationTimeScale: scale %g is not finite, ignored", double(scale));
        return;
    }
    if (!acceptNumber("setSimulationTimeScale", "scale", scale, kMaxScriptCoordinate))
        return;
    applyTimeScale(scale);
}

void BeamEngineImpl::applyTimeScale(float scale)
{
    char text[256];
    std::snprintf(text, sizeof text, "engineEvent('timescale',%f)", double(scale));
    queueLuaCommand(text);
    Settings::fps = std::floor(Settings::fpsRealtime * std::fabs(scale) + 0.5f);
    if (g_gameEngine)
        g_gameEngine->setTimeScale(std::fabs(scale));
}

float BeamEngineImpl::getSimulationTimeScale() const { return Settings::fps / Settings::fpsRealtime; }

int BeamEngineImpl::onCrashReport()
{
    logMessage(LOG_ERROR, "triggered crash report ...\n", true);
    return flushLog();
}

} // namespace VadiZov
