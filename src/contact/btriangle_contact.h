// Contact of a node with a collision triangle: the force that stops the node's approach to the
// touched point of the triangle, with the friction of the triangle's ground model, and the
// reaction, which is spread over the triangle's three nodes by their barycentric weights.
#pragma once

#include <vector>

#include "velkor/types.h"

namespace VadiZov {

struct BeamObjectRecords;
struct core_parameters_t;

// Half the thickness of the band around a triangle in which nodes touch it.
constexpr float kTriangleContactBand = 0.025f;
// A node deeper than this behind a triangle is pushed out through its back.
constexpr float kTriangleBackSide = -0.015f;

// Where a node touches a triangle: barycentric weights of the triangle's second and third
// nodes, and the signed distance along the triangle's normal.
struct TrianglePoint {
    float u, v;
    float distance;
};

// A node of another object found near one of this object's triangles; the worker resolves it
// once every core thread is done.
struct CollisionCandidate {
    TrianglePoint point;
    int triangle;  // index into this object's collision triangles
    int object;    // the node's object slot
    int node;
};

// The reaction of one node-against-triangle contact, to be spread over the triangle's nodes.
struct TriangleContact {
    float3 force;  // the contact force on the node
    float w0, w1, w2;  // barycentric weights of the triangle's three nodes
    int triangle;      // index into the triangle owner's collision triangles
};

// What one object's triangle search leaves in a substep: nodes of other objects near its
// triangles, which the worker resolves once every core thread is done, and the reactions of its
// self-contacts. Scratch of the object's core thread, emptied every substep.
struct TriangleContactLists {
    std::vector<CollisionCandidate> collisionCandidates;
    std::vector<TriangleContact> selfContacts;
};

// Node `node` of object slot `nodeObject` touching triangle `triangle` of owner at point: adds
// the contact force to the node's force and appends the reaction to contacts. particleTarget
// (null: none) receives a contact particle.
void resolveTriangleContact(const core_parameters_t& params, BeamObjectRecords& owner, int triangle, int nodeObject,
                            int node, const TrianglePoint& point, std::vector<TriangleContact>& contacts,
                            BeamObjectRecords* particleTarget);

// Subtracts each contact's force, weighted, from the owner's triangle nodes, in list order.
void applyTriangleReactions(BeamObjectRecords& owner, const std::vector<TriangleContact>& contacts);

// The worker's step after all core threads are done, for the object in slot `owner`: its
// candidates, in list order, resolved and their reactions applied. The worker calls it in slot
// order. contacts is scratch space, reused.
void resolveInterObjectContacts(const core_parameters_t& params, int owner,
                                const std::vector<CollisionCandidate>& candidates,
                                std::vector<TriangleContact>& contacts);

} // namespace VadiZov
