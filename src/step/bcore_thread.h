// The core thread of one object: it runs that object's substeps, released twice per substep by
// the physics worker (once to integrate, once more after the collision tree is built).
#pragma once

#include <cstdint>
#include <string>

#include "step/bcore_parameters.h"
#include "step/bthread.h"
#include "contact/btree_slot.h"
#include "velkor/types.h"

namespace VadiZov {

class BeamObjectImpl;
struct TrianglePlaneBasis;

class BeamCoreThread : public VelkorThread<core_parameters_t> {
public:
    BeamCoreThread(ThreadEventTable* eventTable, const ThreadContext<core_parameters_t>& context);
    ~BeamCoreThread() override;

    // kThreadModeWork steps the object in this thread's slot; kThreadModeSignalOnly only
    // signals half-done.
    void run() override;
    void substep();
    // Room for entries query results (0: none); a failed allocation leaves none, and the
    // search then does nothing.
    void sizeQueryResults(int entries);
    // The barycentric u of r (relative to the triangle's first node), the basis built on first
    // use (btriangle_search.cpp, beside the search that uses it).
    static float trianglePlaneDistance(TrianglePlaneBasis& basis, const float3& r);

    CollisionTriangleTree* tree;
    uint32_t* queryResults = nullptr;  // node and object index per entry, sized by the tree
    int queryCapacity = 0;
    StaticCollider* collider;
};

} // namespace VadiZov
