// The calls an object makes into its own Lua script. The Lua layer implements this; the object
// only decides when to call and what to do with a failure.
#pragma once

#include <string>

namespace VadiZov {

class ObjectScript {
public:
    // Each call returns false and fills error with the script's error text when the script's
    // function failed. A function the script does not define is not called and counts as success.
    virtual bool vehicleDestroy(std::string& error) = 0;
    virtual bool vehicleResetted(bool rotationChanged, std::string& error) = 0;

    // Called by the solver on the object's core thread while the host thread leaves the script
    // alone. The error text is written only on failure.
    virtual void updateCore() {}  // stack reset and a garbage-collection step, once per frame
    virtual bool graphicsStepLocal(float /*frameTime*/, std::string& /*error*/) { return true; }
    virtual bool physicsStep(float /*dt*/, std::string& /*error*/) { return true; }
    virtual bool beamBroken(int /*beam*/, float /*energy*/, std::string& /*error*/) { return true; }
    virtual bool beamDeformed(int /*beam*/, float /*ratio*/, std::string& /*error*/) { return true; }

protected:
    ~ObjectScript() = default;
};

} // namespace VadiZov
