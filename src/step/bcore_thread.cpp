#include "step/bcore_thread.h"

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
    // The collision tree comes with triangle contact; until then no slots are written.
    BeamSubstep::beginSubstep(*object, *params, nullptr);
    signalHalfDone();
    BeamSubstep::forceStage(*object, *params);
    waitForRelease();  // the worker's second release: the tree is built
    BeamSubstep::contactStage(*object, *params);
}

} // namespace VadiZov
