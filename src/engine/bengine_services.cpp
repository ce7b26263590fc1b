// What the engine answers besides stepping: status texts, the persistent data of objects and of
// the game ("saves.json"), and debug rendering of one object.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/bglobals.h"
#include "base/blog.h"
#include "debug/bdebug_collector.h"
#include "engine/bengine.h"
#include "ground/bground_models.h"
#include "object/bobject.h"
#include "platform/last_error.h"
#include "platform/path_below.h"
#include "base/bphysics_thread.h"

namespace VadiZov {

namespace {

constexpr const char* kPersistentDataFile = "saves.json";
// Saves are small texts; anything larger is not one (and a device would never end).
constexpr uint64_t kMaxPersistentDataBytes = uint64_t(64) << 20;

// A missing file is the normal first run and stays silent; anything else names its cause.
void reportPersistentDataRefusal(const char* action)
{
    const int error = platform::getLastError();
    if (error == ENOENT)
        return;
    logFormat(LOG_ERROR, "cannot %s %s: it %s", action, kPersistentDataFile, platform::refusalText(error).c_str());
}

// Copies at most size characters of text (length characters long). The result is the text's
// length when it fits, else -1 (the buffer then holds as much as fits). The text is terminated
// whenever a character is left.
int copyBounded(char* buffer, int size, const char* text, int length, bool minusOneWhenCut)
{
    if (!buffer || size <= 0)
        return minusOneWhenCut && length > 0 ? -1 : length;
    const int written = length < size ? length : size;
    std::memcpy(buffer, text, size_t(written));
    if (written < size)
        buffer[written] = '\0';
    if (minusOneWhenCut && length > size)
        return -1;
    return length;
}

// A status text, cut at 511 characters. Kept on the stack: the host asks for it every frame.
struct StatusText {
    char text[512];
    int length;
};

StatusText format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
StatusText format(const char* fmt, ...)
{
    StatusText out;
    va_list args;
    va_start(args, fmt);
    const int length = std::vsnprintf(out.text, sizeof out.text, fmt, args);
    va_end(args);
    out.length = length < 0 ? 0 : (size_t(length) < sizeof out.text ? length : int(sizeof out.text) - 1);
    return out;
}

int copyBounded(char* buffer, int size, const StatusText& text, bool minusOneWhenCut)
{
    return copyBounded(buffer, size, text.text, text.length, minusOneWhenCut);
}

} // namespace

int BeamEngineImpl::getStatusText(int type, char* buffer, int size, BeamObject* object)
{
    switch (type) {
    case 0:
        return copyBounded(buffer, size, format("enabled: %s", enabled_ ? "yes" : "no"), true);
    case 1:
        return copyBounded(buffer, size,
                           format("FPS: %d, dts: %0.6f s, frame delay: %0.3f ms, %d steps", stepsLastSecond_,
                                  double(lastSubstepTime_), double(frameDelayMs_), params_.substeps),
                           true);
    case 3:
        return copyBounded(buffer, size, format("bodies: %d ", params_.objectCount), true);
    case 4:
        for (int slot = 0; object && params_.objects && slot < params_.objectCount; ++slot) {
            BeamObjectImpl* candidate = slotObject(slot);
            if (candidate && static_cast<BeamObject*>(candidate) == object)
                return copyBounded(buffer, size, candidate->debugString.data(), int(candidate->debugString.size()), false);
        }
        return 0;
    default:
        return 0;
    }
}

const char* BeamEngineImpl::getObjectPersistentData(HostObject* hostObject)
{
    if (!hostObject || !params_.objects)
        return nullptr;
    // The worker takes the engine lock only once it is scheduled, so a frame released a moment
    // ago may not hold it yet: wait for that frame itself, and the host never reads the object
    // before the physics it released has run. Inside an update the frame step does the waiting.
    if (!insideUpdate_ && objectLuaDepth_ == 0 && !onPhysicsThread())
        waitForPhysicsFrame();
    platform::CriticalSectionGuard guard(engineLock_);
    for (int slot = 0; slot < params_.objectCount; ++slot) {
        BeamObjectImpl* object = slotObject(slot);
        if (object && object->hostObject == hostObject)
            return object->persistentData.c_str();
    }
    return nullptr;
}

void BeamEngineImpl::renderObjectDebug(HostDebugDraw* draw, float3 focus, BeamObject* object)
{
    for (int slot = 0; object && params_.objects && slot < params_.objectCount; ++slot) {
        BeamObjectImpl* candidate = slotObject(slot);
        if (candidate && static_cast<BeamObject*>(candidate) == object) {
            // The views of the static collision and the terrain's ground models are this engine's.
            DebugWorld world;
            world.collider = collider_;
            world.terrain = terrain_;
            world.groundModels = &groundModelTable();
            world.gameEngine = g_gameEngine;
            candidate->renderDebug(draw, focus, world);
            return;
        }
    }
}

// A file written or read every substep would stall the frame; the buffer the read fills is the
// host thread's.
void BeamEngineImpl::setPersistentData(const char* text)
{
    if (refuseOnPhysicsThread("setPersistentData"))
        return;
    // Stored saves live in the working directory; a link or a non-file planted under the name
    // is not written through.
    FILE* file = platform::openFileBelow(".", kPersistentDataFile, "w");
    if (!file) {
        reportPersistentDataRefusal("write");
        return;
    }
    if (text)
        std::fwrite(text, 1, std::strlen(text), file);
    std::fclose(file);
}

const std::string* BeamEngineImpl::getPersistentData()
{
    if (refuseOnPhysicsThread("getPersistentData"))
        return nullptr;
    FILE* file = platform::openFileBelow(".", kPersistentDataFile, "r");
    if (!file) {
        reportPersistentDataRefusal("read");
        return nullptr;
    }
    // Read in text mode: only the bytes read are the text.
    const bool read = platform::readWholeFile(file, kMaxPersistentDataBytes, &persistentDataBuffer_);
    std::fclose(file);
    if (!read) {
        reportPersistentDataRefusal("read");
        return nullptr;
    }
    return &persistentDataBuffer_;
}

} // namespace VadiZov
