#include "step/bcore_thread.h"

#include "solver/bbeam_events.h"
#include "contact/bground_contact.h"
#include "solver/bnode_integration.h"
#include "object/bobject.h"
#include "object/bobject_script.h"

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

BeamCoreThread::BeamCoreThread(ThreadEventTable* eventTable, const ThreadContext<core_parameters_t>& context)
    : VelkorThread(eventTable, context.params), tree(context.tree), collider(context.collider)
{
}

BeamCoreThread::~BeamCoreThread() { delete[] queryResults; }

void BeamCoreThread::run()
{
    if (mode == 0)
        substep();
    else if (mode == 1)
        signalHalfDone();
}

void BeamCoreThread::substep()
{
    BeamObjectImpl* object = params->objects ? params->objects[index] : nullptr;
    if (!object) {
        // Still take part in both hand-offs, or the worker would wait for this thread forever.
        signalHalfDone();
        waitForRelease();
        return;
    }
    // The collision tree comes with triangle contact; until then no slots are written.
    beginSubstep(*object, *params, nullptr);
    signalHalfDone();
    forceStage(*object, *params);
    waitForRelease();  // the worker's second release: the tree is built
    contactStage(*object, *params);
}

void BeamCoreThread::beginSubstep(BeamObjectImpl& object, const core_parameters_t& params, TreeSlot* treeSlots)
{
    object.simTime += params.dt;
    object.substepCount += 1;
    if (params.currentSubstep == 0) {
        if (ObjectScript* script = object.script())
            script->updateCore();
        callGraphicsStepLocal(object, params.frameTime);
    }
    integrateNodes(object, params.dt, treeSlots);
}

void BeamCoreThread::forceStage(BeamObjectImpl& object, const core_parameters_t& params)
{
    if (params.lastSubstep)
        updateRenderSnapshot(object, params.renderBuffer);
    computeBeamForces(object);
    // Slide nodes on rails go here.
    // Pressure groups (pressures from the previous substep's areas) go here.
    // Collision triangles: normals, pressure and drag forces go here.
    // Wheels go here.
    groundContactStep(object, params);  // a sticking node's force replaces the forces above
    callPhysicsStep(object, params.dt);
    // The object's candidate and self-contact lists are emptied here.
}

void BeamCoreThread::contactStage(BeamObjectImpl&, const core_parameters_t&)
{
    // Triangle candidates and self-contact, then their reactions (applyTriangleReactions), go
    // here: they read the tree the worker has just built.
}

void BeamCoreThread::integrateNodes(BeamObjectImpl& object, float dt, TreeSlot* treeSlots)
{
    integrateNodesWith(bestNodeKernel(), object.nodes, object.node_count, dt, object.originOffset, treeSlots);
}

void BeamCoreThread::updateRenderSnapshot(BeamObjectImpl& object, int renderBuffer)
{
    const float3 r = object.nodes[object.refNode].pos;
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

void BeamCoreThread::callGraphicsStepLocal(BeamObjectImpl& object, float frameTime)
{
    ObjectScript* script = object.script();
    if (!script)
        return;
    std::string error;
    if (!script->graphicsStepLocal(frameTime, error))
        logMessage(LOG_ERROR, error.c_str(), true);
}

void BeamCoreThread::callPhysicsStep(BeamObjectImpl& object, float dt)
{
    ObjectScript* script = object.script();
    if (!script)
        return;
    std::string error;  // filled only on failure: no allocation on the good path
    if (!script->physicsStep(dt, error))
        logMessage(LOG_ERROR, error.c_str(), true);
}

} // namespace VadiZov
