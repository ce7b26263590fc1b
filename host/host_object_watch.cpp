#include "host/host_object_watch.h"

namespace VadiZov::host {

void ObjectWatch::afterFrame(BeamEngine& engine, int frame)
{
    if (!object_)
        return;
    // The binding to the host object is the key: a script that deleted this object and spawned
    // another gets one bound to no host object, even if it lands at the same address.
    if (!engine.getObjectPersistentData(hostObject_)) {
        object_ = nullptr;
        deletedAtFrame_ = frame;
    }
}

void waitForPhysicsFrame(BeamEngine& engine, HostObject* hostObject)
{
    engine.getObjectPersistentData(hostObject);
}

} // namespace VadiZov::host
