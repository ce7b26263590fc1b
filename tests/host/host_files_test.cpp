// What velkor-host writes: scripts write files only below DATA_DIR/written, never through a link;
// the outputs the command line names never replace an input, never go through a link, never
// block on a FIFO, and a failed write is a message with its cause and exit code 1.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "tests/host/host_process.h"

namespace fs = std::filesystem;

namespace {

using VadiZov::testing::HostLimits;
using VadiZov::testing::HostRun;
using VadiZov::testing::readFile;

// dir/data is a copy of the box example; dir is the working folder of each run.
class HostFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("velkor-host-files-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::copy(VELKOR_EXAMPLES_DIR "/box", data(), fs::copy_options::recursive);
        std::ofstream(dir / "notes.txt") << "keep me\n";
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path data() const { return dir / "data"; }
    HostRun run(const fs::path& in, std::vector<std::string> args, const HostLimits& limits = {}) const
    {
        return VadiZov::testing::runHostIn(VELKOR_HOST_PATH, in, args, limits);
    }
    // The flexible box for two frames, with the outputs in `extra`; DATA_DIR as seen from `in`.
    HostRun runBox(const fs::path& in, const std::vector<std::string>& extra, const HostLimits& limits = {}) const
    {
        std::vector<std::string> args = {"--frames", "2", "--object", "vehicles/flexbox", "--at", "0,0,4.5",
                                         "--terrain", "terrain/slope.pgm"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(in == data() ? "." : "data");
        return run(in, args, limits);
    }

    fs::path dir;
};

// ---- files scripts open through the host's file system

TEST_F(HostFiles, ScriptsWriteOnlyBelowTheWrittenFolderAndNeverThroughALink)
{
    fs::create_directories(data() / "written");
    fs::create_symlink("../lua/system/main.lua", data() / "written" / "link.txt");
    fs::create_hard_link(data() / "vehicles" / "flexbox" / "init.lua", data() / "written" / "hard.txt");
    ASSERT_EQ(mkfifo((data() / "written" / "fifo").c_str(), 0600), 0);
    std::ofstream(data() / "written" / "old.txt") << "old";
    const std::string script = readFile(data() / "vehicles" / "flexbox" / "init.lua");
    const std::string mesh = readFile(data() / "meshes" / "box_skin.obj");
    const std::string terrain = readFile(data() / "terrain" / "slope.pgm");
    const struct {
        const char* path;
        const char* mode;
        bool opens;
    } cases[] = {
        {"lua/system/main.lua", "r", true},   {"lua/system/main.lua", "w", false},
        {"lua/system/main.lua", "a", false},  {"vehicles/flexbox/init.lua", "a+", false},
        {"meshes/box_skin.obj", "r+", false}, {"terrain/slope.pgm", "wb", false},
        {"new.txt", "w", false},              {"written/../lua/system/main.lua", "w", false},
        {"written/link.txt", "w", false},     {"written/hard.txt", "a", false},
        {"written/fifo", "w", false},         {"written", "w", false},
        {"written/new.txt", "w", true},       {"./written//more.txt", "wb", true},
        {"written/old.txt", "a", true},       {"written/old.txt", "r+", true},
    };
    std::string lua = "function engineEvent() end\n"
                      "local function try(path, mode)\n"
                      "  local f, err = io.open(path, mode)\n"
                      "  if f then f:close() end\n"
                      "  logInfo('TRY ' .. path .. ' ' .. mode .. ': ' .. (f and 'opened' or tostring(err)))\n"
                      "end\n";
    for (const auto& c : cases)
        lua += std::string("try('") + c.path + "', '" + c.mode + "')\n";
    // What the library writes itself, below the working folder, keeps working.
    lua += "logInfo('dump: ' .. tostring(dumpTableToFile({a = 1}, 'dump.txt')))\n"
           "BeamEngine:setPersistentData('abc')\n"
           "logInfo('saves: ' .. tostring(BeamEngine:getPersistentData()))\n";
    std::ofstream(data() / "lua" / "system" / "main.lua") << lua;
    const std::string mainScript = readFile(data() / "lua" / "system" / "main.lua");

    const HostRun r = runBox(dir, {"--log", "run.log"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const auto& c : cases) {
        const std::string line = std::string("TRY ") + c.path + " " + c.mode + ": ";
        const size_t at = r.out.find(line);
        ASSERT_NE(at, std::string::npos) << line << "\n" << r.out;
        const std::string result = r.out.substr(at + line.size(), r.out.find('\n', at) - at - line.size());
        EXPECT_EQ(result == "opened", c.opens) << line << result;
    }
    EXPECT_NE(r.out.find("velkor-host: lua/system/main.lua not opened for writing: files are written only below "
                         "written/"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(readFile(data() / "lua" / "system" / "main.lua"), mainScript);
    EXPECT_EQ(readFile(data() / "vehicles" / "flexbox" / "init.lua"), script);
    EXPECT_EQ(readFile(data() / "meshes" / "box_skin.obj"), mesh);
    EXPECT_EQ(readFile(data() / "terrain" / "slope.pgm"), terrain);
    EXPECT_FALSE(fs::exists(data() / "new.txt"));
    EXPECT_TRUE(fs::is_regular_file(data() / "written" / "more.txt"));
    EXPECT_EQ(readFile(data() / "written" / "old.txt"), "old");
    // The host's own log, below DATA_DIR but outside written/, is still opened for the engine.
    EXPECT_NE(readFile(data() / "run.log").find("SOLVANTE"), std::string::npos);
    EXPECT_NE(r.out.find("dump: true"), std::string::npos) << r.out;
    EXPECT_NE(readFile(dir / "dump.txt").find("a"), std::string::npos);
    EXPECT_NE(r.out.find("saves: abc"), std::string::npos) << r.out;
}

// The folder scripts write into holds no input.
TEST_F(HostFiles, InputsBelowTheWrittenFolderAreRefused)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--object", "written/v"}, {"--terrain", "./written/t.pgm"}, {"--static", "written/s.txt"}}) {
        const HostRun r = run(dir, {args[0], args[1], "data"});
        EXPECT_EQ(r.exitCode, 2) << args[0];
        EXPECT_NE(r.err.find("velkor-host: " + args[0] + " " + args[1] +
                             ": inputs may not lie below written/, where scripts write"),
                  std::string::npos)
            << r.err;
    }
}

// ---- the outputs of the command line

TEST_F(HostFiles, OutputsThatWouldReplaceAnInputOrLeadElsewhereAreRefusedBeforeTheRun)
{
    fs::create_symlink("notes.txt", dir / "link.svg");
    fs::create_directory(dir / "elsewhere");
    fs::create_directory_symlink("elsewhere", dir / "linked-folder");
    ASSERT_EQ(mkfifo((dir / "fifo.png").c_str(), 0600), 0);
    fs::create_directory(dir / "folder.png");
    const std::string mainScript = readFile(data() / "lua" / "system" / "main.lua");
    const struct {
        bool inData;  // run with DATA_DIR as the working folder
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {true, {"--debug-png", "lua/system/main.lua"},
         "--debug-png lua/system/main.lua: would replace a file below lua/, which holds the scripts"},
        {false, {"--debug-png", "data/lua/system/new.png"},
         "--debug-png data/lua/system/new.png: would replace a file below lua/, which holds the scripts"},
        {false, {"--debug-svg", "data/vehicles/flexbox/x.svg"},
         "--debug-svg data/vehicles/flexbox/x.svg: would replace a file in the object folder vehicles/flexbox"},
        {false, {"--mesh-out", "data/meshes"},
         "--mesh-out data/meshes: would replace a file below meshes/, which holds the meshes"},
        {false, {"--mesh-out", "linked-folder"}, "--mesh-out linked-folder: is a symbolic link"},
        {false, {"--mesh-out", "notes.txt"}, "--mesh-out notes.txt: is not a folder"},
        {false, {"--debug-svg", "link.svg"}, "--debug-svg link.svg: is a symbolic link"},
        {false, {"--debug-png", "fifo.png"}, "--debug-png fifo.png: is not a regular file"},
        {false, {"--debug-png", "folder.png"}, "--debug-png folder.png: is a folder"},
        {false, {"--debug-svg", "missing/x.svg"}, "--debug-svg missing/x.svg: its folder does not exist"},
        {false, {"--debug-png", "notes.txt"},
         "--debug-png notes.txt: would replace an existing file that is not a picture (only a missing file or one "
         "ending in \".png\" is written)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const HostRun r = runBox(c.inData ? data() : dir, c.args);
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        EXPECT_NE(r.err.find("velkor-host: " + c.message + "\n"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("SOLVANTE"), std::string::npos) << "the engine started anyway";
    }
    EXPECT_EQ(readFile(data() / "lua" / "system" / "main.lua"), mainScript);
    EXPECT_EQ(readFile(dir / "notes.txt"), "keep me\n");
    EXPECT_FALSE(fs::exists(data() / "meshes" / "flexbox-0.obj"));
}

// What stands at an output's place when it is written is held to the same rule.
TEST_F(HostFiles, OutputFilesAreNeverWrittenThroughLinks)
{
    fs::create_directory(dir / "out");
    fs::create_symlink("../notes.txt", dir / "out" / "flexbox-0.obj");
    fs::create_hard_link(dir / "notes.txt", dir / "hard.png");
    const HostRun r = runBox(dir, {"--mesh-out", "out", "--debug-png", "hard.png", "--debug-svg", "fine.svg"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("velkor-host: cannot write out/flexbox-0.obj: it is a symbolic link\n"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("velkor-host: cannot write hard.png: it is a hard link: the file has another name\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(readFile(dir / "notes.txt"), "keep me\n");
    // The output that could be written was.
    EXPECT_NE(readFile(dir / "fine.svg").find("<svg"), std::string::npos);
}

// A full disk: each output that cannot be written whole says why, and the run fails.
TEST_F(HostFiles, FailedWritesNameTheirCauseAndEndWithExitCode1)
{
    HostLimits fullDisk;
    fullDisk.fileBytes = 256;  // the smallest of the three outputs, the SVG, takes 339 bytes
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--mesh-out", "out"}, "cannot write out/flexbox-0.obj: File too large"},
        {{"--debug-png", "p.png"}, "cannot write p.png: File too large"},
        {{"--debug-svg", "p.svg"}, "cannot write p.svg: File too large"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        const HostRun r = runBox(dir, c.args, fullDisk);
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        EXPECT_NE(r.err.find("velkor-host: " + c.message + "\n"), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("summary: frames 2"), std::string::npos) << r.out;
    }
}

} // namespace
