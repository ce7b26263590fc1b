#include "threads/bcore_thread.h"

#include <new>

#include "contact/bcollision_tree.h"
#include "object/bobject_records.h"
#include "solver/bsubstep.h"

namespace VadiZov {

BeamCoreThread::BeamCoreThread(ThreadEventTable* eventTable, const ThreadContext<core_parameters_t>& threadContext)
    : VelkorThread(eventTable, threadContext.params), tree(threadContext.tree), collider(threadContext.collider)
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
    BeamObjectRecords* object = params->objects ? params->objects[index] : nullptr;
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
    BeamSubstep::forceStage(*object, context, *params);
    waitForRelease();  // the worker's second release: the tree is built
    BeamSubstep::contactStage(*object, context, *params, TriangleSearch{tree, queryResults, queryCapacity});
}

void BeamCoreThread::sizeQueryResults(int entries)
{
    delete[] queryResults;
    queryResults = entries > 0 ? new (std::nothrow) uint32_t[size_t(entries)] : nullptr;
    queryCapacity = queryResults ? entries : 0;
}

} // namespace VadiZov
