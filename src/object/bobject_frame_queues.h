// What an object's script asks of the host during a frame (JavaScript, sound actions, particles)
// and what the contact code leaves for the script and the host (contact particles, tire marks).
// Lua fills the queues; the object's per-frame Lua update and graphics update hand them over at
// fixed points. Emptying a list keeps its storage, so a steady stream does not reallocate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "velkor/types.h"
#include "velkor/velkor.h"

namespace VadiZov {

class SFXSource;

// A contact or script particle as scripts see it (particleEmitted, addParticle). Every field
// is four bytes wide.
struct particleData {
    int32_t id1;  // the node
    float3 pos;
    float3 normal;
    float3 nodeVel;
    float perpendicularVel;
    float slipVel;
    float slipForce;
    int32_t materialID1;
    int32_t materialID2;
    int32_t particleType;
    float width;
    int32_t count;
    float depth;
    float normalForce;
};

struct JavaScriptCommand {
    std::string script;
    int value = 0;
};

// SFX_ATTACH is the library's own: attachSFXNode called from physicsStep, handed to the host
// thread, which alone touches the attached-sound list while a frame runs.
enum SFXActionKind : int { SFX_SET_VOLUME = 0, SFX_SET_PITCH = 1, SFX_PLAY_ONCE = 2, SFX_ATTACH = 3 };

// A sound a script handed over carries the serial its Lua value was given (0 for one the
// library got from the host itself): once the script deleted it, the entry is skipped.
struct SFXAction {
    SFXSource* source = nullptr;  // null for SFX_PLAY_ONCE
    int kind = SFX_SET_VOLUME;
    float value1 = 0.0f;  // volume or pitch; SFX_PLAY_ONCE: volume
    float value2 = 0.0f;  // SFX_PLAY_ONCE: pitch
    int node = 0;         // SFX_PLAY_ONCE, SFX_ATTACH: the node the sound follows
    std::string name;     // SFX_PLAY_ONCE: the sound
    uint64_t serial = 0;
};

struct AttachedSound {
    SFXSource* source;
    int node;
    uint64_t serial = 0;
};

struct TireMark {
    float3 position;
    float3 normal;
    float intensity;
};

// A queue in two halves: Lua appends to one while the other waits to be sent. The per-frame Lua
// update swaps them once Lua's graphicsStep is done.
template <class T>
struct TwoHalfQueue {
    std::vector<T> luaHalf;
    std::vector<T> sendHalf;
    size_t luaHalfBytes = 0;  // the text the Lua half holds (scripts, sound names)
    void swapHalves() { luaHalf.swap(sendHalf); }
};

struct ObjectFrameQueues {
    TwoHalfQueue<JavaScriptCommand> javaScript;
    TwoHalfQueue<SFXAction> sounds;
    std::vector<AttachedSound> attachedSounds;
    std::vector<particleData> contactParticles;
    std::vector<TireMark> tireMarks;
    // Particles physicsStep added while the host may be reading the host list: they join it at
    // the next Lua update, after it was emptied.
    std::vector<HostParticle> particlesFromPhysics;
};

} // namespace VadiZov
