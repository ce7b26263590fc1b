// The lines velkor-host prints after its last frame, gathered only through the library's public
// interface: frames run, substeps simulated, status texts 1 and 3, the reference node's position,
// and the lines the object's script reports about itself when it defines a `summary` function.
#pragma once

#include <cstdio>

#include "velkor/velkor.h"

namespace VadiZov::host {

class RunSummary {
public:
    // After each BeamEngine::update: counts the frame and the substeps it released.
    void afterFrame(BeamEngine& engine);
    // Before the last frame: the command runs in that frame's Lua update, and its result stays
    // readable after it.
    void askScript(BeamObject* object);
    // object is null once the engine deleted it, in the frame deletedAtFrame (0: never).
    void print(std::FILE* out, BeamEngine& engine, BeamObject* object, const float3* hostPosition,
               int deletedAtFrame) const;

    int frames() const { return frames_; }
    long long substeps() const { return substeps_; }
    // Simulated time of the substeps counted so far.
    double simulatedSeconds() const { return double(substeps_) * kSubstepSeconds; }
    static constexpr double kSubstepSeconds = 0.0005;

private:
    int frames_ = 0;
    long long substeps_ = 0;
    int scriptResult_ = -1;
};

} // namespace VadiZov::host
