#include "bengine.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "bglobals.h"
#include "blog.h"
#include "bsettings.h"
#include "platform/perf_counter.h"

namespace VadiZov {

namespace {
constexpr unsigned kLockSpinCount = 1024;
constexpr int kSlotCount = 1;  // this build keeps one object slot
} // namespace

BeamEngineImpl::BeamEngineImpl()
{
    restartFrameTimer();
}

BeamEngineImpl::~BeamEngineImpl()
{
    // Lua-made engines are destroyed without teardown; the locks are theirs to free either way.
    delete engineLock_;
    delete queueLock_;
    delete[] params_.objects;
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
    engineLock_ = new (std::nothrow) platform::CriticalSection(kLockSpinCount);
    if (!engineLock_)
        reportWin32Error("VadiZov::BeamEngine::init", "bengine", 63);

    params_.objects = new (std::nothrow) BeamObjectImpl*[kSlotCount]();
    if (!params_.objects)
        return;
    params_.objectCount = 0;

    g_engine = this;

    queueLock_ = new (std::nothrow) platform::CriticalSection(kLockSpinCount);
    if (!queueLock_)
        reportWin32Error("VadiZov::BeamEngine::init", "bengine", 83);

    logMessage(LOG_ALWAYS, " *******************", true);
    logMessage(LOG_ALWAYS, " *** SOLVANTE v2 ***", true);
    logMessage(LOG_ALWAYS, " *******************", true);
}

void BeamEngineImpl::teardown()
{
    deleteAllObjects();
    delete[] params_.objects;
    params_.objects = nullptr;
    if (g_engine == this)
        g_engine = nullptr;
    delete engineLock_;
    engineLock_ = nullptr;
    delete queueLock_;
    queueLock_ = nullptr;
}

void BeamEngineImpl::update(float)
{
    restartFrameTimer();
    graphicsBuffer_ = params_.renderBuffer;
    int64_t now = 0;
    platform::queryPerformanceCounter(&now);
    if (ticksPerMs_ > 0.0)
        frameDelayMs_ = float(double(now - frameStart_) / ticksPerMs_);
}

void BeamEngineImpl::reset(HostObject*) {}

void BeamEngineImpl::queueLuaFile(const char* path)
{
    platform::CriticalSectionGuard guard(queueLock_);
    queuedFiles_.emplace_back(path ? path : "");
}

void BeamEngineImpl::queueLuaCommand(const char* text)
{
    platform::CriticalSectionGuard guard(queueLock_);
    queuedCommands_.emplace_back(text ? text : "");
}

void BeamEngineImpl::reloadLua() { reloadLua_ = true; }

BeamObject* BeamEngineImpl::addObject(const char*, float, float, float, float, float, float, float, HostObject*)
{
    return nullptr;
}

void BeamEngineImpl::removeObject(BeamObject*) {}

void BeamEngineImpl::deleteAllObjects() {}

FilePure* BeamEngineImpl::openLogFile(const char* path) { return VadiZov::openLogFile(path); }

void BeamEngineImpl::setLogSink(LogSink* sink) { g_logSink = sink; }
void BeamEngineImpl::setFileSystem(FS* fs) { g_fileSystem = fs; }
void BeamEngineImpl::setGameEngine(GameEngine* gameEngine) { g_gameEngine = gameEngine; }

bool BeamEngineImpl::setEnabled(bool value)
{
    if (enabled_ && !value) {
        g_savedTimeScale = getSimulationTimeScale();
        setSimulationTimeScale(0.0f);
        enabled_ = false;
    } else if (!enabled_ && value) {
        setSimulationTimeScale(g_savedTimeScale);
        enabled_ = true;
    }
    return value;
}

void BeamEngineImpl::setSimulationTimeScale(float scale)
{
    char text[256];
    std::snprintf(text, sizeof text, "engineEvent('timescale',%f)", double(scale));
    queueLuaCommand(text);
    Settings::fps = std::floor(Settings::fpsRealtime * std::fabs(scale) + 0.5f);
    if (g_gameEngine)
        g_gameEngine->setTimeScale(std::fabs(scale));
}

float BeamEngineImpl::getSimulationTimeScale() const { return Settings::fps / Settings::fpsRealtime; }

int BeamEngineImpl::getStatusText(int, char*, int, BeamObject*) { return 0; }
void BeamEngineImpl::addStaticCollisionTriangle(float3, float3, float3) {}
void BeamEngineImpl::commitStaticCollision(bool) {}
void BeamEngineImpl::setTerrain(TerrainConfig*) {}
void BeamEngineImpl::clearTerrain() {}
int BeamEngineImpl::setTerrainPosition(float, float, float) { return 0; }
void BeamEngineImpl::renderObjectDebug(HostDebugDraw*, float3, BeamObject*) {}
const char* BeamEngineImpl::getObjectPersistentData(HostObject*) { return nullptr; }

int BeamEngineImpl::onCrashReport()
{
    logMessage(LOG_ERROR, "triggered crash report ...\n", true);
    return flushLog();
}

} // namespace VadiZov
