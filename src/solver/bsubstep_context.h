// The scratch of one object's substep, kept apart from the object: its core thread owns one and
// hands it to the stages, which leave nothing in it that the next substep reads as a result
// (the beam stage's map of force sums is rebuilt whenever the object's beams changed).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/bconstants.h"
#include "contact/btriangle_contact.h"
#include "solver/bforce_slots.h"

namespace VadiZov {

// The triangle search's lists (collisionCandidates, selfContacts) come from the contact layer.
struct SubstepContext : TriangleContactLists {
    // The beam stage's ordered force sums (bforce_slots.h), large and touched only there.
    const std::unique_ptr<ForceSlots> forceSlots = std::make_unique<ForceSlots>();
    // Per pressure group, set by the pressure step while its area is too small for a finite
    // pressure (bpressure_groups.h).
    std::vector<uint8_t> collapsedGroups;
    // Per node, the drag coefficient its triangles may still add in this substep
    // (bsurface_forces.cpp).
    const std::unique_ptr<float[]> dragAllowance = std::make_unique<float[]>(kMaxNodes);
};

} // namespace VadiZov
