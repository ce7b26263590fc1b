// The block every physics thread reads: written by the frame step on the host thread while the
// physics threads are idle, published to them by the go events.
#pragma once

namespace VadiZov {

class BeamObjectImpl;

struct core_parameters_t {
    BeamObjectImpl** objects = nullptr;  // the slot array
    int objectCount = 0;
    bool objectsChanged = false;
    bool lastSubstep = false;
    int renderBuffer = 0;
    float frameTime = 0.0f;
    float dt = 0.0f;
    float invDt = 0.0f;
    int substeps = 0;
    int currentSubstep = 0;
    float contactRampFront = 0.0f;
    float contactRampBack = 0.0f;
    bool noWait = true;  // the first frame has nothing to wait for
};

} // namespace VadiZov
