// The stick and slip law of a node on a surface, as ground contact and triangle contact both
// apply it with the surface's ground model. frictionBase is the model's strength times the
// normal force times the node's own friction.
#pragma once

#include "base/bconstants.h"
#include "base/bmath.h"
#include "ground/bground_models.h"
#include "velkor/types.h"

namespace VadiZov {

// Static friction holds the node while the force that would stop its slip in this substep stays
// within the static limit.
inline bool frictionSticks(const groundModel& g, float frictionBase, const float3& stopForce)
{
    const float staticLimit = g.staticFrictionCoefficient * frictionBase;
    return staticLimit * staticLimit > stopForce.squaredLength();
}

// Past the static limit the node slides: friction per unit of slip speed s, falling from the
// static towards the sliding coefficient as s passes the Stribeck speed, plus the hydrodynamic
// term. q is s over the Stribeck speed, which each contact computes its own way.
inline float slidingFriction(const groundModel& g, float frictionBase, float s, float q)
{
    const float stribeck = fastExp(-(q * q));
    return ((g.staticFrictionCoefficient - g.slidingFrictionCoefficient) * stribeck + g.slidingFrictionCoefficient) *
               frictionBase / (s + kLengthEpsilon) +
           g.hydrodynamicFriction;
}

} // namespace VadiZov
