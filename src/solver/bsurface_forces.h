// The object's surface in the substep: gas pressure inside closed triangle groups and the drag
// of air or water on every collision triangle. Pressures come from the areas the triangle step
// summed in the previous substep, so the group step runs first.
#pragma once

namespace VadiZov {

class BeamObjectImpl;

// Below this summed (doubled) area a group counts as collapsed: its pressure, which grows with
// area^-1.5, would be unbounded, so the group pushes nothing until it opens again.
constexpr float kCollapsedGroupArea = 1e-6f;
// A node in a medium at least this dense is under water.
constexpr float kWaterDensity = 578.0f;

// Pressure of every group from its last summed area; the sums start again at 0.
void updatePressureGroups(BeamObjectImpl& object);
// Per unbroken triangle: reciprocal normal length and unit normal (stored for triangle
// contact), the group's pressure against the outside, and drag on the normal motion.
void applyTriangleSurfaceForces(BeamObjectImpl& object);

} // namespace VadiZov
