// The particles the contact code leaves for the object's script (particleEmitted) and the host.
#pragma once

#include "velkor/types.h"

namespace VadiZov {

struct BeamObjectRecords;

// Queues the contact's record on the object (core thread, during a frame); the object's next Lua
// update hands it to the script.
void emitContactParticle(BeamObjectRecords& object, int id1, int materialID1, int materialID2, const float3* position,
                         const float3* normal, const float3* nodeVelocity, float perpendicularVel, float slipVel,
                         float slipForce, float depth, float normalForce);

} // namespace VadiZov
