// The core thread of one object: it runs that object's substeps with their scratch, released
// twice per substep by the physics worker (once to integrate, once more after the collision tree
// is built).
#pragma once

#include <cstdint>
#include <string>

#include "contact/btree_slot.h"
#include "object/bcore_parameters.h"
#include "solver/bsubstep_context.h"
#include "threads/bthread.h"

namespace VadiZov {

class BeamCoreThread : public VelkorThread<core_parameters_t> {
public:
    BeamCoreThread(ThreadEventTable* eventTable, const ThreadContext<core_parameters_t>& threadContext);
    ~BeamCoreThread() override;

    // kThreadModeWork steps the object in this thread's slot; kThreadModeSignalOnly only
    // signals half-done.
    void run() override;
    void substep();
    // Room for entries query results (0: none); a failed allocation leaves none, and the
    // search then does nothing.
    void sizeQueryResults(int entries);

    // The scratch of its object's substeps; the worker reads the candidates it leaves.
    SubstepContext context;
    CollisionTriangleTree* tree;
    uint32_t* queryResults = nullptr;  // node and object index per entry, sized by the tree
    int queryCapacity = 0;
    StaticCollider* collider;
};

} // namespace VadiZov
