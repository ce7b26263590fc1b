// The lines velkor-host prints after its last frame, gathered only through the library's public
// interface: frames run, substeps simulated, status texts 1 and 3, the reference node's position.
#pragma once

#include <cstdio>

#include "velkor/velkor.h"

namespace VadiZov::host {

class RunSummary {
public:
    // After each BeamEngine::update: counts the frame and the substeps it released.
    void afterFrame(BeamEngine& engine);
    void print(std::FILE* out, BeamEngine& engine, BeamObject* object, const float3* hostPosition) const;

    int frames() const { return frames_; }
    long long substeps() const { return substeps_; }

private:
    int frames_ = 0;
    long long substeps_ = 0;
};

} // namespace VadiZov::host
