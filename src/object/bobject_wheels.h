// Wheels of an object as its script defines them.
#pragma once

#include "object/bbeam_handles.h"
#include "object/bobject_records.h"

namespace VadiZov {

class BeamObjectImpl;

// Wheel w (-1 the next) on the axis first-second, with an optional arm node; the handle's id is
// -1 when a wheel or node id is out of range.
wheel setWheel(BeamObjectImpl& object, int w, int first, int second, int arm);
wheelData* getWheel(BeamObjectImpl& object, int w);

} // namespace VadiZov
