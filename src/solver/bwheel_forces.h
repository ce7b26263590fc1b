// Wheels in the substep: the driving torque and the brake become tangential forces on the
// wheel's nodes, with the brake's reaction on the body; the wheel's spin is measured.
#pragma once

namespace VadiZov {

struct BeamObjectRecords;

// Windup at which the brake spring reaches its full capacity.
constexpr float kBrakeWindupLimit = 0.1f;

void applyWheelForces(BeamObjectRecords& object, float dt);

} // namespace VadiZov
