// velkor-host run as a process, the way the README's main job runs it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/host/host_process.h"

namespace fs = std::filesystem;

namespace {

using VadiZov::testing::HostRun;
using VadiZov::testing::readFile;

class Host : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("velkor-host-test-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir / "data" / "lua" / "system");
        std::ofstream(dir / "data" / "lua" / "system" / "main.lua") << "-- empty system script\n";
    }
    void TearDown() override { fs::remove_all(dir); }

    HostRun run(const std::string& args) { return VadiZov::testing::runHost(VELKOR_HOST_PATH, dir, args); }
    fs::path dir;
};

} // namespace

TEST_F(Host, BadCommandLinesPrintUsageAndExit2)
{
    const std::string data = (dir / "data").string();
    const std::string cases[] = {"", "--frames", "--frames x " + data, "--frames -3 " + data, "--dt nan " + data,
                                 "--bogus " + data, (dir / "missing").string(), data + " " + data};
    for (const std::string& args : cases) {
        HostRun r = run(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_NE(r.err.find("usage: velkor-host"), std::string::npos) << args;
    }
}

TEST_F(Host, RunsFramesAndPrintsTheBannerThroughItsLogSink)
{
    HostRun r = run("--frames 5 --dt 0.02 " + (dir / "data").string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find(" *******************\n *** SOLVANTE v2 ***\n *******************\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("5 frames of 0.02 s"), std::string::npos) << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST_F(Host, LogFileIsWrittenBelowTheDataDirectory)
{
    HostRun r = run("--frames 1 --log velkor.log " + (dir / "data").string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // The system Lua state starts before the banner and may log its own lines first; the
    // engine's teardown deletes the objects last.
    const std::string log = readFile(dir / "data" / "velkor.log");
    const std::string tail = " *******************\n *** SOLVANTE v2 ***\n *******************\n"
                             "INFO |deleting all objects ...\n";
    ASSERT_GE(log.size(), tail.size()) << log;
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail) << log;
}

TEST_F(Host, TraceListsEveryCallIntoTheHost)
{
    HostRun r = run("--frames 1 --trace --log velkor.log " + (dir / "data").string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("FS::openFile(\"velkor.log\", \"w\")"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("LogSink::log(4, 20 chars, 1)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("FilePure::write(511, 21, 1)"), std::string::npos) << r.err;
}

TEST_F(Host, ExampleDataRuns)
{
    HostRun r = run("--frames 3 " + std::string(VELKOR_EXAMPLES_DIR) + "/demo");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("SOLVANTE"), std::string::npos);
}

// A body that blows up is reported once, and the summary does not pass the spawn point off as
// where it is.
TEST_F(Host, ABodyThatTurnsToNaNIsLoggedOnceAndSummarisedAsNotFinite)
{
    fs::create_directories(dir / "data" / "vehicles" / "v");
    std::ofstream(dir / "data" / "vehicles" / "v" / "init.lua")
        << "function init()\n"
           "  obj:setNode(-1, float3(0, 0, 1), 10, NORMALTYPE, 1, -1, false, false)\n"
           "  obj:setNode(-1, float3(1, 0, 1), 10, NORMALTYPE, 1, -1, false, false)\n"
           "  obj:setBeam(-1, 0, 1, FLT_MAX, 1e15, 0, FLT_MAX, 0.5)\n"  // far too stiff: it blows up
           "  obj:finishLoading()\n"
           "end\n";
    HostRun r = run("--frames 6 --object vehicles/v --at 3,4,5 " + (dir / "data").string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string message = "*** object 0: reference node 0 position is not finite";
    const size_t first = r.out.find(message);
    ASSERT_NE(first, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(message, first + 1), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("summary: reference node world position not finite\n"), std::string::npos) << r.out;
}

// The socket module needs the Lua runtime's symbols, which a host's private load of the library
// does not make global: scripts must still get it.
TEST_F(Host, ScriptsGetTheSocketModule)
{
    std::ofstream(dir / "data" / "lua" / "system" / "main.lua")
        << "local core = package.loaded['socket.core']\n"
           "logInfo('socket module: ' .. type(core) .. ' ' .. type(core and core.tcp))\n";
    HostRun r = run("--frames 1 " + (dir / "data").string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("socket module: table function"), std::string::npos) << r.out;
}

// A stranger's script in the host's data folder: files only below the folder and through the
// host, output into the log, no processes, nothing removed.
TEST_F(Host, ScriptsStayInsideTheDataFolder)
{
    std::ofstream(dir / "outside.txt") << "secret";
    const fs::path pwned = dir / "pwned";
    std::ofstream(dir / "data" / "lua" / "system" / "main.lua")
        << "print('printed', 1)\n"
           "local f = io.open('written/note.txt', 'w') f:write('written by script') f:close()\n"
           "logInfo('read back: ' .. io.open('written/note.txt'):read('*a'))\n"
           "logInfo('outside: ' .. tostring(io.open('../outside.txt')))\n"
           "logInfo('execute: ' .. os.execute('touch " << pwned.string() << "'))\n"
           "logInfo('remove: ' .. tostring(os.remove('written/note.txt')))\n"
           "logInfo('resolve: ' .. select(2, package.loaded.socket.dns.toip('example.com')))\n";
    HostRun r = run("--frames 1 " + (dir / "data").string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* expected :
         {"printed", "read back: written by script", "outside: nil", "Lua tried to execute system command: touch",
          "execute: 0", "Lua tried to remove a file: written/note.txt", "remove: nil", "resolve: restricted"})
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
    EXPECT_EQ(readFile(dir / "data" / "written" / "note.txt"), "written by script");
    EXPECT_FALSE(fs::exists(pwned));
}

// ---- the mechanism examples: rails, a pressurised cushion, wheels

namespace {

// The number that follows `label` in the first line of out that contains it; NaN when absent.
double numberAfter(const std::string& out, const std::string& label)
{
    const size_t at = out.find(label);
    if (at == std::string::npos)
        return std::nan("");
    return std::strtod(out.c_str() + at + label.size(), nullptr);
}

std::string mechanisms(const std::string& object, int frames, bool ground)
{
    std::string args = "--frames " + std::to_string(frames) + " --dt 0.0166667 --object vehicles/" + object;
    if (ground)
        args += " --at 0,0,0.05 --terrain terrain/flat.pgm";
    return args + " " + std::string(VELKOR_EXAMPLES_DIR) + "/mechanisms";
}

} // namespace

TEST_F(Host, SliderRunsOffAnOpenRailAndIsHeldByAStop)
{
    HostRun r = run(mechanisms("slider", 250, true));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GT(numberAfter(r.out, "each slider starts "), 2.5) << r.out;
    // The open rail's slider left it at the lower end and fell; the stop caught the other.
    EXPECT_GT(numberAfter(r.out, "slider open: "), 5.0) << r.out;
    EXPECT_LT(numberAfter(r.out, "slider stop: "), 0.1) << r.out;
    EXPECT_EQ(r.out.find("ERR"), std::string::npos) << r.out;
}

TEST_F(Host, CushionHoldsItsLoadUntilDeflated)
{
    HostRun r = run(mechanisms("cushion", 250, true));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const double inflated = numberAfter(r.out, "cushion inflated: ");
    const double deflated = numberAfter(r.out, "cushion deflated: ");
    EXPECT_GT(inflated, 0.85) << r.out;  // built 1 m tall
    EXPECT_LT(deflated, 0.5) << r.out;
}

TEST_F(Host, DrivenWheelSpinsUpAndBrakedWheelHolds)
{
    HostRun r = run(mechanisms("wheels", 130, false));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // 20 N m on twelve 1 kg nodes at 0.4 m (1.92 kg m^2): 10.4 rad/s per second
    const double first = numberAfter(r.out, "wheels after 1.0 s: free ");
    const double second = numberAfter(r.out, "wheels after 2.0 s: free ");
    EXPECT_NEAR(first, 10.4, 0.5) << r.out;
    EXPECT_NEAR(second, 20.8, 1.0) << r.out;
    EXPECT_NEAR(numberAfter(r.out, "rad/s ("), 20.0 / 12.0, 1e-3) << r.out;  // lastTorque: one node's share
    const std::string lastReport = r.out.substr(r.out.find("wheels after 2.0 s"));
    EXPECT_LT(std::fabs(numberAfter(lastReport, "braked ")), 1.0) << r.out;
    const double turned = numberAfter(lastReport, "turned at most ");
    EXPECT_LT(turned, 0.1) << r.out;
    EXPECT_GT(turned, 0.0) << r.out;  // the brake is a spring: it gives a little
}

// The README's main job as a process: the cart scene with the arguments of examples/demo/args.
// Two runs print the same summary and write the same deformed body mesh, byte for byte.
TEST_F(Host, DemoCartPrintsItsSummaryAndRepeatsItselfExactly)
{
    std::string args = readFile(std::string(VELKOR_EXAMPLES_DIR) + "/demo/args");
    while (!args.empty() && (args.back() == '\n' || args.back() == ' '))
        args.pop_back();
    std::string meshes[2], summaries[2];
    for (int i = 0; i < 2; ++i) {
        const fs::path out = dir / ("meshes" + std::to_string(i));
        HostRun r = run(args + " --mesh-out " + out.string() + " " + VELKOR_EXAMPLES_DIR + "/demo");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        meshes[i] = readFile((out / "cart-0.obj").string());
        summaries[i] = r.out.substr(r.out.find("summary: frames"));
        summaries[i] = summaries[i].substr(0, summaries[i].find("summary: status 1"));
        const size_t rest = r.out.find("summary: status 3");
        ASSERT_NE(rest, std::string::npos) << r.out;
        // status 1 holds the measured frame delay; the mesh file's path differs
        summaries[i] += r.out.substr(rest, r.out.find("velkor-host: wrote") - rest);
        for (const char* line : {"summary: cart: 295 nodes, 1865 beams, 4 wheels, 4 pressure groups",
                                 "summary: cart: driven ", "summary: cart: tire pressures ",
                                 "summary: flexmesh cart_body: 88 vertices", "summary: prop beacon",
                                 "summary: light 0 at"})
            EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
        EXPECT_EQ(r.out.find("FATAL LUA ERROR"), std::string::npos) << r.out;
        // The body mesh has a vertex on each chassis node: its lowest is the body's lowest node.
        // The cart rides on its tires about 0.3 m up; a flat tire or a body sinking into the
        // ground comes lower, a cart that never came down on its wheels stays higher.
        const std::string lowest = "summary: flexmesh cart_body: lowest vertex ";
        const double above = numberAfter(r.out, lowest);
        EXPECT_GT(above, 0.15) << r.out;
        EXPECT_LT(above, 0.45) << r.out;
        const double at = numberAfter(r.out, " m above the terrain at ");
        EXPECT_GT(at, 0.0) << r.out;
        EXPECT_LT(at, 15.0) << r.out;
    }
    EXPECT_GT(meshes[0].size(), 1000u);
    EXPECT_EQ(meshes[0], meshes[1]);
    EXPECT_EQ(summaries[0], summaries[1]);
}

// ---- the fold example: an object's triangles hold its own nodes

TEST_F(Host, FoldedFlapRestsOnThePlateWithinTheContactBand)
{
    const std::string fold = std::string(VELKOR_EXAMPLES_DIR) + "/fold";
    std::string args = readFile(fold + "/args");
    args.erase(args.find_last_not_of(" \n") + 1);
    HostRun r = run(args + " " + fold);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("ERR"), std::string::npos) << r.out;
    // The flap is down by the first report; from then on, for ten more seconds, every flap node
    // stays on the plate's front side within the band (0.1 mm allowed for the tape measure).
    for (int second = 2; second <= 12; ++second) {
        const std::string report = "fold after " + std::to_string(second) + " s: ";
        const size_t at = r.out.find(report);
        ASSERT_NE(at, std::string::npos) << report << "\n" << r.out;
        const std::string line = r.out.substr(at, r.out.find('\n', at) - at);
        const double lowest = numberAfter(line, "lowest flap node ");
        const double highest = numberAfter(line, "highest ");
        EXPECT_GE(lowest, 0.0) << line;
        EXPECT_LE(highest, 0.0251) << line;
    }
}
