// The object's once-per-frame Lua update on the host thread, and the command queue through which
// the host and scripts hand Lua chunks to the object.
#include <string>
#include <utility>
#include <vector>

#include "object/bobject_debug_drawer.h"
#include "object/bobject_engine.h"
#include "base/bconstants.h"
#include "base/bglobals.h"
#include "base/blifetime.h"
#include "base/blog.h"
#include "base/bscript_values.h"
#include "lua/blua.h"
#include "object/bobject.h"
#include "object/bobject_attachments.h"
#include "object/bobject_lua_script.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

constexpr const char* kCommandChunk = "string";
constexpr const char* kResultChunk = "object";

void logCallbackError(bool succeeded, const std::string& error)
{
    if (!succeeded)
        logMessage(LOG_ERROR, error.c_str(), true);
}

// Appends the Lua half to what still waits in the send half (normally nothing), so a frame whose
// graphics update did not run loses nothing and keeps the order.
template <class T>
void handOver(TwoHalfQueue<T>& queue)
{
    queue.luaHalfBytes = 0;
    if (queue.sendHalf.empty()) {
        queue.swapHalves();
        return;
    }
    for (T& entry : queue.luaHalf)
        queue.sendHalf.push_back(std::move(entry));
    queue.luaHalf.clear();
}

// Lua text quoted as a Lua string literal, the way string.format's %q writes it.
std::string quotedLuaString(const char* text)
{
    std::string out = "\"";
    for (const char* c = text; *c; ++c) {
        switch (*c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += *c; break;
        }
    }
    out += '"';
    return out;
}

} // namespace

void BeamObjectImpl::importPersistentData(const char* data)
{
    if (!data)
        return;
    // Quoted, so quotes and line breaks in the data stay data.
    const std::string chunk = "importPersistentData(" + quotedLuaString(data) + ")";
    queueLuaCommand(chunk.c_str(), false);
}

int BeamObjectImpl::updateLua(float dt)
{
    ObjectEngine* engine = engine_;
    if (engine)
        engine->enterObjectLua();

    applyPendingResets();
    runLuaCommands();
    runDebugDraw();

    int result = 0;
    if (engine && !engine->getEnabled()) {
        Lua& state = lua();
        if (state.state())
            state.updateCore();
        result = 1;
    } else {
        stepGraphicsLua(dt);
        deliverActivation();
        sendTireMarks();
        emitContactParticles();
        updateAttachedSounds();
        hideBrokenMeshTriangles(*this);
    }

    if (engine && engine->leaveObjectLua(this))
        return 1;  // this object's own Lua deleted it
    return result;
}

// The queue is taken out before it runs: a command that queues another one adds it to the next
// frame's batch instead of having it dropped with this one.
void BeamObjectImpl::runLuaCommands()
{
    std::vector<std::pair<std::string, bool>> commands;
    if (!destroyed_) {
        platform::CriticalSectionGuard guard(lock_);
        commands.swap(luaCommands);
        luaCommandBytes = 0;
    }
    if (commands.empty())
        return;
    Lua& state = lua();
    luaResults.clear();
    // The results live outside Lua's memory cap until the next batch: bounded like the queue.
    size_t resultBytes = 0;
    for (const auto& [text, wantResult] : commands) {
        if (!wantResult) {
            state.executeChunk(text.data(), text.size(), kCommandChunk);
            continue;
        }
        std::string result;
        if (state.executeChunk(text.data(), text.size(), kResultChunk, &result) != 0)
            continue;
        if (!roomForBytes("queueLuaCommand", resultBytes, result.size(), kMaxQueuedLuaCommandBytes, "command results"))
            result.clear();
        resultBytes += result.size();
        luaResults.push_back(std::move(result));
    }
}

// While drawing is on, the collector starts each frame empty and the script draws it anew.
void BeamObjectImpl::runDebugDraw()
{
    if (!debugDrawProxy || !debugDrawProxy->enabled)
        return;
    debugDrawProxy->clear();
    std::string error;
    logCallbackError(luaScript().debugDraw(error), error);
}

void BeamObjectImpl::stepGraphicsLua(float dt)
{
    std::string error;
    logCallbackError(luaScript().graphicsStep(dt, error), error);
    handOver(frameQueues.javaScript);
    handOver(frameQueues.sounds);
}

void BeamObjectImpl::deliverActivation()
{
    if (pendingActivation == -1)
        return;
    const int value = pendingActivation;
    pendingActivation = -1;
    std::string error;
    logCallbackError(luaScript().activated(value, error), error);
    activationMode = value;
}

// Without a host object nobody takes the marks: they are dropped rather than piled up.
void BeamObjectImpl::sendTireMarks()
{
    if (hostObject) {
        for (const TireMark& mark : frameQueues.tireMarks)
            hostObject->addTireMark(&mark.position, &mark.normal, mark.intensity);
    }
    frameQueues.tireMarks.clear();
}

void BeamObjectImpl::emitContactParticles()
{
    hostParticles.clear();
    // What physicsStep added during the last frame, kept aside while the host could read its list.
    std::vector<HostParticle>& fromPhysics = frameQueues.particlesFromPhysics;
    hostParticles.insert(hostParticles.end(), fromPhysics.begin(), fromPhysics.end());
    fromPhysics.clear();
    LuaObjectScript& script = luaScript();
    std::string error;
    std::vector<particleData>& particles = frameQueues.contactParticles;
    for (particleData& particle : particles) {
        particle.particleType = -1;
        if (particle.materialID2 > particle.materialID1)
            std::swap(particle.materialID1, particle.materialID2);
        logCallbackError(script.particleEmitted(particle, error), error);
    }
    particles.clear();
}

// Drops sources a script deleted or the host has invalidated and moves the others to their node.
void BeamObjectImpl::updateAttachedSounds()
{
    std::vector<AttachedSound>& sounds = frameQueues.attachedSounds;
    size_t kept = 0;
    for (size_t i = 0; i < sounds.size(); ++i) {
        SFXSource* source = sounds[i].source;
        if (sounds[i].serial != 0 && !isAlive(source, sounds[i].serial))
            continue;  // deleted: the host may have freed it
        if (!source->isValid())
            continue;
        sounds[kept++] = sounds[i];
        const int node = sounds[i].node;
        if (node < 0 || node >= kMaxNodes)
            continue;
        const float3& p = nodes[node].worldPos;
        const float3& v = nodes[node].vel;
        source->setPosition(Vector3{p.x, p.y, p.z});
        source->setVelocity(Vector3{v.x, v.y, v.z});
    }
    sounds.resize(kept);
}

} // namespace VadiZov
