// The graphics update through the engine: when queued JavaScript and sound actions reach the
// host, one-shot sounds and attached sounds, host particles, tire marks and force feedback.
#include <gtest/gtest.h>

#include <cmath>

#include "base/bglobals.h"
#include "object/bobject_frame_queues.h"
#include "object/bobject_host_output.h"
#include "contact/bcontact_particles.h"
#include "tests/support/objects_test_support.h"

using namespace VadiZov;
using namespace VadiZov::testing;

namespace {

using ObjectGraphics = EngineTest;

std::vector<std::string> callsStartingWith(const std::vector<std::string>& calls, const std::string& prefix)
{
    std::vector<std::string> out;
    for (const std::string& c : calls)
        if (c.rfind(prefix, 0) == 0)
            out.push_back(c);
    return out;
}

TEST_F(ObjectGraphics, JavaScriptQueuedBeforeTheSwapGoesOutTheSameFrame)
{
    BeamObjectImpl* object = addObject();
    runInObject(object, R"(
      local frame = 0
      function graphicsStep(dt)
        frame = frame + 1
        obj:executeJS('gs' .. frame .. 'a', 1)
        obj:executeJS('gs' .. frame .. 'b', 2)
      end
      function activated(v) obj:executeJS('activated', v) end
    )");
    object->luaScript().cacheCallbacks();
    object->queueLuaCommand("obj:executeJS('command', 9)", false);
    object->setPendingActivation(4);
    engine->update(0.01f);
    const std::vector<std::string> first = {"executeJS command 9", "executeJS gs1a 1", "executeJS gs1b 2"};
    EXPECT_EQ(callsStartingWith(gameEngine.calls, "executeJS"), first);

    // What activated queued after the swap waits for the next frame, ahead of that frame's own.
    gameEngine.calls.clear();
    engine->update(0.01f);
    const std::vector<std::string> second = {"executeJS activated 4", "executeJS gs2a 1", "executeJS gs2b 2"};
    EXPECT_EQ(callsStartingWith(gameEngine.calls, "executeJS"), second);
}

TEST_F(ObjectGraphics, OneShotSoundsFollowTheirVolumeAndPitch)
{
    BeamObjectImpl* object = addObject();
    object->nodes[1].vel = float3(0.0f, 3.0f, 0.0f);
    runInObject(object, R"(
      obj:playSFXOnce('silent', 0, 0, 2)
      obj:playSFXOnce('volumeOnly', 1, 0.5, 0)
      obj:playSFXOnce('both', 0, 0.25, 1.5)
      obj:playSFXOnce('nowhere', 2, 1, 1)
    )");
    EXPECT_NE(indexOf("*** playSFXOnce: invalid nodeId"), -1);
    engine->update(0.01f);
    ASSERT_EQ(gameEngine.played.size(), 3u);
    EXPECT_EQ(callsStartingWith(gameEngine.calls, "playSFXOnce"),
              (std::vector<std::string>{"playSFXOnce silent", "playSFXOnce volumeOnly", "playSFXOnce both"}));
    RecordingSound& silent = *gameEngine.played[0];
    RecordingSound& volumeOnly = *gameEngine.played[1];
    RecordingSound& both = *gameEngine.played[2];
    EXPECT_TRUE(silent.calls.empty());
    EXPECT_EQ(volumeOnly.calls, std::vector<std::string>{"volume 0.500000"});
    EXPECT_EQ(both.calls, (std::vector<std::string>{"volume 0.250000", "pitch 1.500000"}));
    ASSERT_EQ(object->frameQueues.attachedSounds.size(), 2u);

    // Attached sounds follow their node from the next update on; an invalid one is dropped.
    both.valid = false;
    engine->update(0.01f);
    EXPECT_EQ(silent.positionSets, 0);
    EXPECT_EQ(both.positionSets, 0);
    EXPECT_EQ(volumeOnly.positionSets, 1);
    // The node as the update saw it; the physics frame released afterwards moves it on a little.
    EXPECT_NEAR(volumeOnly.velocity.y, 3.0f, 0.01f);
    EXPECT_NEAR(volumeOnly.position.x, 1.0f, 0.01f);
    ASSERT_EQ(object->frameQueues.attachedSounds.size(), 1u);
    EXPECT_EQ(object->frameQueues.attachedSounds[0].source, &volumeOnly);
}

TEST_F(ObjectGraphics, VolumeAndPitchActionsReachTheirSourceInOrder)
{
    BeamObjectImpl* object = addObject();
    RecordingSound source;
    setVolume(*object, &source, 0.3f);
    setPitch(*object, &source, 0.8f);
    setVolume(*object, nullptr, 1.0f);  // ignored
    attachSFXNode(*object, &source, 5);  // no such node: ignored
    attachSFXNode(*object, nullptr, 0);
    EXPECT_TRUE(source.calls.empty());  // nothing before the frame
    engine->update(0.01f);
    EXPECT_EQ(source.calls, (std::vector<std::string>{"volume 0.300000", "pitch 0.800000"}));
    EXPECT_TRUE(object->frameQueues.attachedSounds.empty());
}

TEST_F(ObjectGraphics, WithoutAGameEngineOrASourceTheCallsAreSkipped)
{
    BeamObjectImpl* object = addObject();
    gameEngine.playReturnsNull = true;
    playSFXOnce(*object, "gone", 0, 1.0f, 1.0f);
    engine->update(0.01f);
    EXPECT_TRUE(object->frameQueues.attachedSounds.empty());

    g_gameEngine = nullptr;
    executeJS(*object, "lost", 1);
    playSFXOnce(*object, "lost", 0, 1.0f, 1.0f);
    EXPECT_EQ(setupForceFeedback(*object, "cfg"), -1);
    EXPECT_EQ(getForceFeedbackConfig(*object, 1), nullptr);
    gameEngine.calls.clear();
    engine->update(0.01f);
    EXPECT_TRUE(gameEngine.calls.empty());
    EXPECT_TRUE(object->frameQueues.javaScript.sendHalf.empty());
    EXPECT_TRUE(object->frameQueues.sounds.sendHalf.empty());
}

TEST_F(ObjectGraphics, ForceFeedbackIsPassedStraightOn)
{
    BeamObjectImpl* object = addObject();
    object->queueLuaCommand("return tostring(obj:setupForceFeedback('cfg')) .. ' ' .. "
                            "tostring(obj:getForceFeedbackConfig(1)) .. ' ' .. tostring(obj:getForceFeedbackConfig(2))",
                            true);
    object->queueLuaCommand("obj:sendForceFeedback(3, 0.5)", false);
    engine->update(0.01f);
    EXPECT_STREQ(object->getLuaResult(0), "42 wheel nil");
    EXPECT_EQ(callsStartingWith(gameEngine.calls, "sendForceFeedback"),
              std::vector<std::string>{"sendForceFeedback 3 0.500000"});
}

TEST_F(ObjectGraphics, ParticlesByNodesPointFromOneNodeToTheOther)
{
    BeamObjectImpl* object = addObject();
    HostParticle* first = nullptr;
    EXPECT_EQ(object->getParticles(&first), 0);
    object->nodes[0].vel = float3(0.0f, 1.0f, 0.0f);
    addParticleByNodes(*object, 0, 1, 2.0f, 7, 0.1f, 0);  // count 0: nothing
    addParticleByNodes(*object, 0, 9, 2.0f, 7, 0.1f, 3);  // no node 9: nothing
    addParticleByNodes(*object, 0, 1, 2.0f, 7, 0.1f, 3);
    addParticleByNodesRelative(*object, 0, 1, 2.0f, 8, 0.2f, 4);
    ASSERT_EQ(object->getParticles(&first), 2);
    EXPECT_EQ(first[0].particleType, 7);
    EXPECT_NEAR(first[0].velocity[0], 2.0f, 2.0f * 1e-3f);
    EXPECT_EQ(first[0].velocity[1], 0.0f);
    EXPECT_EQ(first[0].position[0], object->nodes[0].worldPos.x);
    EXPECT_EQ(first[0].normal[2], 0.0f);
    EXPECT_EQ(first[0].count, 3);
    EXPECT_FLOAT_EQ(first[1].velocity[1], 1.0f);  // the node's own velocity added
    EXPECT_EQ(first[1].width, 0.2f);

    // Both nodes at one place: no direction, no velocity from the speed.
    object->nodes[1].pos = object->nodes[0].pos;
    object->clearParticles();
    addParticleByNodes(*object, 0, 1, 2.0f, 7, 0.1f, 3);
    ASSERT_EQ(object->getParticles(&first), 1);
    EXPECT_EQ(first[0].velocity[0], 0.0f);
    EXPECT_FALSE(std::isnan(first[0].velocity[0]));
}

TEST_F(ObjectGraphics, HostParticlesLiveFromParticleEmittedUntilTheNextUpdate)
{
    BeamObjectImpl* object = addObject();
    runInObject(object, R"(
      function graphicsStep(dt) obj:addParticleByNodes(0, 1, 1, 1, 1, 1) end
      function particleEmitted(p)
        local q = particleData()
        q.particleType = 11 q.pos = p.pos q.normal = p.normal q.nodeVel = p.nodeVel q.width = 0.5 q.count = 2
        obj:addParticle(q)
      end
    )");
    object->luaScript().cacheCallbacks();
    const float3 p(1, 2, 3), n(0, 0, 1), v(4, 5, 6);
    emitContactParticle(*object, 1, 0, 0, &p, &n, &v, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    engine->update(0.01f);
    HostParticle* first = nullptr;
    // The graphicsStep particle was emptied by the same update; the emitted one remains.
    ASSERT_EQ(object->getParticles(&first), 1);
    EXPECT_EQ(first[0].particleType, 11);
    EXPECT_EQ(first[0].position[2], 3.0f);
    EXPECT_EQ(first[0].normal[2], 1.0f);
    EXPECT_EQ(first[0].velocity[0], 4.0f);
    EXPECT_EQ(first[0].width, 0.5f);
    EXPECT_EQ(first[0].count, 2);
    engine->update(0.01f);
    EXPECT_EQ(object->getParticles(&first), 0);
}

TEST_F(ObjectGraphics, TireMarksGoToTheHostObjectOrAreDropped)
{
    BeamObjectImpl* withHost = addObject();
    withHost->frameQueues.tireMarks.push_back({float3(1, 0, 0), float3(0, 0, 1), 0.5f});
    withHost->frameQueues.tireMarks.push_back({float3(2, 0, 0), float3(0, 0, 1), 0.25f});
    engine->update(0.01f);
    std::vector<std::pair<float, float>> marks;  // x, intensity
    for (const auto& mark : hostObject.tireMarks)
        marks.push_back({mark.position.x, mark.intensity});
    EXPECT_EQ(marks, (std::vector<std::pair<float, float>>{{1.0f, 0.5f}, {2.0f, 0.25f}}));
    EXPECT_TRUE(withHost->frameQueues.tireMarks.empty());
    engine->deleteAllObjects();

    BeamObjectImpl* withoutHost = addObject(false);
    withoutHost->frameQueues.tireMarks.push_back({float3(1, 0, 0), float3(0, 0, 1), 0.5f});
    engine->update(0.01f);
    EXPECT_TRUE(withoutHost->frameQueues.tireMarks.empty());
    EXPECT_EQ(hostObject.tireMarks.size(), 2u);
}

} // namespace
