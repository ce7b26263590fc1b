// The fixture of the object tests: a whole engine over an in-memory file system, with a game
// engine, host objects and sound sources that record what the library hands them. Scripts log
// what happens to them ("cb:..." lines), so the tests read the order of events from the log.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/bengine.h"
#include "base/blog.h"
#include "lua/blua.h"
#include "object/bobject.h"
#include "object/bobject_lua_script.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/host_object_double.h"
#include "tests/support/lua_test_support.h"
#include "tests/support/recording_host.h"

namespace VadiZov::testing {

class RecordingSound final : public SFXSource {
public:
    bool isPlaying() override { return true; }
    bool isStopped() override { return false; }
    bool isPaused() override { return false; }
    bool isLooping() override { return false; }
    void play(float) override {}
    void stop(float) override {}
    void pause(float) override {}
    float getElapsedPlayTime() override { return 0.0f; }
    float getTotalPlayTime() override { return 0.0f; }
    bool is3d() override { return true; }
    Vector3 getVelocity() override { return velocity; }
    void setVelocity(Vector3 v) override { velocity = v; ++velocitySets; }
    Vector3 getPosition() override { return position; }
    void setPosition(Vector3 p) override { position = p; ++positionSets; }
    Vector3 getDirection() override { return {}; }
    void setDirection(Vector3) override {}
    void setMinMaxDistance(float, float) override {}
    float getDistToListener() override { return 0.0f; }
    float getVolume() override { return volume; }
    void setVolume(float v) override { volume = v; calls.push_back("volume " + std::to_string(v)); }
    float getPitch() override { return pitch; }
    void setPitch(float p) override { pitch = p; calls.push_back("pitch " + std::to_string(p)); }
    bool isValid() override { return valid; }
    void destroy() override {}

    bool valid = true;
    float volume = -1.0f, pitch = -1.0f;
    Vector3 position, velocity;
    int positionSets = 0, velocitySets = 0;
    std::vector<std::string> calls;
};

class RecordingGameEngine final : public VadiZov::testing::NullGameEngine {
public:
    void queryNodeEnvironment(float3, HostObject*, float* density, int*, float*) override { *density = 1.2f; }
    SFXSource* playSFXOnce(const char* name) override;
    int setupForceFeedback(const char* config) override;
    void sendForceFeedback(int channel, float value) override;
    const char* getForceFeedbackConfig(int channel) override;
    void executeJS(const char* script, int value) override;

    std::vector<std::string> calls;  // "executeJS a 1", "playSFXOnce horn", ...
    bool playReturnsNull = false;
    std::vector<std::unique_ptr<RecordingSound>> played;
};

// The system script records engine events as "event:<name>[ <value>]" log lines.
extern const char* const kSystemScript;
// An object script that builds two nodes 1 m apart along x joined by one beam, and logs every
// callback as "cb:<name>[ args]".
extern const char* const kRecordingObjectScript;

// The engine fixture with the recording system script, the recording game engine, a host object
// and an in-memory file system.
class EngineTest : public EngineFixture {
protected:
    void SetUp() override;

    // Adds the object of directory "obj" (its init.lua is kRecordingObjectScript unless the test
    // replaced it) with the test's host object, or without one.
    BeamObjectImpl* addObject(bool withHostObject = true);
    // Runs Lua text in the object's own state (a failure fails the test).
    void runInObject(BeamObjectImpl* object, const std::string& code);
    // Log lines that start with the prefix, in order, with the prefix kept.
    std::vector<std::string> linesStartingWith(const std::string& prefix) const;
    // Index of the first log line equal to text at or after `from`; -1 when none.
    int indexOf(const std::string& text, int from = 0) const;
    void clearLog() { sink.lines.clear(); }

    MemoryFS fs;
    RecordingGameEngine gameEngine;
    HostObjectDouble hostObject;  // keeps the position the engine gives it
};

} // namespace VadiZov::testing
