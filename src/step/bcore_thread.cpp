#include "step/bcore_thread.h"

#include <new>

#include "contact/bcollision_tree.h"
#include "object/bobject.h"
#include "solver/bsubstep.h"

namespace VadiZov {

BeamCoreThread::BeamCoreThread(ThreadEventTable* eventTable, const ThreadContext<core_parameters_t>& context)
    : VelkorThread(eventTable, context.params), tree(context.tree), collider(context.collider)
{
}

BeamCoreThread::~BeamCoreThread() { delete[] queryResults; }

void BeamCoreThread::run()
{
    if (mode == kThreadModeWork)
        substep();
    else if (mode == kThreadModeSignalOnly)
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
    TreeSlot* slots = tree ? tree->objectSlots(index) : nullptr;
    const int slotCount = tree ? tree->objectSlotCount(index) : 0;
    BeamSubstep::beginSubstep(*object, *params, slots, slotCount);
    signalHalfDone();
    BeamSubstep::forceStage(*object, *params);
    waitForRelease();  // the worker's second release: the tree is built
    BeamSubstep::contactStage(*object, *params, TriangleSearch{tree, queryResults, queryCapacity});
}

void BeamCoreThread::sizeQueryResults(int entries)
{
    delete[] queryResults;
    queryResults = entries > 0 ? new (std::nothrow) uint32_t[size_t(entries)] : nullptr;
    queryCapacity = queryResults ? entries : 0;
}

} // namespace VadiZov
