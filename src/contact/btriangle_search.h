// The search of an object's collision triangles for nodes that touch them, in the substep's
// last stage, on the collision tree the worker has just built. A node of the same object is
// resolved at once (self-contact); a node of another object becomes a candidate the worker
// resolves once every core thread is done.
#pragma once

#include <cstdint>

#include "velkor/types.h"

namespace VadiZov {

struct BeamObjectRecords;
struct TriangleContactLists;
class CollisionTriangleTree;
struct CollisionTriangle;
struct core_parameters_t;

// What a core thread searches with: the tree and its own result buffer.
struct TriangleSearch {
    const CollisionTriangleTree* tree = nullptr;
    uint32_t* results = nullptr;
    int resultCapacity = 0;  // entries in results
};

// The barycentric axes of one triangle, built from its nodes' positions only once the search
// finds a node near it (trianglePlaneDistance builds them on first use): a point r given
// relative to the triangle's first node has u = uAxis . r and v = vAxis . r.
struct TrianglePlaneBasis {
    TrianglePlaneBasis(const BeamObjectRecords& o, const CollisionTriangle& t) : object(&o), triangle(&t) {}
    const BeamObjectRecords* object;
    const CollisionTriangle* triangle;
    float3 uAxis, vAxis;
    bool ready = false;
};

// Search steps are units of this radius; a triangle that finds nothing widens its search up
// to kMaxSearchSteps units and searches that much less often.
constexpr float kSearchStepRadius = 0.025f;
constexpr int kMaxSearchSteps = 41;
// A triangle of smaller (doubled) area has no usable normal: it touches nothing.
constexpr float kMinTriangleDoubledArea = 1e-10f;

// The barycentric u of r (relative to the triangle's first node), the basis built on first use.
float trianglePlaneDistance(TrianglePlaneBasis& basis, const float3& r);

// Every unbroken triangle of object that is due this substep; self-contacts are resolved into
// lists.selfContacts, nodes of other objects become lists.collisionCandidates. Nothing happens
// without a tree or with a buffer smaller than the tree can fill.
void searchTriangleContacts(BeamObjectRecords& object, const core_parameters_t& params, const TriangleSearch& search,
                            TriangleContactLists& lists);

} // namespace VadiZov
