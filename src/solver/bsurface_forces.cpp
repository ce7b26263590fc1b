#include "solver/bsurface_forces.h"

#include <algorithm>
#include <cmath>

#include "base/bassert.h"
#include "base/bconstants.h"
#include "base/bmath.h"
#include "object/bobject_records.h"
#include "solver/bpressure_groups.h"
#include "solver/bsubstep_context.h"

namespace VadiZov {

namespace {

constexpr float kDragScale = 0.0833f;

// Linear in the normal speed below 1 m/s, quadratic above. The coefficients a node gets from all
// its triangles in one substep add up to at most its mass over the substep: the drags then
// never do more than stop its motion, whatever their directions (a cap per triangle would let
// a node shared by many triangles be thrown back). They are capped in the order they are added.
void applyDrag(BeamObjectRecords& object, float* dragAllowance, int node, const float3& normal, float dragCoef)
{
    NodeCore& n = object.nodes[node];
    const NodeProperties& props = object.nodeProperties[node];
    const float3& flow = props.mediumDensity >= kWaterDensity ? object.waterFlow : object.wind;
    const float vn = (n.vel - flow).dot(normal);
    float& allowance = dragAllowance[node];
    // A negative term (a host's negative density) would raise the allowance for later drags.
    const float raw = props.mediumDensity * std::max(std::fabs(vn), 1.0f) * dragCoef * kDragScale;
    const float c = std::min(std::max(raw, 0.0f), allowance);
    allowance -= c;
    n.force -= normal * vn * c;
}

} // namespace

void applyTriangleSurfaceForces(BeamObjectRecords& object, SubstepContext& context)
{
    float* const dragAllowance = context.dragAllowance.get();
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
            dragAllowance[c] = object.nodeProperties[c].massOverDt;
    }
    for (CollisionTriangle& t : object.collisionTriangles) {
        if (t.broken == 1)
            continue;
        float3 n = t.normal;  // still twice the area long
        const float s = t.invNormLen;
        pressTriangle(object, context, t, n, s);

        n = n * s;
        t.normal = n;
        for (const int c : {t.node1, t.node2, t.node3})
            applyDrag(object, dragAllowance, c, n, t.dragCoef);
    }
}

} // namespace VadiZov
