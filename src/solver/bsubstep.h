// One substep of one object, read top to bottom as named stages. The core thread runs them
// around its two hand-offs, with the object's substep context; benchmarks and tests run them on
// their own. Each stage's own functions are declared with it (bnode_integration.h,
// bbeam_forces.h, bslide_nodes.h, bpressure_groups.h, bsurface_forces.h, bwheel_forces.h and the
// contact layer's).
#pragma once

#include "contact/btree_slot.h"
#include "contact/btriangle_search.h"
#include "object/bcore_parameters.h"

namespace VadiZov {

struct BeamObjectRecords;
struct SubstepContext;

namespace BeamSubstep {

// beginSubstep covers everything before the half-done signal, forceStage everything between
// it and the second release, contactStage the rest.
// treeSlots is the object's run of slotCount collision-tree slots (null: none).
void beginSubstep(BeamObjectRecords& object, const core_parameters_t& params, TreeSlot* treeSlots, int slotCount = 0);
void forceStage(BeamObjectRecords& object, SubstepContext& context, const core_parameters_t& params);
// Without a tree to search (the default) the object's triangles find no contacts.
void contactStage(BeamObjectRecords& object, SubstepContext& context, const core_parameters_t& params,
                  const TriangleSearch& search = TriangleSearch{});

// Semi-implicit Euler over every node; colliding nodes write their keys to treeSlots (when
// given) in node order, at most slotCount of them. Forces start the next substep at the
// node's weight.
void integrateNodes(BeamObjectRecords& object, float dt, TreeSlot* treeSlots, int slotCount = 0);
// Shifts the object so that its reference node sits at the origin, writes the render
// buffer and the bounding box.
void updateRenderSnapshot(BeamObjectRecords& object, int renderBuffer);
void callGraphicsStepLocal(BeamObjectRecords& object, float frameTime);
void callPhysicsStep(BeamObjectRecords& object, float dt);

} // namespace BeamSubstep

} // namespace VadiZov
