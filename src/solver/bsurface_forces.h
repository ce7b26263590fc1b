// The object's surface in the substep: for every collision triangle its unit normal (kept for
// triangle contact), its part of its pressure group (bpressure_groups.h) and the drag of air or
// water on its normal motion.
#pragma once

namespace VadiZov {

struct BeamObjectRecords;
struct SubstepContext;

// Per unbroken triangle: reciprocal normal length and unit normal (stored for triangle
// contact), the group's pressure against the outside, and drag on the normal motion.
void applyTriangleSurfaceForces(BeamObjectRecords& object, SubstepContext& context);

} // namespace VadiZov
