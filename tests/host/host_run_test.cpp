// velkor-host's run as a whole: log lines from the physics threads and the host thread stay
// whole, the summary comes after the last frame's physics, an object a script deletes is
// reported instead of used, and a second --object is refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <regex>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/host/host_process.h"

namespace fs = std::filesystem;

namespace {

using VadiZov::testing::HostRun;

class HostRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("velkor-host-run-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    HostRun run(const std::vector<std::string>& args) const
    {
        return VadiZov::testing::runHostIn(VELKOR_HOST_PATH, dir, args);
    }

    fs::path dir;
};

// ---- log lines and the summary under load

// The object logs one line each substep; the system script logs lines on the host thread while
// the previous frame's physics runs, some of them without a newline.
void writeLoggingScene(const fs::path& data)
{
    fs::create_directories(data / "lua" / "system");
    fs::create_directories(data / "v");
    std::ofstream(data / "lua" / "system" / "main.lua") << R"(
local frame = 0
function engineEvent() end
function graphicsStep(dt)
  frame = frame + 1
  for i = 1, 20 do logInfo(string.format("HOST f%d l%d %s", frame, i, string.rep("h", 60))) end
  logAlwaysNoNewline(string.format("[HOSTNL f%d %s]", frame, string.rep("n", 40)))
end
)";
    std::ofstream(data / "v" / "init.lua") << R"(
local steps = 0
function init()
  obj:setNode(-1, float3(0, 0, 1), 10, NORMALTYPE, 1, -1, false, false)
  obj:setNode(-1, float3(1, 0, 1), 10, NORMALTYPE, 1, -1, false, false)
  obj:setBeam(-1, 0, 1, 1e5, 100, 10, 1e9, 1)
  obj:finishLoading()
end
function physicsStep(dt)
  steps = steps + 1
  logInfo(string.format("PHYS s%d %s", steps, string.rep("p", 60)))
end
function summary() return "physics steps " .. steps end
function graphicsStep() end
function graphicsStepLocal() end
function beamBroken() end
function beamDeformed() end
function vehicleResetted() end
function vehicleDestroy() end
function particleEmitted() end
function activated() end
function debugDraw() end
)";
}

// What is left of the output once every whole message is taken out: a message cut by another
// leaves its pieces behind.
std::string withoutWholeMessages(const std::string& out)
{
    static const std::regex whole("PHYS s[0-9]+ p{60}\n|HOST f[0-9]+ l[0-9]+ h{60}\n|\\[HOSTNL f[0-9]+ n{40}\\]");
    return std::regex_replace(out, whole, "");
}

int countOf(const std::string& text, const std::string& fragment)
{
    int n = 0;
    for (size_t at = text.find(fragment); at != std::string::npos; at = text.find(fragment, at + 1))
        ++n;
    return n;
}

TEST_F(HostRunTest, LogLinesStayWholeAndTheSummaryFollowsTheLastFramesPhysics)
{
    writeLoggingScene(dir / "data");
    // Several runs at once load the machine, so the physics threads and the host thread of each
    // run really do overlap.
    constexpr int kParallel = 8, kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<std::future<HostRun>> runs;
        for (int i = 0; i < kParallel; ++i)
            runs.push_back(std::async(std::launch::async, [this] {
                return run({"--frames", "30", "--object", "v", "data"});
            }));
        for (auto& future : runs) {
            const HostRun r = future.get();
            ASSERT_EQ(r.exitCode, 0) << r.err;
            const std::string rest = withoutWholeMessages(r.out);
            for (const char* piece : {"PHYS", "HOST", "ppp", "hhh", "nnn"})
                EXPECT_EQ(rest.find(piece), std::string::npos) << piece << " left of a cut message:\n" << rest;
            // Every substep logged its line before the summary, which counts them too.
            const size_t summary = r.out.find("summary: frames");
            ASSERT_NE(summary, std::string::npos) << r.out;
            EXPECT_EQ(r.out.find("PHYS", summary), std::string::npos) << r.out.substr(summary);
            const int steps = countOf(r.out, "PHYS s");
            EXPECT_GT(steps, 900);
            EXPECT_NE(r.out.find("summary: substeps " + std::to_string(steps) + " "), std::string::npos)
                << steps << " physics lines\n" << r.out.substr(summary);
            EXPECT_EQ(countOf(r.out, "[HOSTNL f"), 31);  // init's Lua step and 30 frames
        }
    }
}

// ---- an object a script deletes

TEST_F(HostRunTest, ObjectDeletedByAScriptIsReportedAndNeverUsedAgain)
{
    fs::copy(VELKOR_EXAMPLES_DIR "/box", dir / "data", fs::copy_options::recursive);
    // The system script counts init's Lua step as its first frame: its frame n is host frame n - 1.
    const struct {
        const char* deletion;
        int frames;
        const char* deleted;  // null: the object lives to the end
        const char* bodies;
    } cases[] = {
        {"", 6, nullptr, "bodies: 1 "},
        {"if frame == 4 then BeamEngine:deleteAllObjects() end", 6, "object deleted at frame 3", "bodies: 0 "},
        // The replacement, bound to no host object, is not taken for the host's object.
        {"if frame == 4 then BeamEngine:deleteAllObjects() BeamEngine:spawnObject('vehicles/box', float3(0, 0, 3)) end",
         6, "object deleted at frame 3", "bodies: 1 "},
        // In the last frame: the script's summary was already asked for, of an object now gone.
        {"if frame == 7 then BeamEngine:deleteAllObjects() end", 6, "object deleted at frame 6", "bodies: 0 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.deletion);
        fs::remove_all(dir / "meshes-out");
        std::ofstream(dir / "data" / "lua" / "system" / "main.lua")
            << "local frame = 0\nfunction engineEvent() end\n"
               "function graphicsStep(dt)\n  frame = frame + 1\n  "
            << c.deletion << "\nend\n";
        const HostRun r = run({"--frames", std::to_string(c.frames), "--object", "vehicles/flexbox", "--at", "0,0,4.5",
                               "--terrain", "terrain/slope.pgm", "--mesh-out", "meshes-out", "--debug-svg",
                               "picture.svg", "data"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(std::string("summary: status 3: ") + c.bodies + "\n"), std::string::npos) << r.out;
        if (!c.deleted) {
            EXPECT_EQ(r.out.find("object deleted"), std::string::npos) << r.out;
            EXPECT_NE(r.out.find("summary: reference node world position"), std::string::npos) << r.out;
            EXPECT_TRUE(fs::exists(dir / "meshes-out" / "flexbox-0.obj"));
            continue;
        }
        const size_t line = r.out.find(std::string("summary: ") + c.deleted + "\n");
        ASSERT_NE(line, std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("summary: reference node world position"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("summary: reference positions"), std::string::npos) << r.out;
        // What the host kept of it is still told, and nothing of it is written.
        EXPECT_NE(r.out.find("summary: camera reference", line), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("velkor-host: debug render: 0 lines"), std::string::npos) << r.out;
        EXPECT_FALSE(fs::exists(dir / "meshes-out" / "flexbox-0.obj"));
        EXPECT_TRUE(fs::exists(dir / "picture.svg"));
    }
}

TEST_F(HostRunTest, SecondObjectIsRefused)
{
    fs::create_directories(dir / "data");
    const HostRun r = run({"--object", "a", "--object", "b", "data"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("velkor-host: --object given twice: the engine has one object slot\nusage:"),
              std::string::npos)
        << r.err;
}

} // namespace
