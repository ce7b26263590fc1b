// Wheels of an object as its script defines them, and the handle it fills a wheel through. The
// handle does not keep the object alive; it carries its lifetime flag, so a call through a
// handle of a deleted object is refused.
#pragma once

#include "base/blifetime.h"
#include "object/bobject_records.h"

namespace VadiZov {

class BeamObjectImpl;

class wheel {
public:
    wheel() = default;
    wheel(BeamObjectImpl* object, int id);

    BeamObjectImpl* object() const { return object_; }
    int id() const { return id_; }
    bool isValid() const { return id_ >= 0; }
    LifeFlag lifeFlag() const { return life_; }

    void addNode(int node);

private:
    BeamObjectImpl* object_ = nullptr;
    int id_ = -1;
    LifeFlag life_;
};

// Wheel w (-1 the next) on the axis first-second, with an optional arm node; the handle's id is
// -1 when a wheel or node id is out of range.
wheel setWheel(BeamObjectImpl& object, int w, int first, int second, int arm);
wheelData* getWheel(BeamObjectImpl& object, int w);

} // namespace VadiZov
