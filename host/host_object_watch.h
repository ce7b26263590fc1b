// Whether the object the host added still exists. A script may delete it at any frame (the
// system script's BeamEngine:deleteAllObjects()), and the engine tells the host nothing when it
// does: after each frame the host asks the engine which object is bound to its HostObject, and
// from the frame that finds none it never touches the object's pointer again.
#pragma once

#include "velkor/velkor.h"

namespace VadiZov::host {

class ObjectWatch {
public:
    ObjectWatch(BeamObject* object, HostObject* hostObject) : object_(object), hostObject_(hostObject) {}

    // After host frame `frame` (counted from 1).
    void afterFrame(BeamEngine& engine, int frame);

    // The object while the engine holds it, else null.
    BeamObject* object() const { return object_; }
    // The frame in which it was found deleted; 0 while it exists or when there was none.
    int deletedAtFrame() const { return deletedAtFrame_; }

private:
    BeamObject* object_;
    HostObject* hostObject_;
    int deletedAtFrame_ = 0;
};

// Returns once the physics the last update released has finished: the physics worker holds
// the engine lock for its whole frame, and getObjectPersistentData takes that lock. The call
// only looks an object up; it runs no Lua and changes nothing a script could see.
void waitForPhysicsFrame(BeamEngine& engine, HostObject* hostObject);

} // namespace VadiZov::host
