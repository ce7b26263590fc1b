// The library's three exports.
#include "engine/bengine.h"

extern "C" {

VELKOR_API VadiZov::BeamEngine* getBeamEngine() { return new VadiZov::BeamEngineImpl(); }

VELKOR_API void destroyBeamEngine(VadiZov::BeamEngine* engine)
{
    if (!engine)
        return;
    static_cast<VadiZov::BeamEngineImpl*>(engine)->teardown();
    delete engine;
}

VELKOR_API int getBeamEngineVersion() { return 1; }
}
