#include "object/bbeam_handles.h"

#include <algorithm>
#include <cfloat>
#include <iterator>

#include "base/blog.h"
#include "base/bscript_values.h"
#include "object/bobject.h"

namespace VadiZov {

beam::beam(BeamObjectImpl* object, int id) : object_(object), id_(id), life_(object ? object->lifeFlag() : LifeFlag{}) {}

bool beam::inUse(const char* message) const
{
    if (object_ && !life_.expired() && id_ >= 0 && id_ < object_->beam_count)
        return true;
    logMessage(LOG_ERROR, message, true);
    return false;
}

void beam::makeAnisotropic(float springExt, float dampExt, float maxElongationRatio)
{
    if (!inUse("*** makeAnisotropic: ANISOTROPIC beam for invalid node id, ignored"))
        return;
    constexpr const char* kMember = "makeAnisotropic";
    if (!acceptCoefficient(kMember, "spring in extension", springExt) ||
        !acceptCoefficient(kMember, "damp in extension", dampExt) ||
        !acceptNumber(kMember, "elongation ratio", maxElongationRatio))
        return;
    BeamParams& p = object_->beamParams[id_];
    object_->beams[id_].type = BEAM_ANISOTROPIC;
    object_->beamOrigins[id_].type = BEAM_ANISOTROPIC;
    p.p4 = springExt;
    p.p5 = object_->cappedDamping(id_, dampExt);
    p.p0 = p.refLength * maxElongationRatio;
}

void beam::makeBounded(float longBound, float shortBound, float limitSpring, float limitDamp, float slowDampExt,
                       float fastDampComp, float fastDampExt, float cutoffSpeed)
{
    if (!inUse("*** makeBounded: BOUNDED beam for invalid node id, ignored"))
        return;
    constexpr const char* kMember = "makeBounded";
    const float values[] = {longBound, shortBound, limitSpring, limitDamp, slowDampExt, fastDampComp, fastDampExt,
                            cutoffSpeed};
    const char* names[] = {"long bound", "short bound", "limit spring", "limit damp", "slow damp in extension",
                           "fast damp in compression", "fast damp in extension", "cut-off speed"};
    // The bounds and the cut-off speed may take either sign; the springs and dampings may not.
    for (size_t i = 0; i < std::size(values); ++i) {
        const bool coefficient = i >= 2 && i < 7;
        if (!(coefficient ? acceptCoefficient(kMember, names[i], values[i]) : acceptNumber(kMember, names[i], values[i])))
            return;
    }
    BeamCore& b = object_->beams[id_];
    BeamParams& p = object_->beamParams[id_];
    b.type = BEAM_BOUNDED;
    object_->beamOrigins[id_].type = BEAM_BOUNDED;
    p.p0 = longBound;
    p.p1 = shortBound;
    p.p2 = limitSpring;
    p.p3 = object_->cappedDamping(id_, limitDamp);
    // The beam's own damping becomes the slow damping while shortening...
    p.p4 = object_->cappedDamping(id_, b.damp);
    p.p5 = object_->cappedDamping(id_, slowDampExt);
    p.p6 = object_->cappedDamping(id_, fastDampComp);
    p.p7 = object_->cappedDamping(id_, fastDampExt);
    // ...and damp now holds the speed between slow and fast damping.
    b.damp = cutoffSpeed;
}

void beam::makePressured(float pressure, float area, float volumeCoef, float maxPressure)
{
    if (!inUse("*** makePressured: PRESSURED beam for invalid node id, ignored"))
        return;
    constexpr const char* kMember = "makePressured";
    if (!acceptNumber(kMember, "pressure", pressure) || !acceptNumber(kMember, "area", area, kMaxScriptCoordinate) ||
        !acceptNumber(kMember, "volume coefficient", volumeCoef) || !acceptLimit(kMember, "maximum pressure", maxPressure))
        return;
    BeamCore& b = object_->beams[id_];
    BeamParams& p = object_->beamParams[id_];
    BeamOrigin& o = object_->beamOrigins[id_];

    b.type = BEAM_PRESSURED;
    o.type = BEAM_PRESSURED;
    // Gas only pushes: a pressured beam never yields in compression.
    p.deformCompress = FLT_MAX;
    o.basePressure = pressure;
    o.deformCompress = FLT_MAX;

    p.p6 = area;
    p.p0 = volumeCoef;
    p.p1 = pressure * p.refLength * area;
    o.p1 = p.p1;
    p.p2 = (1.0f - volumeCoef) * p.refLength;
    p.p3 = area * kAtmosphericPressure;

    const float breakForce = area * maxPressure - p.p3;
    p.p7 = breakForce > 0.0f ? breakForce : 0.0f;
    o.p7 = p.p7;

    // The signed tension limit keeps the deformation step running for this beam.
    b.limitForce = std::min(std::min(p.p7, p.strength), p.deformTension);
    o.limitForce = b.limitForce;
}

void beam::setDeformationTriggerRatio(float ratio)
{
    if (!inUse("*** setDeformationTriggerRatio: Deformation Trigger beam for invalid node id, ignored"))
        return;
    if (!acceptLimit("setDeformationTriggerRatio", "ratio", ratio))
        return;
    object_->beamParams[id_].deformTriggerRatio = ratio;
    object_->beamOrigins[id_].deformTriggerRatio = ratio;
}

} // namespace VadiZov
