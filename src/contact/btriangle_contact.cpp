#include "contact/btriangle_contact.h"

#include "object/bobject.h"

namespace VadiZov {

void applyTriangleReactions(BeamObjectImpl& owner, const std::vector<TriangleContact>& contacts)
{
    for (const TriangleContact& contact : contacts) {
        const CollisionTriangle& t = owner.collisionTriangles[size_t(contact.triangle)];
        const int16_t corners[3] = {t.node1, t.node2, t.node3};
        const float weights[3] = {contact.w0, contact.w1, contact.w2};
        for (int k = 0; k < 3; ++k) {
            float3& f = owner.nodes[corners[k]].force;
            f.x -= weights[k] * contact.force.x;
            f.y -= weights[k] * contact.force.y;
            f.z -= weights[k] * contact.force.z;
        }
    }
}

} // namespace VadiZov
