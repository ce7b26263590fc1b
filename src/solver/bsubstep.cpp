#include "solver/bsubstep.h"

#include "base/blog.h"
#include "contact/bground_contact.h"
#include "contact/btriangle_contact.h"
#include "object/bobject_records.h"
#include "object/bobject_script.h"
#include "solver/bbeam_forces.h"
#include "solver/bnode_integration.h"
#include "solver/bpressure_groups.h"
#include "solver/bslide_nodes.h"
#include "solver/bsubstep_context.h"
#include "solver/bsurface_forces.h"
#include "solver/bwheel_forces.h"

namespace VadiZov {

namespace {
inline void widen(float v, float& lo, float& hi)
{
    if (v < lo)
        lo = v;
    else if (v > hi)
        hi = v;
}
} // namespace

namespace BeamSubstep {

void beginSubstep(BeamObjectRecords& object, const core_parameters_t& params, TreeSlot* treeSlots,
                               int slotCount)
{
    object.simTime += params.dt;
    object.substepCount += 1;
    if (params.currentSubstep == 0) {
        if (ObjectScript* script = object.script())
            script->updateCore();
        callGraphicsStepLocal(object, params.frameTime);
    }
    integrateNodes(object, params.dt, treeSlots, slotCount);
}

void forceStage(BeamObjectRecords& object, SubstepContext& context, const core_parameters_t& params)
{
    if (params.lastSubstep)
        updateRenderSnapshot(object, params.renderBuffer);
    computeBeamForces(object, context);
    applySlideNodeForces(object);
    updatePressureGroups(object, context);        // from the areas the previous substep summed
    applyTriangleSurfaceForces(object, context);  // also the unit normals triangle contact reads
    applyWheelForces(object, params.dt);
    groundContactStep(object, params);  // a sticking node's force replaces the forces above
    callPhysicsStep(object, params.dt);
    context.collisionCandidates.clear();
    context.selfContacts.clear();
}

void contactStage(BeamObjectRecords& object, SubstepContext& context, const core_parameters_t& params,
                  const TriangleSearch& search)
{
    // The tree the worker has just built: self-contacts are resolved at once, nodes of other
    // objects are left as candidates for the worker.
    searchTriangleContacts(object, params, search, context);
    applyTriangleReactions(object, context.selfContacts);
}

void integrateNodes(BeamObjectRecords& object, float dt, TreeSlot* treeSlots, int slotCount)
{
    integrateNodesWith(bestSimdKernel(), object.nodes, object.node_count, dt, object.originOffset, treeSlots,
                       slotCount);
}

void updateRenderSnapshot(BeamObjectRecords& object, int renderBuffer)
{
    // A reference id the script has not defined as a node (yet) moves nothing: a stale record
    // would shift the body by the same amount every frame.
    const float3 r = object.validNode(object.refNode) ? object.nodes[object.refNode].pos : float3();
    float3 lo(0.0f, 0.0f, 0.0f);
    float3 hi(0.0f, 0.0f, 0.0f);
    RenderPosition* out = object.renderPositions[renderBuffer & 1];
    for (int i = 0; i < object.node_count; ++i) {
        float3& p = object.nodes[i].pos;
        p.x -= r.x;
        p.y -= r.y;
        p.z -= r.z;
        out[i] = RenderPosition{p.x, 0.0f, p.y, p.z};
        widen(p.x, lo.x, hi.x);
        widen(p.y, lo.y, hi.y);
        widen(p.z, lo.z, hi.z);
    }
    object.boundingBoxMin = lo;
    object.boundingBoxMax = hi;
}

void callGraphicsStepLocal(BeamObjectRecords& object, float frameTime)
{
    ObjectScript* script = object.script();
    if (!script)
        return;
    std::string error;
    if (!script->graphicsStepLocal(frameTime, error))
        logMessage(LOG_ERROR, error.c_str(), true);
}

void callPhysicsStep(BeamObjectRecords& object, float dt)
{
    ObjectScript* script = object.script();
    if (!script)
        return;
    std::string error;  // filled only on failure: no allocation on the good path
    if (!script->physicsStep(dt, error))
        logMessage(LOG_ERROR, error.c_str(), true);
}

} // namespace BeamSubstep

} // namespace VadiZov
