#include "contact/bcontact_particles.h"

#include "object/bobject_records.h"

namespace VadiZov {

void emitContactParticle(BeamObjectRecords& object, int id1, int materialID1, int materialID2, const float3* position,
                         const float3* normal, const float3* nodeVelocity, float perpendicularVel, float slipVel,
                         float slipForce, float depth, float normalForce)
{
    // Contact particles carry no width or count of their own: both reach Lua as 0.
    particleData p{};
    p.id1 = id1;
    p.pos = *position;
    p.normal = *normal;
    p.nodeVel = *nodeVelocity;
    p.perpendicularVel = perpendicularVel;
    p.slipVel = slipVel;
    p.slipForce = slipForce;
    p.materialID1 = materialID1;
    p.materialID2 = materialID2;
    p.depth = depth;
    p.normalForce = normalForce;
    object.frameQueues.contactParticles.push_back(p);
}

} // namespace VadiZov
