// Slide nodes in the substep: a spring with slack holds each attached node on its rail
// segment, carries it from segment to segment as it travels, holds it at stop links and at
// corners, and lets it go when the force reaches its limit or it runs off an open rail.
#pragma once

namespace VadiZov {

struct BeamObjectRecords;

void applySlideNodeForces(BeamObjectRecords& object);

} // namespace VadiZov
