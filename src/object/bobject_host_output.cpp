#include "object/bobject_host_output.h"

#include <cstring>
#include <utility>
#include <vector>

#include "base/bglobals.h"
#include "base/blifetime.h"
#include "base/blog.h"
#include "base/bmath.h"
#include "base/bscript_values.h"
#include "object/bobject.h"
#include "object/bobject_attachments.h"
#include "base/bphysics_thread.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

// Runs every entry of the send half. The half is taken out first and its storage put back
// afterwards, so whatever lands in the queue meanwhile waits for the next frame.
template <class T, class Send>
void sendAll(std::vector<T>& half, Send send)
{
    std::vector<T> sending;
    sending.swap(half);
    for (T& entry : sending)
        send(entry);
    sending.clear();
    if (half.empty())
        half.swap(sending);
}

// A sound a script deleted is skipped; one the library got from the host (serial 0) is the
// host's to invalidate.
bool soundAlive(SFXSource* source, uint64_t serial) { return source && (serial == 0 || isAlive(source, serial)); }

// On a physics thread the host may be reading its list: the particle waits in the object's own
// list until the next Lua update.
void queueHostParticle(BeamObjectImpl& object, const char* member, const HostParticle& particle)
{
    const bool fromPhysics = onPhysicsThread();
    std::vector<HostParticle>& list = fromPhysics ? object.frameQueues.particlesFromPhysics : object.hostParticles;
    if (!roomFor(member, list.size(), kMaxHostParticles, "particles"))
        return;
    list.push_back(particle);
}

bool queueSoundAction(BeamObjectImpl& object, const char* member, SFXAction action)
{
    TwoHalfQueue<SFXAction>& queue = object.frameQueues.sounds;
    const size_t bytes = action.name.size();
    if (!roomFor(member, queue.luaHalf.size(), kMaxQueuedSoundActions, "queued sound actions") ||
        !roomForBytes(member, queue.luaHalfBytes, bytes, kMaxQueuedSoundNameBytes, "queued sound names"))
        return false;
    queue.luaHalf.push_back(std::move(action));
    queue.luaHalfBytes += bytes;
    return true;
}

void attachSound(BeamObjectImpl& object, const char* member, SFXSource* source, int node, uint64_t serial)
{
    std::vector<AttachedSound>& sounds = object.frameQueues.attachedSounds;
    if (roomFor(member, sounds.size(), kMaxAttachedSounds, "attached sounds"))
        sounds.push_back({source, node, serial});
}

void queueParticleByNodes(BeamObjectImpl& object, const char* member, int from, int to, float speed, int type,
                          float width, int count, bool relative)
{
    if (!object.validNode(from) || !object.validNode(to) || count == 0)
        return;
    if (!acceptNumber(member, "speed", speed, kMaxScriptCoordinate) || !acceptNumber(member, "width", width))
        return;
    const NodeCore& start = object.nodes[from];
    const float3 d = object.nodes[to].pos - start.pos;
    const float squared = d.squaredLength();
    // Two nodes at one place give no direction: the particle then only gets the node's velocity.
    const float3 direction = squared > 0.0f ? d * approxRsqrt(squared) : float3();
    float3 velocity = direction * speed;
    if (relative)
        velocity = start.vel + velocity;
    HostParticle p{};
    p.particleType = type;
    p.position[0] = start.worldPos.x;
    p.position[1] = start.worldPos.y;
    p.position[2] = start.worldPos.z;
    p.velocity[0] = velocity.x;
    p.velocity[1] = velocity.y;
    p.velocity[2] = velocity.z;
    p.width = width;
    p.count = count;
    queueHostParticle(object, member, p);
}

} // namespace

void BeamObjectImpl::updateGraphics(float)
{
    GameEngine* gameEngine = g_gameEngine;
    sendAll(frameQueues.javaScript.sendHalf, [&](const JavaScriptCommand& command) {
        if (gameEngine)
            gameEngine->executeJS(command.script.c_str(), command.value);
    });
    sendAll(frameQueues.sounds.sendHalf, [&](const SFXAction& action) {
        switch (action.kind) {
        case SFX_SET_VOLUME:
            if (soundAlive(action.source, action.serial))
                action.source->setVolume(action.value1);
            break;
        case SFX_SET_PITCH:
            if (soundAlive(action.source, action.serial))
                action.source->setPitch(action.value1);
            break;
        case SFX_PLAY_ONCE: {
            SFXSource* source = gameEngine ? gameEngine->playSFXOnce(action.name.c_str()) : nullptr;
            if (!source || action.value1 == 0.0f)
                break;  // a silent one-shot keeps the game engine's settings and follows no node
            source->setVolume(action.value1);
            if (action.value2 != 0.0f)
                source->setPitch(action.value2);
            attachSound(*this, "playSFXOnce", source, action.node, 0);
            break;
        }
        case SFX_ATTACH:
            if (soundAlive(action.source, action.serial) && validNode(action.node))
                attachSound(*this, "attachSFXNode", action.source, action.node, action.serial);
            break;
        default:
            break;
        }
    });
    updateFlexmeshes(*this);
    updateProps(*this);
}

// While the engine is paused, or on an object that is never updated, nothing sends the queue.
void executeJS(BeamObjectImpl& object, const char* script, int value)
{
    TwoHalfQueue<JavaScriptCommand>& queue = object.frameQueues.javaScript;
    const size_t bytes = script ? std::strlen(script) : 0;
    if (!roomFor("executeJS", queue.luaHalf.size(), kMaxQueuedJavaScript, "queued commands") ||
        !roomForBytes("executeJS", queue.luaHalfBytes, bytes, kMaxQueuedJavaScriptBytes, "queued commands"))
        return;
    queue.luaHalf.push_back({script ? script : "", value});
    queue.luaHalfBytes += bytes;
}

void setVolume(BeamObjectImpl& object, SFXSource* source, float volume)
{
    if (source && acceptNumber("setVolume", "volume", volume))
        queueSoundAction(object, "setVolume", {source, SFX_SET_VOLUME, volume, 0.0f, 0, {}, lifetimeSerial(source)});
}

void setPitch(BeamObjectImpl& object, SFXSource* source, float pitch)
{
    if (source && acceptNumber("setPitch", "pitch", pitch))
        queueSoundAction(object, "setPitch", {source, SFX_SET_PITCH, pitch, 0.0f, 0, {}, lifetimeSerial(source)});
}

void playSFXOnce(BeamObjectImpl& object, const char* name, int node, float volume, float pitch)
{
    if (!name)
        return;
    if (!object.validNode(node)) {
        logMessage(LOG_ERROR, "*** playSFXOnce: invalid nodeId", true);
        return;
    }
    if (!acceptNumber("playSFXOnce", "volume", volume) || !acceptNumber("playSFXOnce", "pitch", pitch) ||
        !roomForOneShotSound("playSFXOnce"))
        return;
    queueSoundAction(object, "playSFXOnce", {nullptr, SFX_PLAY_ONCE, volume, pitch, node, name, 0});
}

// From physicsStep the attachment is handed to the host thread with the frame's sound actions.
void attachSFXNode(BeamObjectImpl& object, SFXSource* source, int node)
{
    if (!source || !object.validNode(node))
        return;
    if (onPhysicsThread())
        queueSoundAction(object, "attachSFXNode", {source, SFX_ATTACH, 0.0f, 0.0f, node, {}, lifetimeSerial(source)});
    else
        attachSound(object, "attachSFXNode", source, node, lifetimeSerial(source));
}

int setupForceFeedback(BeamObjectImpl&, const char* config)
{
    return g_gameEngine ? g_gameEngine->setupForceFeedback(config) : -1;
}

void sendForceFeedback(BeamObjectImpl&, int channel, float value)
{
    if (g_gameEngine && acceptNumber("sendForceFeedback", "value", value))
        g_gameEngine->sendForceFeedback(channel, value);
}

const char* getForceFeedbackConfig(BeamObjectImpl&, int channel)
{
    return g_gameEngine ? g_gameEngine->getForceFeedbackConfig(channel) : nullptr;
}

void addParticle(BeamObjectImpl& object, const particleData& particle)
{
    constexpr const char* kMember = "addParticle";
    if (!acceptVector(kMember, "pos", particle.pos) || !acceptVector(kMember, "normal", particle.normal) ||
        !acceptVector(kMember, "nodeVel", particle.nodeVel) || !acceptNumber(kMember, "width", particle.width))
        return;
    HostParticle p{};
    p.particleType = particle.particleType;
    p.position[0] = particle.pos.x;
    p.position[1] = particle.pos.y;
    p.position[2] = particle.pos.z;
    p.normal[0] = particle.normal.x;
    p.normal[1] = particle.normal.y;
    p.normal[2] = particle.normal.z;
    p.velocity[0] = particle.nodeVel.x;
    p.velocity[1] = particle.nodeVel.y;
    p.velocity[2] = particle.nodeVel.z;
    p.width = particle.width;
    p.count = particle.count;
    queueHostParticle(object, kMember, p);
}

void addParticleByNodes(BeamObjectImpl& object, int from, int to, float speed, int type, float width, int count)
{
    queueParticleByNodes(object, "addParticleByNodes", from, to, speed, type, width, count, false);
}

void addParticleByNodesRelative(BeamObjectImpl& object, int from, int to, float speed, int type, float width,
                                int count)
{
    queueParticleByNodes(object, "addParticleByNodesRelative", from, to, speed, type, width, count, true);
}

} // namespace VadiZov
