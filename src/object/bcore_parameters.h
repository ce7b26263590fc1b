// The block every physics thread reads: written by the frame step on the host thread while the
// physics threads are idle, published to them by the go events. The physics threads see the
// objects as their records only (bobject_records.h).
#pragma once

#include <cstdint>

namespace VadiZov {

struct BeamObjectRecords;
class StaticCollider;
class TerrainBlock;

struct core_parameters_t {
    BeamObjectRecords** objects = nullptr;  // the engine's object slots; a null entry is an empty slot
    int objectCount = 0;
    bool objectsChanged = false;  // the worker rebuilds its core threads, then clears it
    bool lastSubstep = false;
    int16_t renderBuffer = 0;     // render buffer the last substep writes
    float frameTime = 0.0f;       // substeps x dt
    float dt = 0.0f;              // 0 in a frame without substeps
    float invDt = 0.0f;
    int substeps = 0;
    int currentSubstep = 0;
    float contactRampFront = 0.0f;
    float contactRampBack = 0.0f;
    bool noWait = true;  // no frame was started, so the frame step must not wait for one
    // The engine's static geometry and terrain, for ground contact; null: no such contact.
    const StaticCollider* collider = nullptr;
    const TerrainBlock* terrain = nullptr;
};

} // namespace VadiZov
