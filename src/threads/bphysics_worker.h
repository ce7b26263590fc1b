// The physics worker: released once per host frame, it runs every substep of the frame for all
// objects through their core threads, holding the engine lock for the whole frame.
#pragma once

#include <vector>

#include "contact/bcollision_tree.h"
#include "contact/btriangle_contact.h"
#include "object/bcore_parameters.h"
#include "threads/bcore_thread.h"
#include "threads/bthread.h"

namespace VadiZov {

using CoreThreadManager = VelkorThreadManager<BeamCoreThread, core_parameters_t>;

class PhysicsWorker : public VelkorThread<core_parameters_t> {
public:
    PhysicsWorker(ThreadEventTable* eventTable, const ThreadContext<core_parameters_t>& context);
    ~PhysicsWorker() override;

    // One frame: params->substeps substeps of every object.
    void run() override;

    CoreThreadManager* cores;
    CollisionTriangleTree* tree;
    StaticCollider* collider;
    platform::CriticalSection* engineLock;
    std::vector<TriangleContact> contacts;  // reused for every object and substep

private:
    void rebuildCoreThreads();
    void buildTree();
    void resolveInterObjectContacts();
};

// The manager of the physics worker. It owns the collision tree the worker builds and the core
// threads query: made with the manager, freed once the worker has stopped.
class WorkerManager : public VelkorThreadManager<PhysicsWorker, core_parameters_t> {
public:
    explicit WorkerManager(const ThreadContext<core_parameters_t>& context);
    ~WorkerManager() override;
};

// The engine asks for one worker; a manager never holds more than two.
template <>
inline PhysicsWorker* VelkorThreadManager<PhysicsWorker, core_parameters_t>::createThread()
{
    if (threadCount >= 2)
        return nullptr;
    return new PhysicsWorker(&events, context);
}

} // namespace VadiZov
