#include "contact/btriangle_search.h"

#include <algorithm>
#include <cmath>

#include "contact/bcollision_tree.h"
#include "contact/btriangle_contact.h"
#include "object/bcore_parameters.h"
#include "object/bobject_records.h"

namespace VadiZov {

namespace {

constexpr float kMaxInvNormalLength = 1.0f / kMinTriangleDoubledArea;

bool sharesCollisionId(const BeamObjectRecords& object, const CollisionTriangle& t, int16_t id)
{
    return object.nodes[t.node1].collisionId == id || object.nodes[t.node2].collisionId == id ||
           object.nodes[t.node3].collisionId == id;
}

// One triangle against the nodes the tree finds near it. Returns whether any node counted as a
// neighbour.
bool searchTriangle(BeamObjectRecords& object, const core_parameters_t& params, const TriangleSearch& search,
                    TriangleContactLists& lists, int triangle, float radius)
{
    const CollisionTriangle& t = object.collisionTriangles[size_t(triangle)];
    const NodeCore& n0 = object.nodes[t.node1];
    const int count = search.tree->query(search.results, n0.worldPos, object.nodes[t.node2].worldPos,
                                         object.nodes[t.node3].worldPos, radius);
    bool neighbour = false;
    TrianglePlaneBasis basis(object, t);
    for (int i = 0; i < count; ++i) {
        const int k = treeIdObject(search.results[i]);
        const int j = treeIdNode(search.results[i]);
        if (k < 0 || k >= params.objectCount)
            continue;
        const BeamObjectRecords* other = params.objects[k];
        if (!other || j < 0 || j >= other->node_count)
            continue;
        const bool self = other == &object;
        float3 r;
        if (self) {
            if (!object.nodeProperties[j].triangleCollides || sharesCollisionId(object, t, object.nodes[j].collisionId))
                continue;
            r = object.nodes[j].pos - n0.pos;
        } else {
            // World positions: the other object's core thread may shift its floating frame
            // (last substep) while this one searches, but it never writes worldPos after its
            // integration, so the result does not depend on which thread runs first.
            r = other->nodes[j].worldPos - n0.worldPos;
        }
        neighbour = true;

        const float d = t.normal.dot(r);
        if (!(std::fabs(d) <= kTriangleContactBand))
            continue;
        const float u = trianglePlaneDistance(basis, r);
        const float v = basis.vAxis.dot(r);
        if (!(u >= 0.0f && u <= 1.0f && v >= 0.0f && u + v <= 1.0f))
            continue;
        const TrianglePoint point{u, v, d};
        if (self)  // self-contacts emit no particles
            resolveTriangleContact(params, object, triangle, k, j, point, lists.selfContacts, nullptr);
        else
            lists.collisionCandidates.push_back(CollisionCandidate{point, triangle, k, j});
    }
    return neighbour;
}

} // namespace

void searchTriangleContacts(BeamObjectRecords& object, const core_parameters_t& params, const TriangleSearch& search,
                            TriangleContactLists& lists)
{
    if (!search.tree || !search.results || search.resultCapacity < search.tree->resultCapacity())
        return;
    for (size_t i = 0; i < object.collisionTriangles.size(); ++i) {
        CollisionTriangle& t = object.collisionTriangles[i];
        if (t.broken != 0)
            continue;
        // Collinear nodes leave no normal to measure against.
        if (!(t.invNormLen <= kMaxInvNormalLength))
            continue;
        if (t.skip >= 1) {
            --t.skip;
            continue;
        }
        const int steps = std::max(int(t.radiusSteps), 1);
        const bool neighbour = searchTriangle(object, params, search, lists, int(i), float(steps) * kSearchStepRadius);
        if (neighbour) {
            // Close to something: search every substep, narrowing down to one step.
            t.radiusSteps = uint8_t(steps / 2);
            t.skip = 0;
        } else {
            t.skip = int16_t(steps - 1);
            t.radiusSteps = uint8_t(steps < kMaxSearchSteps ? steps + 1 : steps);
        }
    }
}

float trianglePlaneDistance(TrianglePlaneBasis& basis, const float3& r)
{
    if (!basis.ready) {
        const BeamObjectRecords& object = *basis.object;
        const CollisionTriangle& t = *basis.triangle;
        const float3& p0 = object.nodes[t.node1].pos;
        const float3 e1 = object.nodes[t.node2].pos - p0;
        const float3 e2 = object.nodes[t.node3].pos - p0;
        basis.uAxis = e2.cross(t.normal) * t.invNormLen;
        basis.vAxis = t.normal.cross(e1) * t.invNormLen;
        basis.ready = true;
    }
    return basis.uAxis.dot(r);
}

} // namespace VadiZov
