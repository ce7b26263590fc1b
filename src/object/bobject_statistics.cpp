#include "object/bobject_statistics.h"

#include <cmath>

#include "object/bobject.h"
#include "base/bphysics_thread.h"

namespace VadiZov {

float3 calcCenterOfGravity(const BeamObjectImpl& object, bool withoutWheels)
{
    float mass = 0.0f;
    float3 weighted;
    for (int i = 0; i < object.node_count; ++i) {
        const NodeProperties& props = object.nodeProperties[i];
        if (withoutWheels && props.wheelId != kNoWheel)
            continue;
        mass += props.mass;
        weighted += object.nodes[i].pos * props.mass;
    }
    // Positions are relative to the reference node only once a substep has shifted the floating
    // frame onto it; before that (in init, in the first frame) its own position is taken off.
    const int ref = object.refNode;
    const bool hasRef = object.validNode(ref);
    const float3 origin = hasRef ? object.nodes[ref].worldPos : object.originOffset;
    const float3 refPos = hasRef ? object.nodes[ref].pos : float3();
    // Nothing to weigh: the reference node stands in for the centre.
    if (!(mass > 0.0f))
        return origin;
    return origin + (weighted * (1.0f / mass) - refPos);
}

beamstats calcBeamStats(const BeamObjectImpl& object)
{
    beamstats stats{};
    stats.node_count = object.node_count;
    stats.beam_count = object.beam_count;
    stats.wheel_count = object.wheel_count;
    for (int i = 0; i < object.beam_count; ++i) {
        const BeamCore& b = object.beams[i];
        if (b.type == BEAM_BROKEN) {
            ++stats.beams_broken;
        } else if (std::abs(b.restLength - object.beamParams[i].refLength) > 0.0001f) {
            ++stats.beams_deformed;
        }
    }
    for (int i = 0; i < object.node_count; ++i) {
        const NodeProperties& props = object.nodeProperties[i];
        stats.total_weight += props.mass;
        if (props.wheelId != kNoWheel)
            stats.wheel_weight += props.mass;
    }
    return stats;
}

// The host reads both texts whenever it likes, also while a frame runs; physicsStep may not
// replace them under it.
void setPersistentData(BeamObjectImpl& object, const char* text)
{
    if (!refuseOnPhysicsThread("setPersistentData"))
        object.persistentData = text ? text : "";
}

void setDebugString(BeamObjectImpl& object, const char* text)
{
    if (!refuseOnPhysicsThread("setDebugString"))
        object.debugString = text ? text : "";
}

} // namespace VadiZov
