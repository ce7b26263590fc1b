#include "threads/bphysics_worker.h"


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
        buildTree();  // from the slots the core threads just wrote
        cores->release(0);
        cores->waitForAllDone();
        resolveInterObjectContacts();
    }
}

void PhysicsWorker::rebuildCoreThreads()
{
    core_parameters_t& p = *params;
    if (tree)
        tree->resize(p);
    cores->exitThreads();
    cores->addThreads(p.objectCount, 0, kThreadModeWork);
    // Every core thread can hold all the tree's slots as query results.
    const int results = tree ? tree->resultCapacity() : 0;
    for (int n = 0; n < cores->threadCount; ++n)
        cores->threads[n]->sizeQueryResults(results);
    p.objectsChanged = false;
    if (tree)
        tree->writeSlotIds(p);
}

// In slot order: a core thread serves the object in the slot of its index.
void PhysicsWorker::resolveInterObjectContacts()
{
    for (int n = 0; n < cores->threadCount; ++n)
        VadiZov::resolveInterObjectContacts(*params, n, cores->threads[n]->context.collisionCandidates, contacts);
}

void PhysicsWorker::buildTree()
{
    if (!tree)
        return;
    tree->beginBuild();
    tree->build();
}

namespace {
ThreadContext<core_parameters_t> withNewTree(ThreadContext<core_parameters_t> context)
{
    context.tree = new CollisionTriangleTree();
    return context;
}
} // namespace

WorkerManager::WorkerManager(const ThreadContext<core_parameters_t>& context)
    : VelkorThreadManager(withNewTree(context))
{
}

WorkerManager::~WorkerManager()
{
    {
        // The worker must be stopped before its tree goes.
        platform::CriticalSectionGuard guard(context.engineLock);
        exitThreads();
    }
    if (context.tree)
        context.tree->destroy();
    delete context.tree;
    context.tree = nullptr;
}

} // namespace VadiZov
