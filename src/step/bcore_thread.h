// The core thread of one object: it runs that object's substeps, released twice per substep by
// the physics worker (once to integrate, once more after the collision tree is built).
#pragma once

#include <cstdint>
#include <string>

#include "step/bcore_parameters.h"
#include "step/bthread.h"
#include "contact/btree_slot.h"

namespace VadiZov {

class BeamObjectImpl;

class BeamCoreThread : public VelkorThread<core_parameters_t> {
public:
    BeamCoreThread(ThreadEventTable* eventTable, const ThreadContext<core_parameters_t>& context);
    ~BeamCoreThread() override;

    // Mode 0 steps the object in this thread's slot; mode 1 only signals half-done.
    void run() override;
    void substep();

    // The stages of one substep, run on their own by benchmarks and tests. beginSubstep covers
    // everything before the half-done signal, forceStage everything between it and the second
    // release, contactStage the rest.
    static void beginSubstep(BeamObjectImpl& object, const core_parameters_t& params, TreeSlot* treeSlots);
    static void forceStage(BeamObjectImpl& object, const core_parameters_t& params);
    static void contactStage(BeamObjectImpl& object, const core_parameters_t& params);

    // Semi-implicit Euler over every node; colliding nodes write their keys to treeSlots (when
    // given) in node order. Forces start the next substep at the node's weight.
    static void integrateNodes(BeamObjectImpl& object, float dt, TreeSlot* treeSlots);
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

    CollisionTriangleTree* tree;
    uint32_t* queryResults = nullptr;  // node and object index per entry, sized by the tree
    StaticCollider* collider;
};

} // namespace VadiZov
