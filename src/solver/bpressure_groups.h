// Pressure groups in the substep: the gas inside each closed group of collision triangles
// pushes every triangle of the group outwards. A group's pressure comes from the area its
// triangles summed in the previous substep, so the group step runs before the triangle step
// (bsurface_forces.h), which calls pressTriangle for each triangle of a group.
#pragma once

#include <algorithm>
#include <cstddef>

#include "base/bmath.h"
#include "object/bobject_records.h"
#include "solver/bsubstep_context.h"

namespace VadiZov {

// Below this summed (doubled) area a group counts as collapsed: its pressure, which grows with
// area^-1.5, would be unbounded, so the group pushes nothing until it opens again.
constexpr float kCollapsedGroupArea = 1e-6f;
// A node in a medium at least this dense is under water.
constexpr float kWaterDensity = 578.0f;

// Pressure of every group from its last summed area; the sums start again at 0.
void updatePressureGroups(BeamObjectRecords& object, SubstepContext& context);

// Per metre: the air's pressure falls off with altitude as its density does.
constexpr float kAltitudeFalloff = -0.00011855832f;

// The pressure on a node from outside: air by altitude, or water by depth below its surface.
inline float outsidePressure(const PressureGroup& g, const NodeCore& node, const NodeProperties& props)
{
    if (props.mediumDensity < kWaterDensity)
        return fastExp(kAltitudeFalloff * std::max(node.worldPos.z, 0.0f)) * g.ambient;
    const float depth = std::max(props.waterSurfaceZ - node.worldPos.z, 0.0f);
    return g.hydroFactor * props.mediumDensity * depth + fastExp(kAltitudeFalloff * props.waterSurfaceZ) * g.ambient;
}

// The triangle's part of its group: its doubled area (n . n times s, n its normal as long as
// twice its area, s the reciprocal of that length) joins the group's sum, and while the group
// is open each corner gets the group's pressure against the outside along n. A triangle without
// a group (negative, or past the list) does nothing.
inline void pressTriangle(BeamObjectRecords& object, const SubstepContext& context, const CollisionTriangle& t,
                          const float3& n, float s)
{
    const size_t group = size_t(t.pressureGroup);  // a negative group wraps past the end
    if (group >= object.pressureGroups.size())
        return;
    PressureGroup& g = object.pressureGroups[group];
    g.area += n.dot(n) * s;
    if (group >= context.collapsedGroups.size() || context.collapsedGroups[group])
        return;
    for (const int c : {t.node1, t.node2, t.node3}) {
        const float po = outsidePressure(g, object.nodes[c], object.nodeProperties[c]);
        object.nodes[c].force += n * (g.pressure - po);
    }
}

} // namespace VadiZov
