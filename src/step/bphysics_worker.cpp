#include "step/bphysics_worker.h"

#include "object/bobject.h"

namespace VadiZov {

PhysicsWorker::PhysicsWorker(ThreadEventTable* eventTable, const ThreadContext<core_parameters_t>& context)
    : VelkorThread(eventTable, context.params),
      tree(context.tree),
      collider(context.collider),
      engineLock(context.engineLock)
{
    ThreadContext<core_parameters_t> coreContext;
    coreContext.tree = context.tree;
    coreContext.collider = context.collider;
    coreContext.params = context.params;
    cores = new CoreThreadManager(coreContext);
}

PhysicsWorker::~PhysicsWorker() { delete cores; }

void PhysicsWorker::run()
{
    core_parameters_t& p = *params;
    platform::CriticalSectionGuard guard(engineLock);
    if (p.objectsChanged)
        rebuildCoreThreads();
    p.lastSubstep = false;
    for (int i = 0; i < p.substeps; ++i) {
        p.currentSubstep = i;
        if (i == p.substeps - 1)
            p.lastSubstep = true;
        cores->release(0);
        cores->waitForAllHalfDone();
        // TODO(triangle-contact): build the collision tree from the slots the core threads just wrote.
        cores->release(0);
        cores->waitForAllDone();
        applyInterObjectContacts();
    }
}

void PhysicsWorker::rebuildCoreThreads()
{
    core_parameters_t& p = *params;
    // The collision tree takes its new slot offsets here.
    cores->exitThreads();
    cores->addThreads(p.objectCount, 0, kThreadModeWork);
    p.objectsChanged = false;
    // The tree slots get their node and object indices here.
}

void PhysicsWorker::applyInterObjectContacts()
{
    const core_parameters_t& p = *params;
    for (int j = 0; j < p.objectCount; ++j) {
        BeamObjectImpl* object = p.objects[j];
        if (!object)
            continue;
        contacts.clear();
        // Each of the object's collision candidates is resolved here; a resolved contact pushes
        // the other object's node at once and leaves its reaction in contacts.
        applyTriangleReactions(*object, contacts);
    }
}

} // namespace VadiZov
