// Files, directories and sound sources scripts get from the reference host's own file system and
// game engine, which free them when they are closed or deleted: a later use is a Lua error,
// never freed memory (the sanitizer build runs this), the engine forgets a deleted sound, a
// dropped file is closed when Lua collects it, and a state gives back what it still holds when
// it closes. Descriptors are counted in /proc/self/fd.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "base/blog.h"
#include "engine/bengine.h"
#include "host/host_file_system.h"
#include "host/host_game_engine.h"
#include "lua/blua.h"
#include "object/bobject.h"
#include "tests/support/lua_test_support.h"
#include "tests/support/recording_host.h"
#include "tests/support/engine_fixture.h"

using namespace VadiZov;
using namespace VadiZov::testing;

namespace {

namespace fs = std::filesystem;

constexpr const char* kGone = "object no longer exists";

const char* const kObjectScript = R"(
function init()
  obj:setNode(-1, float3(0, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setNode(-1, float3(1, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setBeam(-1, 0, 1, 1e9, 1000, 10, 1e9, 1)
  obj:setGravity(0)
  obj:finishLoading()
end
function graphicsStep(dt) end
)";

int openDescriptors()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

class HostHandles : public EngineFixture {
protected:
    void SetUp() override
    {
        root = fs::path(::testing::TempDir()) / "velkor_host_handles";
        fs::remove_all(root);
        fs::create_directories(root / "lua" / "system");
        fs::create_directories(root / "obj");
        fs::create_directories(root / "data" / "list");
        std::ofstream(root / "lua" / "system" / "main.lua") << "function graphicsStep(dt) end\n";
        std::ofstream(root / "obj" / "init.lua") << kObjectScript;
        std::ofstream(root / "data" / "a.txt") << "hello";
        std::ofstream(root / "data" / "list" / "one.txt") << "1";
        fileSystem = std::make_unique<host::DiskFileSystem>(root.string());
        EngineFixture::SetUp();
        startEngine(fileSystem.get(), &gameEngine);
    }
    void TearDown() override
    {
        EngineFixture::TearDown();
        fs::remove_all(root);
    }

    Lua& system() { return *engine->systemLua(); }
    std::string inSystem(const std::string& code) { return runProtected(system(), code); }
    BeamObjectImpl* addObject()
    {
        return static_cast<BeamObjectImpl*>(engine->addObject("obj", 0, 0, 0, 0, 0, 0, 1, nullptr));
    }
    void frames(int n)
    {
        for (int i = 0; i < n; ++i)
            engine->update(0.01f);
        engine->waitForPhysicsFrame();
    }
    int timesLogged(const std::string& text) const
    {
        int n = 0;
        for (const std::string& line : sink.texts())
            n += line == text ? 1 : 0;
        return n;
    }

    fs::path root;
    std::unique_ptr<host::DiskFileSystem> fileSystem;
    host::HostGameEngine gameEngine;
};

TEST_F(HostHandles, AHandleClosedOrDeletedIsAnErrorToUseAgain)
{
    struct Case {
        const char* what;
        const char* take;
        const char* giveBack;
        const char* use;
    };
    const Case cases[] = {
        {"length after close", "h = FS:openFile('data/a.txt', 'r')", "h:close()", "return h:length()"},
        {"close twice", "h = FS:openFile('data/a.txt', 'r')", "h:close()", "return h:close()"},
        {"read after close", "h = FS:openFile('data/a.txt', 'r')", "h:close()", "return h:read(nil, 1, 1, 1)"},
        {"directory after close", "h = FS:openDirectory('data/list')", "FS:closeDirectory(h)",
         "return h:getNextFilename()"},
        {"directory closed twice", "h = FS:openDirectory('data/list')", "FS:closeDirectory(h)",
         "FS:closeDirectory(h)"},
        {"sound after delete", "h = gameEngine:createSFXSource('horn')", "gameEngine:deleteSFXSource(h, true)",
         "h:play(0)"},
        {"sound deleted twice", "h = gameEngine:createSFXSource('horn')", "gameEngine:deleteSFXSource(h, true)",
         "gameEngine:deleteSFXSource(h, false)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(inSystem(c.take), "");
        ASSERT_EQ(inSystem(c.giveBack), "");
        EXPECT_NE(inSystem(c.use).find(kGone), std::string::npos);
    }
    EXPECT_TRUE(gameEngine.sounds.empty());
    // The one-shot sound is the game engine's, which may still be playing it.
    EXPECT_NE(inSystem("gameEngine:deleteSFXSource(gameEngine:playSFXOnce('bang'), true)")
                  .find("only a source made by createSFXSource can be deleted"),
              std::string::npos);
    EXPECT_EQ(gameEngine.oneShotCount(), 1u);  // still held, not deleted
    EXPECT_EQ(inSystem("gameEngine:deleteSFXSource(nil, true)"), "");  // nil reaches the host as null
}

TEST_F(HostHandles, TheEngineForgetsASoundAScriptDeleted)
{
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    ASSERT_EQ(runProtected(object->lua(), "s = gameEngine:createSFXSource('engine') obj:attachSFXNode(s, 0) "
                                          "obj:setVolume(s, 0.5) gameEngine:deleteSFXSource(s, true)"),
              "");
    ASSERT_EQ(object->frameQueues.attachedSounds.size(), 1u);
    frames(3);  // the queued volume and the attachment would use the freed source
    EXPECT_TRUE(object->frameQueues.attachedSounds.empty());
    EXPECT_TRUE(gameEngine.sounds.empty());

    // The same from the system state, with the source attached by the object's own script.
    ASSERT_EQ(runProtected(object->lua(), "t = gameEngine:createSFXSource('tyres') obj:attachSFXNode(t, 1)"), "");
    ASSERT_EQ(gameEngine.sounds.size(), 1u);
    frames(1);
    EXPECT_EQ(object->frameQueues.attachedSounds.size(), 1u);
    ASSERT_EQ(runProtected(object->lua(), "gameEngine:deleteSFXSource(t, false)"), "");
    frames(2);
    EXPECT_TRUE(object->frameQueues.attachedSounds.empty());
}

TEST_F(HostHandles, DroppedFilesAndDirectoriesAreClosedWhenCollected)
{
    const int before = openDescriptors();
    ASSERT_EQ(inSystem("for i = 1, 300 do FS:openFile('data/a.txt', 'r') FS:openDirectory('data/list') end"), "");
    // The capacity was reached several times; each time the collector closed what was dropped.
    EXPECT_EQ(inSystem("collectgarbage() collectgarbage()"), "");
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_TRUE(sink.matching("no room for more than").empty());

    // Held ones count: the 65th open file is refused with a message, and closing one makes room.
    ASSERT_EQ(inSystem("held = {} for i = 1, 64 do held[i] = FS:openFile('data/a.txt', 'r') end"), "");
    EXPECT_EQ(inSystem("assert(FS:openFile('data/a.txt', 'r') == nil)"), "");
    EXPECT_EQ(timesLogged("*** openFile: no room for more than 64 open files, refused"), 1);
    EXPECT_EQ(inSystem("held[1]:close() assert(FS:openFile('data/a.txt', 'r') ~= nil)"), "");
    EXPECT_EQ(inSystem("held = nil collectgarbage() collectgarbage()"), "");
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(HostHandles, AClosingStateGivesBackWhatItStillHolds)
{
    const int before = openDescriptors();
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    ASSERT_EQ(runProtected(object->lua(), "keep = {FS:openFile('data/a.txt', 'r'), FS:openDirectory('data/list'),"
                                          " gameEngine:createSFXSource('a'), gameEngine:createSFXSource('b')}"),
              "");
    EXPECT_EQ(gameEngine.sounds.size(), 2u);
    EXPECT_GT(openDescriptors(), before);
    engine->deleteAllObjects();
    EXPECT_TRUE(gameEngine.sounds.empty());
    EXPECT_EQ(openDescriptors(), before);

    // The system state's too, when it is reloaded.
    ASSERT_EQ(inSystem("kept = {FS:openFile('data/a.txt', 'r'), gameEngine:createSFXSource('c')}"), "");
    engine->reloadLua();
    frames(1);
    EXPECT_TRUE(gameEngine.sounds.empty());
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(HostHandles, SoundSourcesAStateMayHoldAreBounded)
{
    ASSERT_EQ(inSystem("held = {} for i = 1, 300 do held[#held + 1] = gameEngine:createSFXSource('x') end"), "");
    EXPECT_EQ(gameEngine.sounds.size(), 256u);
    EXPECT_EQ(timesLogged("*** createSFXSource: no room for more than 256 sound sources, refused"), 1);
    EXPECT_EQ(inSystem("gameEngine:deleteSFXSource(held[1], true) assert(gameEngine:createSFXSource('y'))"), "");
    EXPECT_EQ(gameEngine.sounds.size(), 256u);
}

} // namespace

namespace {

// One-shot sounds: the library asks the host for at most 256 a frame, scripts' and objects'
// together; the reference host never frees one (the library and scripts may still hold it) but
// reuses one that finished before the last update, by which the engine had dropped it.
TEST_F(HostHandles, OneShotSoundsAreBoundedPerFrameAndFinishedOnesAreReused)
{
    const auto hostFrame = [this] {
        engine->update(0.01f);
        gameEngine.endFrame();  // as velkor-host does after each update
        engine->waitForPhysicsFrame();
    };
    const std::string kRefused = "*** playSFXOnce: no room for more than 256 one-shot sounds this frame, refused";
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    hostFrame();
    ASSERT_EQ(inSystem("n = 0 for i = 1, 300 do if gameEngine:playSFXOnce('b') then n = n + 1 end end "
                       "assert(n == 256, n)"),
              "");
    EXPECT_EQ(timesLogged(kRefused), 1);  // repeats of a line are logged once
    sink.lines.clear();
    resetLogStateForTests();
    ASSERT_EQ(runProtected(object->lua(), "obj:playSFXOnce('x', 0, 1, 1)"), "");  // the same count
    EXPECT_EQ(timesLogged(kRefused), 1);
    EXPECT_TRUE(object->frameQueues.sounds.luaHalf.empty());

    // The next frame has room again; one-shots attached to a node follow it until they finish.
    hostFrame();
    ASSERT_EQ(runProtected(object->lua(), "for i = 1, 3 do obj:playSFXOnce('x', 1, 0.5, 0) end"), "");
    hostFrame();  // played and attached, finished at the frame's end
    EXPECT_EQ(object->frameQueues.attachedSounds.size(), 3u);
    EXPECT_EQ(gameEngine.oneShotCount(), 259u);
    hostFrame();  // the engine finds them invalid and drops them
    EXPECT_TRUE(object->frameQueues.attachedSounds.empty());

    // Finished and let go: the next one-shots reuse them instead of adding more.
    ASSERT_EQ(inSystem("for i = 1, 200 do assert(gameEngine:playSFXOnce('again')) end"), "");
    EXPECT_EQ(gameEngine.oneShotCount(), 259u);
    EXPECT_EQ(timesLogged(kRefused), 1);

    // Asked directly, past the library, the host holds no more than its bound.
    int given = 0;
    for (int i = 0; i < 600; ++i)
        given += gameEngine.playSFXOnce("direct") ? 1 : 0;
    EXPECT_EQ(gameEngine.oneShotCount(), host::HostGameEngine::kMaxOneShots);
    EXPECT_EQ(size_t(given), host::HostGameEngine::kMaxOneShots - 259 + 59);  // 59 finished ones reused too
}

} // namespace
