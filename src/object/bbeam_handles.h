// The small value handle the object's script uses to refine a beam after setBeam (the wheel's
// is with the wheels, bobject_wheels.h). It does not keep the object alive; it carries its
// lifetime flag, so a call through a handle of a deleted object is refused.
#pragma once

#include "base/blifetime.h"

namespace VadiZov {

class BeamObjectImpl;

class beam {
public:
    beam() = default;
    beam(BeamObjectImpl* object, int id);

    BeamObjectImpl* object() const { return object_; }
    int id() const { return id_; }
    bool isValid() const { return id_ >= 0; }
    LifeFlag lifeFlag() const { return life_; }

    void makeAnisotropic(float springExt, float dampExt, float maxElongationRatio);
    // Long and short bound, limit spring, limit damp, slow damping while lengthening, fast
    // damping while shortening, fast damping while lengthening, damping cut-off speed.
    void makeBounded(float longBound, float shortBound, float limitSpring, float limitDamp, float slowDampExt,
                     float fastDampComp, float fastDampExt, float cutoffSpeed);
    void makePressured(float pressure, float area, float volumeCoef, float maxPressure);
    void setDeformationTriggerRatio(float ratio);

private:
    // The beam in use by the owning object, or false after logging message.
    bool inUse(const char* message) const;

    BeamObjectImpl* object_ = nullptr;
    int id_ = -1;
    LifeFlag life_;
};

} // namespace VadiZov
