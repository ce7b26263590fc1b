// The node step of a substep (semi-implicit Euler), with a plain kernel and a wide one built for SSE2
// and for AVX2; BeamSubstep::integrateNodes runs the best this CPU supports. Every kernel performs, per
// component, the very float operations of the plain loop in the same order, so all are
// bit-identical to it:
//     vel += force * dtOverMass;  pos += vel * dt;  worldPos = pos + origin;
//     force = (0, 0, gravityForce)
// With dt == 0 only the forces are reset. The other fields keep their bits.
#pragma once

#include "base/bsimd.h"
#include "object/bobject_records.h"
#include "contact/btree_slot.h"

namespace VadiZov {

// Steps nodes[0, count). When treeSlots is given (and dt != 0), each colliding node writes the
// sortable keys of its new worldPos to the next slot, in node order, up to slotCount slots (a
// script may have added colliding nodes since the slots were counted); the slots' ids are not
// touched. A kernel this CPU does not support falls back to the plain loop.
void integrateNodesWith(SimdKernel kernel, NodeCore* nodes, int count, float dt, float3 origin, TreeSlot* treeSlots,
                        int slotCount);

} // namespace VadiZov
