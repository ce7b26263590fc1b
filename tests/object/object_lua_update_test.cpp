// The object's per-frame Lua update through the engine: the command queue and its results, the
// error lines of an object's state, the order of the callbacks, activation across a pause, beam
// events, persistent data import, and scripts that delete their own object.
#include <gtest/gtest.h>

#include "solver/bbeam_events.h"
#include "object/bobject_host_output.h"
#include "contact/bcontact_particles.h"
#include "tests/support/objects_test_support.h"

using namespace VadiZov;
using namespace VadiZov::testing;

namespace {

using ObjectLuaUpdate = EngineTest;

TEST_F(ObjectLuaUpdate, CommandResultsFollowTheBatchesAcrossFrames)
{
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->queueLuaCommand("return 'first'", true), 0);
    EXPECT_EQ(object->queueLuaCommand("x = 5", false), -1);
    EXPECT_EQ(object->queueLuaCommand("return x * 2", true), 2);
    EXPECT_EQ(object->queueLuaCommand(nullptr, true), -2);
    EXPECT_EQ(object->getLuaResult(0), nullptr);  // nothing has run yet

    engine->update(0.01f);
    ASSERT_NE(object->getLuaResult(0), nullptr);
    EXPECT_STREQ(object->getLuaResult(0), "first");
    EXPECT_STREQ(object->getLuaResult(1), "10");
    EXPECT_EQ(object->getLuaResult(2), nullptr);
    EXPECT_EQ(object->getLuaResult(-1), nullptr);

    // A frame without commands keeps the results; the next batch replaces them. A chunk that
    // returns nothing gives an empty result, a failing one none at all.
    engine->update(0.01f);
    EXPECT_STREQ(object->getLuaResult(1), "10");
    object->queueLuaCommand("local a = 1", true);
    object->queueLuaCommand("error('no result')", true);
    object->queueLuaCommand("return true", true);
    engine->update(0.01f);
    EXPECT_STREQ(object->getLuaResult(0), "");
    EXPECT_STREQ(object->getLuaResult(1), "");
    EXPECT_EQ(object->getLuaResult(2), nullptr);
}

TEST_F(ObjectLuaUpdate, FailingCommandsAreLoggedWithTheObjectsNameAndChunk)
{
    BeamObjectImpl* object = addObject();
    EXPECT_EQ(object->lua().name(), "V0");
    object->queueLuaCommand("error('plain')", false);
    object->queueLuaCommand("error('asked')", true);
    engine->update(0.01f);
    const std::vector<std::string> lines = linesStartingWith("V0|***");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_NE(lines[0].find("V0|*** FATAL LUA ERROR: [string \"string\"]:1: plain"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], "V0|*** while executing this line: error('plain')");
    EXPECT_EQ(lines[2], "V0|*** in chunk: string");
    EXPECT_NE(lines[3].find("asked"), std::string::npos) << lines[3];
    EXPECT_EQ(lines[4], "V0|*** while executing this line: error('asked')");
    EXPECT_EQ(lines[5], "V0|*** in chunk: object");
}

TEST_F(ObjectLuaUpdate, CallbacksRunInTheirOrderWithinOneFrame)
{
    BeamObjectImpl* object = addObject();
    object->queueLuaCommand("logInfo('cb:command')", false);
    object->setPendingActivation(7);
    const float3 p(1, 2, 3), n(0, 0, 1), v(0, 0, 0);
    emitContactParticle(*object, 0, 2, 5, &p, &n, &v, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    clearLog();
    engine->update(0.01f);
    const std::vector<std::string> calls = linesStartingWith("cb:");
    const std::vector<std::string> expected = {"cb:command", "cb:graphicsStep", "cb:activated 7",
                                               "cb:particleEmitted 5 2 -1"};
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(object->activationMode, 7);
    EXPECT_TRUE(object->frameQueues.contactParticles.empty());
}

TEST_F(ObjectLuaUpdate, ActivationWaitsWhilePausedAndIsDeliveredOnce)
{
    BeamObjectImpl* object = addObject();
    engine->update(0.01f);
    engine->setEnabled(false);
    object->setPendingActivation(3);
    clearLog();
    engine->update(0.01f);
    engine->update(0.01f);
    EXPECT_EQ(indexOf("cb:activated 3"), -1);
    EXPECT_EQ(indexOf("cb:graphicsStep"), -1);  // paused: no graphicsStep either
    EXPECT_EQ(object->activationMode, -1);

    engine->setEnabled(true);
    engine->update(0.01f);
    EXPECT_NE(indexOf("cb:activated 3"), -1);
    EXPECT_EQ(object->activationMode, 3);
    clearLog();
    engine->update(0.01f);
    EXPECT_EQ(indexOf("cb:activated 3"), -1);
}

TEST_F(ObjectLuaUpdate, CommandsRunWhilePausedAndResetsAreCarriedOut)
{
    BeamObjectImpl* object = addObject();
    engine->update(0.01f);
    engine->setEnabled(false);
    object->queueLuaCommand("return 'paused'", true);
    engine->reset(&hostObject);
    clearLog();
    engine->update(0.01f);
    EXPECT_STREQ(object->getLuaResult(0), "paused");
    EXPECT_NE(indexOf("cb:vehicleResetted false"), -1);
}

TEST_F(ObjectLuaUpdate, ACommandQueuedByACommandRunsInTheNextFrame)
{
    BeamObjectImpl* object = addObject();
    object->queueLuaCommand("obj:queueLuaCommand(\"logInfo('cb:second')\", false) logInfo('cb:first')", false);
    clearLog();
    engine->update(0.01f);
    EXPECT_NE(indexOf("cb:first"), -1);
    EXPECT_EQ(indexOf("cb:second"), -1);
    engine->update(0.01f);
    EXPECT_NE(indexOf("cb:second"), -1);
}

TEST_F(ObjectLuaUpdate, ImportedPersistentDataReachesLuaUnchanged)
{
    BeamObjectImpl* object = addObject();
    runInObject(object, "function importPersistentData(s) imported = s end");
    const std::string cases[] = {
        "{\"speed\": 12}",
        "plain",
        "it's",                                  // closes a single-quoted literal
        "')  logInfo('cb:injected') --",         // would run as code inside quotes
        "two\nlines \\ and \"quotes\"\r\n",
        "",
    };
    for (const std::string& data : cases) {
        object->importPersistentData(data.c_str());
        clearLog();
        engine->update(0.01f);
        object->queueLuaCommand("return imported", true);
        engine->update(0.01f);
        ASSERT_NE(object->getLuaResult(0), nullptr) << data;
        EXPECT_EQ(std::string(object->getLuaResult(0)), data);
        EXPECT_EQ(indexOf("cb:injected"), -1);
        EXPECT_TRUE(linesStartingWith("V0|***").empty()) << data;
    }
    object->importPersistentData(nullptr);  // nothing is queued
    EXPECT_EQ(object->queueLuaCommand("x = 1", true), 0);
}

TEST_F(ObjectLuaUpdate, BeamEventsReachTheScriptOnce)
{
    BeamObjectImpl* object = addObject();
    object->beams[0].restLength = 0.5f;  // stretched by 0.5 m: 0.5 * 1000 * 0.25 J
    clearLog();
    runInObject(object, "obj:breakBeam(0) obj:breakBeam(0) obj:breakBeam(5)");
    EXPECT_EQ(linesStartingWith("cb:beamBroken"), std::vector<std::string>{"cb:beamBroken 0 125.000"});
    EXPECT_TRUE(object->beams[0].type == BEAM_BROKEN);

    object->beams[0].restLength = 1.2f;
    object->beamParams[0].lastNotifiedLength = 1.0f;
    object->beamParams[0].deformTriggerRatio = 0.2f;  // a ratio equal to the trigger says nothing
    notifyBeamDeformed(*object, 0);
    object->beamParams[0].deformTriggerRatio = 0.1f;
    notifyBeamDeformed(*object, 0);
    notifyBeamDeformed(*object, 0);  // the last notified length moved to 1.2
    EXPECT_EQ(linesStartingWith("cb:beamDeformed"), std::vector<std::string>{"cb:beamDeformed 0 0.200"});
}

TEST_F(ObjectLuaUpdate, CallbackErrorsAreLoggedAndTheUpdateGoesOn)
{
    BeamObjectImpl* object = addObject();
    runInObject(object, "function graphicsStep() error('gs failed') end");
    // The callbacks were cached at loading: redefining the global changes nothing, so swap the
    // function the cache refers to through a fresh lookup.
    object->luaScript().cacheCallbacks();
    object->setPendingActivation(1);
    clearLog();
    engine->update(0.01f);
    bool logged = false;
    for (const LogLine& line : sink.lines)
        logged = logged || (line.level == LOG_ERROR && line.text.find("gs failed") != std::string::npos);
    EXPECT_TRUE(logged);
    EXPECT_NE(indexOf("cb:activated 1"), -1);
}

TEST_F(ObjectLuaUpdate, AScriptThatDeletesItsOwnObjectFinishesItsUpdateFirst)
{
    BeamObjectImpl* object = addObject();
    engine->update(0.01f);
    object->queueLuaCommand("BeamEngine:deleteAllObjects() logInfo('cb:after delete')", false);
    clearLog();
    engine->update(0.01f);  // under the address sanitiser a use after free fails here
    EXPECT_EQ(engine->getSlotCount(), 0);
    const int after = indexOf("cb:after delete");
    const int graphicsStep = indexOf("cb:graphicsStep");
    const int destroyed = indexOf("cb:vehicleDestroy");
    ASSERT_NE(after, -1);
    ASSERT_NE(destroyed, -1);
    EXPECT_LT(after, graphicsStep);
    EXPECT_LT(graphicsStep, destroyed);
    engine->update(0.01f);
    EXPECT_NE(indexOf("event:despawn"), -1);
}

TEST_F(ObjectLuaUpdate, AnInitThatDeletesItsObjectLeavesAddObjectWithoutOne)
{
    fs.addFile("obj/init.lua", "function init() BeamEngine:deleteAllObjects() end");
    EXPECT_EQ(addObject(), nullptr);
    EXPECT_EQ(engine->getSlotCount(), 0);
    engine->update(0.01f);
}

} // namespace
