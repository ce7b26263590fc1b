// An object script that records the solver's calls into it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "object/bobject_script.h"
#include "threads/bthread.h"

namespace VadiZov::testing {

class RecordingScript final : public ObjectScript {
public:
    struct Call {
        std::string name;
        double a = 0.0, b = 0.0;
        bool onPhysicsThread = false;
    };
    bool vehicleDestroy(std::string&) override { return true; }
    bool vehicleResetted(bool, std::string&) override { return true; }
    void updateCore() override { calls.push_back({"updateCore", 0, 0, onPhysicsThread()}); }
    bool graphicsStepLocal(float frameTime, std::string& error) override
    {
        calls.push_back({"graphicsStepLocal", frameTime, 0, onPhysicsThread()});
        return fail(error);
    }
    bool physicsStep(float dt, std::string& error) override
    {
        calls.push_back({"physicsStep", dt, 0, onPhysicsThread()});
        if (onPhysicsStep)
            onPhysicsStep();
        return fail(error);
    }
    bool beamBroken(int beam, float energy, std::string& error) override
    {
        calls.push_back({"beamBroken", double(beam), energy, onPhysicsThread()});
        return fail(error);
    }
    bool beamDeformed(int beam, float ratio, std::string& error) override
    {
        calls.push_back({"beamDeformed", double(beam), ratio, onPhysicsThread()});
        return fail(error);
    }
    int count(const std::string& name) const
    {
        int n = 0;
        for (const Call& c : calls)
            n += c.name == name;
        return n;
    }

    std::vector<Call> calls;
    std::string failWith;  // non-empty: every callback fails with this text
    std::function<void()> onPhysicsStep;

private:
    bool fail(std::string& error)
    {
        if (failWith.empty())
            return true;
        error = failWith;
        return false;
    }
};

} // namespace VadiZov::testing
