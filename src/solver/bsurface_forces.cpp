#include "solver/bsurface_forces.h"

#include <algorithm>
#include <cmath>

#include "base/bassert.h"
#include "base/bconstants.h"
#include "base/bmath.h"
#include "object/bobject.h"

namespace VadiZov {

namespace {

constexpr float kAltitudeFalloff = -0.00011855832f;  // per metre, as the air density uses
constexpr float kDragScale = 0.0833f;

float outsidePressure(const PressureGroup& g, const NodeCore& node, const NodeProperties& props)
{
    if (props.mediumDensity < kWaterDensity)
        return fastExp(kAltitudeFalloff * std::max(node.worldPos.z, 0.0f)) * g.ambient;
    const float depth = std::max(props.waterSurfaceZ - node.worldPos.z, 0.0f);
    return g.hydroFactor * props.mediumDensity * depth + fastExp(kAltitudeFalloff * props.waterSurfaceZ) * g.ambient;
}

// Linear in the normal speed below 1 m/s, quadratic above. The coefficients a node gets from all
// its triangles in one substep add up to at most its mass over the substep: the drags then
// never do more than stop its motion, whatever their directions (a cap per triangle would let
// a node shared by many triangles be thrown back). They are capped in the order they are added.
void applyDrag(BeamObjectImpl& object, int node, const float3& normal, float dragCoef)
{
    NodeCore& n = object.nodes[node];
    const NodeProperties& props = object.nodeProperties[node];
    const float3& flow = props.mediumDensity >= kWaterDensity ? object.waterFlow : object.wind;
    const float vn = (n.vel - flow).dot(normal);
    float& allowance = object.dragAllowance[node];
    const float c = std::min(props.mediumDensity * std::max(std::fabs(vn), 1.0f) * dragCoef * kDragScale, allowance);
    allowance -= c;
    n.force -= normal * vn * c;
}

} // namespace

void updatePressureGroups(BeamObjectImpl& object)
{
    object.collapsedGroups.resize(object.pressureGroups.size(), 0);  // allocates only when groups are added
    for (size_t i = 0; i < object.pressureGroups.size(); ++i) {
        PressureGroup& g = object.pressureGroups[i];
        const float sum = g.area + kLengthEpsilon;
        object.collapsedGroups[i] = g.area < kCollapsedGroupArea;
        g.pressure = object.collapsedGroups[i] ? 0.0f : g.amount * (portableRsqrt(sum) / sum);
        g.area = 0.0f;
    }
}

void applyTriangleSurfaceForces(BeamObjectImpl& object)
{
    // First every normal and its reciprocal length: with nothing else in the loop the square
    // roots and divisions of many triangles overlap instead of waiting on one another.
    for (CollisionTriangle& t : object.collisionTriangles) {
        if (t.broken == 1)
            continue;
        // Within the array, not within node_count: a script may lower the count under its triangles.
        VELKOR_ASSERT(t.node1 >= 0 && t.node1 < kMaxNodes && t.node2 >= 0 && t.node2 < kMaxNodes && t.node3 >= 0 &&
                          t.node3 < kMaxNodes,
                      "a triangle names a node outside the node array: the builder must reject it");
        const float3& p0 = object.nodes[t.node1].pos;
        t.normal = (object.nodes[t.node2].pos - p0).cross(object.nodes[t.node3].pos - p0);
        t.invNormLen = portableRsqrt(t.normal.squaredLength() + kLengthEpsilon);
        for (const int c : {t.node1, t.node2, t.node3})
            object.dragAllowance[c] = object.nodeProperties[c].massOverDt;
    }
    for (CollisionTriangle& t : object.collisionTriangles) {
        if (t.broken == 1)
            continue;
        const int corners[3] = {t.node1, t.node2, t.node3};
        float3 n = t.normal;  // still twice the area long
        const float s = t.invNormLen;

        const size_t group = size_t(t.pressureGroup);  // a negative group wraps past the end
        if (group < object.pressureGroups.size()) {
            PressureGroup& g = object.pressureGroups[group];
            g.area += n.dot(n) * s;
            if (group < object.collapsedGroups.size() && !object.collapsedGroups[group]) {
                for (const int c : corners) {
                    const float po = outsidePressure(g, object.nodes[c], object.nodeProperties[c]);
                    object.nodes[c].force += n * (g.pressure - po);
                }
            }
        }

        n = n * s;
        t.normal = n;
        for (const int c : corners)
            applyDrag(object, c, n, t.dragCoef);
    }
}

} // namespace VadiZov
