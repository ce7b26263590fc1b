// An object's script over the object's own Lua state: the Lua functions the library calls back
// are looked up once and kept as registry references, and every call leaves the state's stack
// as it found it, so a callback that fails every substep cannot fill the stack.
#pragma once

#include <string>

#include "object/bobject_script.h"

namespace VadiZov {

class Lua;
struct particleData;

// The callbacks, in the order they are looked up.
enum class ObjectCallback {
    graphicsStep,
    graphicsStepLocal,
    physicsStep,
    beamBroken,
    beamDeformed,
    vehicleResetted,
    vehicleDestroy,
    particleEmitted,
    activated,
    debugDraw,
};
constexpr int kObjectCallbackCount = 10;

const char* objectCallbackName(ObjectCallback callback);

class LuaObjectScript final : public ObjectScript {
public:
    // Borrows the wrapper, which must outlive this script.
    explicit LuaObjectScript(Lua& lua) : lua_(lua) {}
    LuaObjectScript(const LuaObjectScript&) = delete;
    LuaObjectScript& operator=(const LuaObjectScript&) = delete;

    // Takes a reference to each callback's global, in order; a missing one is logged at
    // warning level as "Lua function '%s' not found." and is then never called. References of
    // an earlier lookup in the same state are released first.
    void cacheCallbacks();
    bool hasCallback(ObjectCallback callback) const { return refs_[int(callback)] >= 0; }

    bool vehicleDestroy(std::string& error) override;
    bool vehicleResetted(bool rotationChanged, std::string& error) override;
    void updateCore() override;
    bool graphicsStepLocal(float frameTime, std::string& error) override;
    bool physicsStep(float dt, std::string& error) override;
    bool beamBroken(int beam, float energy, std::string& error) override;
    bool beamDeformed(int beam, float ratio, std::string& error) override;

    // Host-thread callbacks of the object's per-frame update. particleEmitted hands Lua the
    // record itself, valid during the call only.
    bool graphicsStep(float dt, std::string& error);
    bool activated(int value, std::string& error);
    bool debugDraw(std::string& error);
    bool particleEmitted(particleData& record, std::string& error);

private:
    // Pushes the callback's function and its arguments and calls it protected, with no
    // results; false with the error text on failure. An absent callback counts as success.
    template <class... A>
    bool call(ObjectCallback callback, std::string& error, A... args);

    Lua& lua_;
    int refs_[kObjectCallbackCount] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    unsigned refsGeneration_ = 0;  // the wrapper's state the references belong to; 0 none
};

} // namespace VadiZov
