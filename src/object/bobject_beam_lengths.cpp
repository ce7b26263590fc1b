#include "object/bobject_beam_lengths.h"

#include "base/bconstants.h"
#include "base/bmath.h"
#include "base/bscript_values.h"
#include "object/bobject.h"

namespace VadiZov {

namespace {


bool inUse(const BeamObjectImpl& object, int beam) { return beam >= 0 && beam < object.beam_count; }

float3 beamVector(const BeamObjectImpl& object, int beam)
{
    const BeamCore& b = object.beams[beam];
    return object.nodes[b.node1].pos - object.nodes[b.node2].pos;
}

float currentLength(const BeamObjectImpl& object, int beam) { return beamVector(object, beam).length() + kLengthEpsilon; }

} // namespace

bool beamIsBroken(const BeamObjectImpl& object, int beam)
{
    return inUse(object, beam) && object.beams[beam].type == BEAM_BROKEN;
}

float getBeamRestLength(const BeamObjectImpl& object, int beam)
{
    return inUse(object, beam) ? object.beams[beam].restLength : 0.0f;
}

float getBeamRefLength(const BeamObjectImpl& object, int beam)
{
    return inUse(object, beam) ? object.beamParams[beam].refLength : 0.0f;
}

float getBeamLength(const BeamObjectImpl& object, int beam)
{
    return inUse(object, beam) ? currentLength(object, beam) : 0.0f;
}

float getBeamLengthRestRatio(const BeamObjectImpl& object, int beam)
{
    if (!inUse(object, beam))
        return 0.0f;
    const float squared = beamVector(object, beam).squaredLength();
    const float length = approxRsqrt(squared + kLengthEpsilon) * squared;
    const float rest = object.beams[beam].restLength;
    return rest == 0.0f ? length : length / rest;
}

float getBeamLengthRefRatio(const BeamObjectImpl& object, int beam)
{
    return inUse(object, beam) ? object.beams[beam].restLength / object.beamParams[beam].refLength : 0.0f;
}

float getBeamCurLengthRefRatio(const BeamObjectImpl& object, int beam)
{
    return inUse(object, beam) ? currentLength(object, beam) / object.beamParams[beam].refLength : 0.0f;
}

void setBeamLength(BeamObjectImpl& object, int beam, float restLength)
{
    if (inUse(object, beam) && acceptNumber("setBeamLength", "length", restLength, kMaxScriptCoordinate))
        object.beams[beam].restLength = restLength;
}

void setBeamLengthRefRatio(BeamObjectImpl& object, int beam, float ratio)
{
    if (!inUse(object, beam) || !acceptNumber("setBeamLengthRefRatio", "ratio", ratio))
        return;
    const float length = object.beamParams[beam].refLength * ratio;
    if (acceptNumber("setBeamLengthRefRatio", "length", length, kMaxScriptCoordinate))
        object.beams[beam].restLength = length;
}

float getHydroDisplacement(const BeamObjectImpl& object, int beam)
{
    if (!inUse(object, beam) || object.beams[beam].type == BEAM_BROKEN)
        return 0.0f;
    return object.beams[beam].restLength - currentLength(object, beam);
}

float getHydroDisplacementFrom(const BeamObjectImpl& object, int beam, float refRatio)
{
    if (!inUse(object, beam) || object.beams[beam].type == BEAM_BROKEN)
        return 0.0f;
    return object.beamParams[beam].refLength * refRatio - currentLength(object, beam);
}

} // namespace VadiZov
