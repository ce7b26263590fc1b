#include "solver/bwheel_forces.h"

#include <cmath>

#include "base/bconstants.h"
#include "base/bmath.h"
#include "object/bobject_records.h"

namespace VadiZov {

namespace {


// A point's lever about the axis: the tangent a x r (as long as the radius) and 1/|r|^2.
struct Lever {
    float3 tangent;
    float invRadiusSquared;
};

Lever leverAbout(const float3& axis, float3 r)
{
    r = r - axis * axis.dot(r);
    return Lever{axis.cross(r), 1.0f / (r.squaredLength() + kLengthEpsilon)};
}

float signOf(float v) { return v < 0.0f ? -1.0f : 1.0f; }

// The brake spring between the wheel and its reference node; returns the torque the wheel
// nodes carry (brake plus drive) after putting the reaction on the body.
float brakedTorque(wheelData& w, const float3& axis, float spin, float nodeTorques, float dt)
{
    NodeCore& c = *w.thirdNode;
    NodeCore& h = *w.nearAxisToThird;
    const Lever ref = leverAbout(axis, c.pos - h.pos);
    const float refSpin = (c.vel - h.vel).dot(ref.tangent) * ref.invRadiusSquared;
    w.brakeWindup += (refSpin - spin) * dt;
    const float windup = w.brakeWindup;
    const float brake = std::fabs(windup) < kBrakeWindupLimit ? windup * 10.0f * w.brakingTorque
                                                               : w.brakingTorque * signOf(windup);
    if (w.brakingTorque < std::fabs((c.force - h.force).dot(ref.tangent) + nodeTorques + w.torque))
        w.brakeWindup = signOf(windup) * std::fmin(std::fabs(windup), kBrakeWindupLimit);  // slipping
    const float total = brake + w.torque;
    const float3 reaction = ref.tangent * ref.invRadiusSquared * total;
    c.force -= reaction;
    h.force += reaction;
    return total;
}

void applyWheel(wheelData& w, float dt)
{
    // Without nodes there is nothing to turn (and 1/0 to share by): the wheel rests.
    if (!w.axisNode1 || !w.axisNode2 || w.nodeCount <= 0 || w.nodeCount > kMaxWheelNodes) {
        w.angularVelocity = 0.0f;
        w.lastTorque = 0.0f;
        return;
    }
    const float3 d = w.axisNode2->pos - w.axisNode1->pos;
    const float3 axis = d * portableRsqrt(d.squaredLength() + kLengthEpsilon);
    const float share = w.invNodeCount;

    Lever levers[kMaxWheelNodes];
    float spinSum = 0.0f;
    for (int i = 0; i < w.nodeCount; ++i) {
        const NodeCore& n = *w.nodes[i];
        levers[i] = leverAbout(axis, n.pos - w.axisNode1->pos);
        spinSum += n.vel.dot(levers[i].tangent) * levers[i].invRadiusSquared;
    }

    w.angularVelocity = share * spinSum;
    // A negative capacity would turn the brake spring into a drive that winds itself up.
    const bool braked = w.brakingTorque > 0.0f && w.thirdNode && w.nearAxisToThird;
    float torque = w.torque;
    if (braked) {
        float nodeTorques = 0.0f;
        for (int i = 0; i < w.nodeCount; ++i)
            nodeTorques += w.nodes[i]->force.dot(levers[i].tangent);
        torque = brakedTorque(w, axis, w.angularVelocity, nodeTorques, dt);
    } else {
        w.brakeWindup = 0.0f;
    }
    const float perNode = share * torque;
    for (int i = 0; i < w.nodeCount; ++i)
        w.nodes[i]->force += levers[i].tangent * levers[i].invRadiusSquared * perNode;
    w.lastTorque = perNode;
}

} // namespace

void applyWheelForces(BeamObjectRecords& object, float dt)
{
    for (int i = 0; i < object.wheel_count && i < kMaxWheels; ++i)
        applyWheel(object.wheels[i], dt);
}

} // namespace VadiZov
