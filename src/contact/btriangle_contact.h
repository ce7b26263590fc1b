// The reaction of one node-against-triangle contact, to be spread over the triangle's nodes.
#pragma once

#include <vector>

#include "velkor/types.h"

namespace VadiZov {

class BeamObjectImpl;

struct TriangleContact {
    float3 force;  // the contact force on the node
    float w0, w1, w2;  // barycentric weights of the triangle's three nodes
    int triangle;      // index into the triangle owner's collision triangles
};

// Subtracts each contact's force, weighted, from the owner's triangle nodes, in list order.
void applyTriangleReactions(BeamObjectImpl& owner, const std::vector<TriangleContact>& contacts);

} // namespace VadiZov
