#include "contact/btriangle_contact.h"

#include <algorithm>
#include <cmath>

#include "base/bconstants.h"
#include "base/bmath.h"
#include "contact/bground_contact.h"
#include "ground/bground_models.h"
#include "contact/bcontact_particles.h"
#include "contact/bfriction.h"
#include "object/bcore_parameters.h"
#include "object/bobject_records.h"

namespace VadiZov {

namespace {

// The node's object, or null when the slot is empty or the node is not in use.
BeamObjectRecords* nodeOwner(const core_parameters_t& params, int object, int node)
{
    if (!params.objects || object < 0 || object >= params.objectCount)
        return nullptr;
    BeamObjectRecords* o = params.objects[object];
    if (!o || node < 0 || node >= o->node_count)
        return nullptr;
    return o;
}

float weighted(const float w[3], float a, float b, float c) { return (w[0] * a + w[1] * b) + w[2] * c; }

} // namespace

void resolveTriangleContact(const core_parameters_t& params, BeamObjectRecords& owner, int triangle, int nodeObject,
                            int node, const TrianglePoint& point, std::vector<TriangleContact>& contacts,
                            BeamObjectRecords* particleTarget)
{
    BeamObjectRecords* other = nodeOwner(params, nodeObject, node);
    if (!other || triangle < 0 || size_t(triangle) >= owner.collisionTriangles.size())
        return;
    const CollisionTriangle& t = owner.collisionTriangles[size_t(triangle)];
    NodeCore& nc = other->nodes[node];
    const NodeProperties& np = other->nodeProperties[node];
    const NodeCore* corner[3] = {&owner.nodes[t.node1], &owner.nodes[t.node2], &owner.nodes[t.node3]};
    const NodeProperties* cornerProps[3] = {&owner.nodeProperties[t.node1], &owner.nodeProperties[t.node2],
                                            &owner.nodeProperties[t.node3]};
    const float w[3] = {1.0f - point.u - point.v, point.u, point.v};

    // Behind the triangle beyond the back-side depth the node is pushed out through the back.
    const bool front = point.distance >= kTriangleBackSide;
    const float3 n = front ? t.normal : -t.normal;

    const float3 pointVel(weighted(w, corner[0]->vel.x, corner[1]->vel.x, corner[2]->vel.x),
                          weighted(w, corner[0]->vel.y, corner[1]->vel.y, corner[2]->vel.y),
                          weighted(w, corner[0]->vel.z, corner[1]->vel.z, corner[2]->vel.z));
    const float3 vr = nc.vel - pointVel;
    const float vn = vr.dot(n);
    const float fn = nc.force.dot(n);

    // Stop the approach, at most with the stiffness of the lighter side.
    const float pointMassOverDt =
        weighted(w, cornerProps[0]->massOverDt, cornerProps[1]->massOverDt, cornerProps[2]->massOverDt);
    float target = -std::min(np.massOverDt, pointMassOverDt) * vn;
    if (vn < 0.0f) {
        // A triangle pushed towards the node passes on a share of that push that grows with
        // the penetration.
        const float ft = weighted(w, corner[0]->force.dot(n), corner[1]->force.dot(n), corner[2]->force.dot(n));
        if (ft > 0.0f) {
            const float ramp = front ? (kTriangleContactBand - point.distance) * params.contactRampFront
                                     : (point.distance + kTriangleContactBand) * params.contactRampBack;
            target += ramp * ramp * ft;
        }
    }
    const float normalForce = target - fn;
    if (!(normalForce > 0.0f))
        return;

    const groundModel& g = groundModelTable().model(t.groundModelId);
    const float frictionBase = g.strength * normalForce * np.friction;
    const float3 vt = vr - n * vn;
    const float3 stopForce = (nc.force - n * fn) + vt * np.massOverDt;
    float3 contactForce;
    float slipSpeed = 0.0f;
    float friction = 0.0f;
    if (frictionSticks(g, frictionBase, stopForce)) {
        // Sticking: the node's force becomes the one that holds it on the touched point.
        contactForce = n * target - nc.force - vt * np.massOverDt;
    } else {
        const float s = vt.length();
        // Divided, where ground contact multiplies by the reciprocal: each keeps its own rounding.
        const float c = std::min(slidingFriction(g, frictionBase, s, s / g.stribeckVelocity), np.massOverDt);
        contactForce = n * normalForce - vt * c;
        slipSpeed = s;
        friction = c;
    }

    if (particleTarget && np.mediumDensity <= kWaterMediumThreshold)
        emitContactParticle(*particleTarget, node, np.material, g.collisiontype, &nc.worldPos, &n, &nc.vel, vn,
                            slipSpeed, friction, 0.0f, -normalForce);

    nc.force += contactForce;
    contacts.push_back(TriangleContact{contactForce, w[0], w[1], w[2], triangle});
}

void applyTriangleReactions(BeamObjectRecords& owner, const std::vector<TriangleContact>& contacts)
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

void resolveInterObjectContacts(const core_parameters_t& params, int owner,
                                const std::vector<CollisionCandidate>& candidates,
                                std::vector<TriangleContact>& contacts)
{
    if (!params.objects || owner < 0 || owner >= params.objectCount)
        return;
    BeamObjectRecords* object = params.objects[owner];
    if (!object || candidates.empty())
        return;
    contacts.clear();
    BeamObjectRecords* particleTarget = params.lastSubstep ? object : nullptr;
    for (const CollisionCandidate& c : candidates)
        resolveTriangleContact(params, *object, c.triangle, c.object, c.node, c.point, contacts, particleTarget);
    applyTriangleReactions(*object, contacts);
}

} // namespace VadiZov
