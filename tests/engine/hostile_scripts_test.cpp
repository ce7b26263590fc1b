// Scripts that misuse the engine on purpose or by accident: stale handles, objects put back or
// spawned while they are deleted, updates from inside the engine, absurd settings and numbers.
// Each must end in a refusal or a Lua error, never in freed memory, a hang or a silent NaN.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/blifetime.h"
#include "base/blog.h"
#include "base/bmath.h"
#include "base/bsettings.h"
#include "lua/binding/blua_binding_core.h"
#include "lua/blua.h"
#include "tests/support/objects_test_support.h"

using namespace VadiZov;
using namespace VadiZov::testing;

namespace {

constexpr const char* kGone = "object no longer exists";

class HostileScripts : public EngineTest {
protected:
    Lua& system() { return *engine->systemLua(); }
    // Error text of the code in the system state; "" when it ran.
    std::string inSystem(const std::string& code) { return runProtected(system(), code); }
    int count(const std::string& text) const
    {
        int n = 0;
        for (const LogLine& line : sink.lines)
            n += line.text == text ? 1 : 0;
        return n;
    }
    void useObjectScript(const std::string& extra)
    {
        fs.addFile("obj/init.lua", std::string(kRecordingObjectScript) + "\n" + extra);
    }
};

// ---- memory safety

TEST_F(HostileScripts, HandlesOfADeletedObjectRaiseInsteadOfReadingFreedMemory)
{
    struct Case {
        const char* what;
        const char* use;
    };
    const Case cases[] = {
        {"count read", "return keep.node_count"},
        {"count write", "keep.beam_count = 3"},
        {"method", "keep:setNodeMass(0, 1)"},
        {"object as an argument", "BeamEngine:setSlot(0, keep)"},
        {"beam handle", "b:makeAnisotropic(1, 1, 1)"},
        {"beam handle query", "return b:isValid()"},
        {"wheel handle", "wh:addNode(0)"},
        {"wheelData read", "return wd.torque"},
        {"wheelData write", "wd.torque = 5"},
    };
    const std::string take = "BeamEngine:spawnObject('obj', float3(0, 0, 0)) keep = BeamEngine:getSlot(0) "
                             "b = keep:setBeam(-1, 0, 1, 1e9, 1000, 10, 1e9, 1) "
                             "wh = keep:setWheel(-1, 0, 1, -1) wd = keep:getWheel(0)";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(inSystem(take), "");
        EXPECT_EQ(inSystem(c.use), "");  // fine while the object lives
        ASSERT_EQ(inSystem("BeamEngine:deleteAllObjects()"), "");
        ASSERT_EQ(engine->getSlotCount(), 0);
        EXPECT_NE(inSystem(c.use).find(kGone), std::string::npos);
    }
}

TEST_F(HostileScripts, HandlesIntoAScriptMadeObjectDieWithItsValue)
{
    ASSERT_EQ(inSystem("local o = BeamObject()\n"
                       "o:setNode(-1, float3(0, 0, 0), 1, NORMALTYPE, 1, -1, false, false)\n"
                       "o:setNode(-1, float3(1, 0, 0), 1, NORMALTYPE, 1, -1, false, false)\n"
                       "sb = o:setBeam(-1, 0, 1, 1e9, 1000, 10, 1e9, 1) swd = o:setWheel(-1, 0, 1, -1) swd = o:getWheel(0)\n"
                       "assert(swd.torque == 0)"),
              "");
    ASSERT_EQ(inSystem("collectgarbage() collectgarbage()"), "");
    EXPECT_NE(inSystem("return swd.torque").find(kGone), std::string::npos);
    EXPECT_NE(inSystem("sb:setDeformationTriggerRatio(2)").find(kGone), std::string::npos);
}

TEST_F(HostileScripts, AParticleKeptFromItsCallbackIsACopy)
{
    useObjectScript("function particleEmitted(p) kept = p end");
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    particleData particle{};
    particle.depth = 0.25f;
    particle.materialID1 = 3;
    object->frameQueues.contactParticles.push_back(particle);
    engine->update(0.001f);
    engine->waitForPhysicsFrame();
    // The core thread refills the queue: its storage moves.
    particle.depth = 9.0f;
    object->frameQueues.contactParticles.assign(256, particle);
    object->frameQueues.contactParticles.shrink_to_fit();
    runInObject(object, "assert(kept.depth == 0.25 and kept.materialID1 == 3, tostring(kept.depth)) kept.depth = 1");
    EXPECT_EQ(object->frameQueues.contactParticles[0].depth, 9.0f);
    object->frameQueues.contactParticles.clear();
}

TEST_F(HostileScripts, VehicleDestroyCannotPutItsObjectBackOrSpawnAnother)
{
    struct Case {
        const char* destroy;
        const char* refusal;
    };
    const Case cases[] = {
        {"function vehicleDestroy() BeamEngine:setSlot(0, obj) end",
         "*** setSlot: refused while objects are being deleted"},
        {"function vehicleDestroy() BeamEngine:spawnObject('obj', float3(0, 0, 3)) end",
         "*** spawnObject: refused while objects are being deleted"},
        {"function vehicleDestroy() BeamEngine:getSlot(-1) end", "*** getSlot: refused while objects are being deleted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destroy);
        useObjectScript(c.destroy);
        for (bool all : {true, false}) {
            BeamObjectImpl* object = addObject();
            ASSERT_NE(object, nullptr);
            clearLog();
            if (all)
                engine->deleteAllObjects();
            else
                engine->removeObject(object);
            EXPECT_EQ(engine->getSlotCount(), 0);
            EXPECT_EQ(engine->getSlot(0), nullptr);
            EXPECT_EQ(count(c.refusal), 1);
            EXPECT_TRUE(linesStartingWith("creating new object").empty());
        }
    }
    // The fixture's teardown deletes this one with the last script: it must end too.
    EXPECT_NE(addObject(), nullptr);
}

TEST_F(HostileScripts, AttachmentsAddedAfterDestroyAreFreedWithTheObject)
{
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    runInObject(object, "obj:destroy() prop = obj:setProp(-1, 'lamp') mesh = obj:setFlexmesh(-1, 'skin')");
    const void* prop = object->props[0];
    const void* mesh = object->flexmeshes[0];
    ASSERT_NE(prop, nullptr);
    ASSERT_NE(mesh, nullptr);
    EXPECT_NE(lifetimeSerial(prop), 0u);
    engine->deleteAllObjects();
    // Freed: their lifetimes ended with them.
    EXPECT_EQ(lifetimeSerial(prop), 0u);
    EXPECT_EQ(lifetimeSerial(mesh), 0u);
}

// ---- hangs

TEST_F(HostileScripts, UpdateFromInsideTheEngineIsRefusedNotAwaited)
{
    const char* const insideUpdate = "*** update: refused while the engine is updating";
    const char* const insideObject = "*** update: refused while an object's Lua runs";

    useObjectScript("local plainInit = init\nfunction init(dir) BeamEngine:update(0.05) plainInit(dir) end\n"
                    "function graphicsStep(dt) BeamEngine:update(0.05) logInfo('object went on') end");
    clearLog();
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(count(insideObject), 1);  // from init, outside any update
    EXPECT_EQ(object->node_count, 2);   // and init went on

    clearLog();
    engine->update(0.001f);
    EXPECT_EQ(count(insideUpdate), 1);  // from the object's graphicsStep
    EXPECT_EQ(count("object went on"), 1);

    clearLog();
    engine->queueLuaCommand("BeamEngine:update(0.05) logInfo('command went on')");
    engine->update(0.001f);
    EXPECT_EQ(count(insideUpdate), 2);  // the queued command, then graphicsStep again
    EXPECT_EQ(count("command went on"), 1);
    engine->waitForPhysicsFrame();
    EXPECT_GT(object->substepCount, 0);  // the frames themselves ran
}

TEST_F(HostileScripts, AnEngineMadeByAScriptIsNeverStartedOrStepped)
{
    // BeamEngine() as the binding makes it (scripts once reached the constructor through the
    // registry). Stepping it would start a system state of its own running the start script,
    // which could make and step another engine, without end.
    lua_State* L = system().state();
    LuaBinding::pushRegistryValue(L, LuaBinding::staticKeyOf<BeamEngineImpl>());
    lua_getfield(L, -1, "__call");
    lua_pushnil(L);
    ASSERT_EQ(lua_pcall(L, 1, 1, 0), 0);
    lua_setglobal(L, "made");
    lua_pop(L, 1);
    clearLog();
    ASSERT_EQ(inSystem("made:update(0) made:update(0.05) made:deleteAllObjects()\n"
                       "made:spawnObject('obj', float3(0, 0, 0))\n"
                       "logInfo('made engine slots ' .. made:getSlotCount())\n"
                       "made = nil collectgarbage() collectgarbage()"),
              "");
    EXPECT_EQ(count("*** update: refused on an engine made by a script"), 1);  // the log folds the repeat
    EXPECT_EQ(count("made engine slots 0"), 1);
    EXPECT_TRUE(linesStartingWith("creating new object").empty());
    engine->update(0.001f);
    EXPECT_EQ(inSystem("assert(BeamEngine:getSlotCount() == 0)"), "");
}

TEST_F(HostileScripts, SubstepLimitIsClampedWhateverScriptsWriteIntoIt)
{
    struct Case {
        const char* value;
        int substeps;
    };
    const Case cases[] = {
        {"2147483647", 2000}, {"2^31", 1}, {"-1", 1}, {"0", 1}, {"-2^31", 1}, {"80", 80},
    };
    ASSERT_NE(addObject(), nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        ASSERT_EQ(inSystem(std::string("Settings.max_step = ") + c.value), "");
        engine->update(1000.0f);  // one very long frame
        EXPECT_EQ(engine->coreParameters().substeps, c.substeps);
        engine->waitForPhysicsFrame();
    }
}

// ---- wrong successes and silent NaN

TEST_F(HostileScripts, NodesWithUnusableMassOrPositionAreRefusedAndLogged)
{
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    struct Case {
        const char* mass;
        const char* position;
        const char* message;
    };
    const Case cases[] = {
        {"0", "0, 0, 0", "*** setNode: node 2 has an invalid mass (0), ignored"},
        {"-1", "0, 0, 0", "*** setNode: node 2 has an invalid mass (-1), ignored"},
        {"0/0", "0, 0, 0", nullptr},  // the sign of NaN printed varies: checked by prefix
        {"1/0", "0, 0, 0", "*** setNode: node 2 has an invalid mass (inf), ignored"},
        {"1e-40", "0, 0, 0", nullptr},  // denormal
        {"1", "0/0, 0, 0", "*** setNode: node 2 has a position that is not finite, ignored"},
        {"1", "0, 1/0, 0", "*** setNode: node 2 has a position that is not finite, ignored"},
        {"1", "0, 0, -1/0", "*** setNode: node 2 has a position that is not finite, ignored"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mass) + " at " + c.position);
        clearLog();
        resetLogStateForTests();  // the same refusal twice in a row is otherwise folded
        std::string result;
        const std::string code = std::string("return obj:setNode(-1, float3(") + c.position + "), " + c.mass +
                                 ", NORMALTYPE, 1, -1, false, false)";
        ASSERT_EQ(object->lua().executeChunk(code.data(), code.size(), "test", &result), 0);
        EXPECT_EQ(result, "-1");
        EXPECT_EQ(object->node_count, 2);
        const auto errors = linesStartingWith("*** setNode: node 2 has ");
        ASSERT_EQ(errors.size(), 1u);
        if (c.message) {
            EXPECT_EQ(errors[0], c.message);
        }
        // setNodeMass refuses the same masses, silently as it always has.
        if (std::string(c.mass) != "1") {
            runInObject(object, std::string("obj:setNodeMass(0, ") + c.mass + ")");
            EXPECT_EQ(object->nodeProperties[0].mass, 10.0f);
        }
    }
    engine->update(0.01f);
    engine->waitForPhysicsFrame();
    EXPECT_TRUE(std::isfinite(object->nodes[0].worldPos.x));
}

// node_count is a field scripts may write; beams and triangles may then name nodes past it.
// Those nodes stop moving, and nothing else may happen: no assertion, no read out of bounds.
TEST_F(HostileScripts, ANodeCountLoweredUnderItsBeamsAndTrianglesKeepsStepping)
{
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    runInObject(object, "obj:setNode(-1, float3(0, 1, 0), 10, NORMALTYPE, 1, -1, false, false) "
                        "obj:setBeam(-1, 1, 2, 1e9, 1000, 10, 1e9, 1.0) "
                        "obj:setCollisionTriangle(-1, 0, 1, 2, 0, 0, -1, 0, '') "
                        "obj.node_count = 1");
    for (int frame = 0; frame < 5; ++frame)
        engine->update(0.002f);
    engine->waitForPhysicsFrame();
    EXPECT_EQ(object->node_count, 1);
    EXPECT_TRUE(std::isfinite(object->nodes[0].worldPos.z));
    EXPECT_EQ(object->nodes[2].pos.y, 1.0f);  // past the count: held where it was
}

// Gravity and masses that are not finite are refused now; a beam far too stiff for its nodes'
// masses still makes the explicit integration blow the body up within a few substeps.
constexpr const char* kBlowUp = "obj:setBeam(1, 0, 1, FLT_MAX, 1e15, 0, FLT_MAX, 0.5)";

TEST_F(HostileScripts, ABodyTurnedToNaNIsLoggedOnceUntilItIsReset)
{
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    runInObject(object, kBlowUp);
    const std::string message = "*** object 0: reference node 0 position is not finite";
    for (int frame = 0; frame < 5; ++frame)
        engine->update(0.002f);
    engine->waitForPhysicsFrame();
    ASSERT_FALSE(isFinite(object->nodes[0].worldPos));
    EXPECT_EQ(count(message), 1);
    // The reset keeps the beams' springs: this one is made harmless first.
    runInObject(object, "obj:setBeamSpringDamp(1, 0, -1, -1, -1)");
    object->requestReset(RESET_PHYSICS);
    for (int frame = 0; frame < 5; ++frame)
        engine->update(0.002f);
    engine->waitForPhysicsFrame();
    EXPECT_TRUE(isFinite(object->nodes[0].worldPos));  // the reset made it whole again
    EXPECT_EQ(count(message), 1);
    runInObject(object, "obj:setBeamSpringDamp(1, 1e15, -1, -1, -1)");
    clearLog();
    for (int frame = 0; frame < 5; ++frame)
        engine->update(0.002f);
    engine->waitForPhysicsFrame();
    EXPECT_EQ(count(message), 1);  // blown up again after the reset: reported again
}

TEST_F(HostileScripts, TimeScalesThatAreNotFiniteAreRefused)
{
    for (const char* scale : {"0/0", "1/0", "-1/0"}) {
        SCOPED_TRACE(scale);
        clearLog();
        ASSERT_EQ(inSystem(std::string("BeamEngine:setSimulationTimeScale(") + scale + ")"), "");
        EXPECT_EQ(Settings::fps, 2000.0f);
        EXPECT_EQ(linesStartingWith("*** setSimulationTimeScale: scale ").size(), 1u);
        engine->update(0.001f);
        EXPECT_TRUE(linesStartingWith("event:timescale").empty());
    }
    ASSERT_EQ(inSystem("BeamEngine:setSimulationTimeScale(0.5)"), "");
    EXPECT_EQ(Settings::fps, 1000.0f);
}

// ---- a running frame

// physicsStep runs on the object's core thread while the host thread places props, renders the
// collector, reads texts and runs the next system step. Members that would change what the host
// thread uses are refused there; particles and sound attachments are handed over instead.
TEST_F(HostileScripts, PhysicsStepIsRefusedWhatTheHostThreadUsesDuringTheFrame)
{
    useObjectScript("function physicsStep(dt) if pending then local f = loadstring(pending) pending = nil f() end end");
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    struct Case {
        const char* code;
        const char* refusal;
    };
    const Case cases[] = {
        {"obj:destroy()", "*** destroy: refused on a physics thread"},
        {"obj:setProp(0, 'mirror')", "*** setProp: refused on a physics thread"},
        {"obj:setFlexmesh(0, 'skin')", "*** setFlexmesh: refused on a physics thread"},
        {"obj:setReferenceNodes(0, 1, -1, -1, 0, 1)", "*** setReferenceNodes: refused on a physics thread"},
        {"obj:addInternalCamera(0, 1)", "*** addInternalCamera: refused on a physics thread"},
        {"obj:setDebugString('x')", "*** setDebugString: refused on a physics thread"},
        {"obj:setPersistentData('x')", "*** setPersistentData: refused on a physics thread"},
        {"obj.mesh = nil", "*** mesh: refused on a physics thread"},
        {"obj.debugDrawProxy = nil", "*** debugDrawProxy: refused on a physics thread"},
        {"obj.debugDrawProxy:showDebug(true)", "*** debugdrawer.showDebug: refused on a physics thread"},
        {"obj.debugDrawProxy:drawBeams(0)", "*** debugdrawer.drawBeams: refused on a physics thread"},
        {"obj.debugDrawProxy.drawCollisionTris = true", "*** debugdrawer.drawCollisionTris: refused on a physics thread"},
        {"BeamEngine:deleteAllObjects()", "*** deleteAllObjects: refused on a physics thread"},
        {"BeamEngine:spawnObject('obj', float3(0, 0, 0))", "*** spawnObject: refused on a physics thread"},
        {"BeamEngine:getPersistentData()", "*** getPersistentData: refused on a physics thread"},
        {"Settings.gravity = -1", "*** Settings.gravity: refused on a physics thread"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        runInObject(object, std::string("pending = [[") + c.code + "]]");
        clearLog();
        engine->update(0.002f);
        engine->waitForPhysicsFrame();
        EXPECT_EQ(count(c.refusal), 1);
        EXPECT_EQ(engine->getSlotCount(), 1);
    }
    EXPECT_FALSE(object->isDestroyed());
    EXPECT_EQ(object->props[0], nullptr);
    EXPECT_EQ(object->debugDrawProxy, object->ownDebugDrawer());
    EXPECT_FALSE(object->ownDebugDrawer()->enabled);
    EXPECT_TRUE(object->debugString.empty());
    EXPECT_EQ(Settings::gravity, -9.81f);

    // Particles and an attachment made there reach the host's lists at the next Lua update.
    runInObject(object, "bang = gameEngine:playSFXOnce('bang') "
                        "pending = [[obj:addParticleByNodes(0, 1, 2, 7, 1, 1) obj:attachSFXNode(bang, 1)]]");
    engine->update(0.002f);
    engine->waitForPhysicsFrame();
    EXPECT_TRUE(object->hostParticles.empty());
    EXPECT_TRUE(object->frameQueues.attachedSounds.empty());
    engine->update(0.002f);
    engine->waitForPhysicsFrame();
    ASSERT_EQ(object->hostParticles.size(), 1u);
    EXPECT_EQ(object->hostParticles[0].particleType, 7);
    ASSERT_EQ(object->frameQueues.attachedSounds.size(), 1u);
    EXPECT_EQ(object->frameQueues.attachedSounds[0].node, 1);
}

// ---- messages

TEST_F(HostileScripts, ErrorValuesThatAreNotStringsAreLoggedAsTostringWritesThem)
{
    struct Case {
        const char* raise;
        const char* logged;  // the start of the text after "*** FATAL LUA ERROR: "
    };
    const Case cases[] = {
        {"error({})", "table: 0x"},
        {"error(setmetatable({}, {__tostring = function() return 'a custom error' end}))", "a custom error"},
        {"error(setmetatable({}, {__tostring = function() error('again') end}))", "table: 0x"},
        {"error(setmetatable({}, {__tostring = function() return {} end}))", "table: 0x"},
        {"error(nil)", "nil"},
        {"error(true)", "true"},
        {"error(42)", "[string \"engine\"]:1: 42"},
        {"error(coroutine.create(print))", "thread: 0x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raise);
        clearLog();
        resetLogStateForTests();
        system().executeChunk(c.raise, std::strlen(c.raise), "engine");
        const auto lines = sink.matching("*** FATAL LUA ERROR: ");
        ASSERT_EQ(lines.size(), 1u);
        const std::string text = lines[0].substr(lines[0].find("*** FATAL LUA ERROR: ") + 21);
        EXPECT_EQ(text.rfind(c.logged, 0), 0u) << text;
    }
    // The system state's graphicsStep takes the same way.
    ASSERT_EQ(inSystem("function graphicsStep(dt) error({}) end"), "");
    engine->reloadLua();
    fs.addFile("lua/system/main.lua", "function graphicsStep(dt) error(setmetatable({}, {__tostring = "
                                      "function() return 'from graphicsStep' end})) end");
    clearLog();
    engine->update(0.001f);
    engine->waitForPhysicsFrame();
    EXPECT_EQ(count("from graphicsStep"), 1);
    EXPECT_TRUE(sink.matching("(null)").empty());
}

} // namespace
