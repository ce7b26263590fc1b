// One substep of one object, read top to bottom as named stages. The core thread runs them
// around its two hand-offs; benchmarks and tests run them on their own.
#pragma once

#include "contact/btree_slot.h"
#include "contact/btriangle_search.h"
#include "step/bcore_parameters.h"

namespace VadiZov {

class BeamObjectImpl;

struct BeamSubstep {
    // beginSubstep covers everything before the half-done signal, forceStage everything between
    // it and the second release, contactStage the rest.
    // treeSlots is the object's run of slotCount collision-tree slots (null: none).
    static void beginSubstep(BeamObjectImpl& object, const core_parameters_t& params, TreeSlot* treeSlots,
                             int slotCount = 0);
    static void forceStage(BeamObjectImpl& object, const core_parameters_t& params);
    // Without a tree to search (the default) the object's triangles find no contacts.
    static void contactStage(BeamObjectImpl& object, const core_parameters_t& params,
                             const TriangleSearch& search = TriangleSearch{});

    // Semi-implicit Euler over every node; colliding nodes write their keys to treeSlots (when
    // given) in node order, at most slotCount of them. Forces start the next substep at the
    // node's weight.
    static void integrateNodes(BeamObjectImpl& object, float dt, TreeSlot* treeSlots, int slotCount = 0);
    // Shifts the object so that its reference node sits at the origin, writes the render
    // buffer and the bounding box.
    static void updateRenderSnapshot(BeamObjectImpl& object, int renderBuffer);
    static void computeBeamForces(BeamObjectImpl& object);
    // The plain sequential beam loop that computeBeamForces must match bit for bit.
    static void computeBeamForcesReference(BeamObjectImpl& object);
    // Plastic yield, hardening and breaking of a beam whose force passed its limit; returns
    // the force the beam transmits this substep.
    static float deformBeam(BeamObjectImpl& object, int beam, float force, float springUsed, float length,
                            float elongation);
    static void callGraphicsStepLocal(BeamObjectImpl& object, float frameTime);
    static void callPhysicsStep(BeamObjectImpl& object, float dt);
};

} // namespace VadiZov
