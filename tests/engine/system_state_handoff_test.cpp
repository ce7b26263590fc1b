// The system state's step runs while the previous frame's physics still runs, and physicsStep runs
// on the object's core thread while the host renders. Neither side may reach what the other is
// using: the system script's reads and writes of an object wait for the running frame and see
// the finished frame's values; what physicsStep hands the host waits for the next Lua update.
// This runs under ThreadSanitizer (label handoff): the box example, with scripts that use the
// object every frame from the system state and every substep from physicsStep.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/cart_scene.h"
#include "tests/support/recording_debug_draw.h"
#include "tests/support/recording_host.h"

using namespace VadiZov;
using namespace VadiZov::testing;

namespace {

namespace fs = std::filesystem;

// Each frame the system script reads the box's position and velocity and adds a collision
// triangle, while the frame released last is still running.
const char* const kSystemAddition = R"(
local boxStep = graphicsStep
function graphicsStep(dt)
  boxStep(dt)
  local o = BeamEngine:getSlot(0)
  if o then
    local p, v = o:getPosition(), o:getVelocity()
    o:setCollisionTriangle(-1, 0, 2, 3, 0, 0, -1, 0, nil)
    logInfo(string.format('read %.9g %.9g %.9g %.9g', p.x, p.y, p.z, v.z))
  end
end
)";

// The object's own graphicsStep runs after the frame is done and before the next one starts: what
// it reads is the finished frame. Its physicsStep hands particles, a sound and JavaScript to the
// host while the host reads the particle list and renders the collector.
const char* const kObjectAddition = R"(
local boxGraphicsStep = graphicsStep
local hum = gameEngine:createSFXSource('hum')
function graphicsStep(dt)
  boxGraphicsStep(dt)
  local p, v = obj:getPosition(), obj:getVelocity()
  logInfo(string.format('own %.9g %.9g %.9g %.9g', p.x, p.y, p.z, v.z))
end
local substeps = 0
function physicsStep(dt)
  substeps = substeps + 1
  obj:addParticleByNodes(0, 7, 1, 0, 0.1, 1)
  if substeps % 50 == 0 then
    obj:attachSFXNode(hum, 1)
    obj:executeJS('tick()', substeps)
    obj.debugDrawProxy:drawLine(float3(0, 0, 0), float3(1, 1, 1), color(1, 1, 1, 1))
  end
end
)";

void append(const fs::path& file, const char* text)
{
    std::ofstream out(file, std::ios::app);
    out << text;
}

class SystemStateHandoff : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::path(::testing::TempDir()) / "velkor_system_handoff";
        fs::remove_all(dir);
        fs::copy(fs::path(VELKOR_EXAMPLES_DIR) / "box", dir, fs::copy_options::recursive);
        append(dir / "lua" / "system" / "main.lua", kSystemAddition);
        append(dir / "vehicles" / "box" / "init.lua", kObjectAddition);
    }
    void TearDown() override { fs::remove_all(dir); }

    // The numbers after `prefix` on each log line that starts with it, in order.
    std::vector<std::string> linesStartingWith(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const std::string& text : sink.texts())
            if (text.rfind(prefix, 0) == 0)
                out.push_back(text.substr(prefix.size()));
        return out;
    }

    fs::path dir;
    RecordingLogSink sink;
};

TEST_F(SystemStateHandoff, TheSystemScriptSeesTheFinishedFrameAndPhysicsStepHandsOver)
{
    CartScene scene(dir.string());
    std::string error;
    ASSERT_TRUE(scene.start(&error)) << error;
    scene.engine().setLogSink(&sink);
    const int triangles = scene.object().getTriangleCount();
    debugdrawer& collector = *scene.object().ownDebugDrawer();

    constexpr int kFrames = 120;
    size_t particlesSeen = 0;
    for (int frame = 0; frame < kFrames; ++frame) {
        // No wait between frames: the next update's system step meets the running frame, and the
        // host reads what the object gave it while the frame runs.
        scene.engine().update(scene.options().dt);
        HostParticle* first = nullptr;
        particlesSeen += size_t(scene.object().getParticles(&first));
        RecordingDebugDraw host;
        scene.engine().renderObjectDebug(&host, float3(), &scene.object());
    }
    scene.engine().waitForPhysicsFrame();

    // Both scripts read the same frame in the same update: the system step waited for it.
    const auto reads = linesStartingWith("read ");
    const auto own = linesStartingWith("own ");
    ASSERT_EQ(reads.size(), size_t(kFrames));
    ASSERT_EQ(own.size(), reads.size());
    for (size_t i = 0; i < reads.size(); ++i)
        EXPECT_EQ(reads[i], own[i]) << "update " << i + 1;
    EXPECT_NE(reads.front(), reads.back());  // the box moved
    EXPECT_EQ(scene.object().getTriangleCount(), triangles + kFrames);

    EXPECT_GT(particlesSeen, 0u);  // physicsStep's particles reached the host's list
    EXPECT_FALSE(scene.object().frameQueues.attachedSounds.empty());
    EXPECT_TRUE(collector.linePoints.size() % 2 == 0);
    EXPECT_FALSE(linesStartingWith("*** debugdrawer.drawLine: refused on a physics thread").empty());
}

} // namespace
