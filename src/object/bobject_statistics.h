// What scripts read about an object as a whole (centre of gravity, beam statistics), and the
// two texts the host reads back (persistent data, debug text).
#pragma once

#include "object/bobject_records.h"
#include "velkor/types.h"

namespace VadiZov {

class BeamObjectImpl;

// World position of the mass centre, optionally of the nodes that belong to no wheel.
float3 calcCenterOfGravity(const BeamObjectImpl& object, bool withoutWheels);
beamstats calcBeamStats(const BeamObjectImpl& object);

void setPersistentData(BeamObjectImpl& object, const char* text);
void setDebugString(BeamObjectImpl& object, const char* text);

} // namespace VadiZov
