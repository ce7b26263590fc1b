// velkor-host over a data folder that tries to make it read or write outside it, wait forever,
// or run on input that has no meaning: each is refused with its cause.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct HostRun {
    int exitCode = -1;
    std::string out, err;
};

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string pgm(int width, int height)
{
    std::string bytes = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n65535\n";
    bytes.append(size_t(width) * size_t(height) * 2, '\0');
    return bytes;
}

// data/ is the data folder; outside/ lies next to it and must stay out of reach.
class HostInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("velkor-host-input-" + std::to_string(getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(data() / "lua" / "system");
        fs::create_directories(data() / "vehicles" / "box");
        fs::create_directories(dir / "outside");
        write("lua/system/main.lua", "-- system\n");
        write("vehicles/box/init.lua", "function init() end\n");
        write("flat.pgm", pgm(2, 2));
        std::ofstream(dir / "outside" / "x.lua") << "logInfo('ESCAPED from the data folder')\n";
        std::ofstream(dir / "outside" / "t.pgm") << pgm(2, 2);
        std::ofstream(dir / "outside" / "s.txt") << "0 0 0 1 0 0 0 1 0\n";
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path data() const { return dir / "data"; }
    void write(const std::string& relative, const std::string& text) const
    {
        std::ofstream(data() / relative, std::ios::binary) << text;
    }

    // Runs the host on data/ in dir, under a time limit so that a hang fails instead of stalling.
    // `wrapper` goes in front, such as setpriv to run as an ordinary user.
    HostRun run(std::vector<std::string> args, std::vector<std::string> wrapper = {}) const
    {
        const fs::path out = dir / "stdout.txt", err = dir / "stderr.txt";
        std::vector<std::string> command = wrapper;
        for (const char* part : {"timeout", "-k", "5", "60", VELKOR_HOST_PATH})
            command.push_back(part);
        command.insert(command.end(), args.begin(), args.end());
        command.push_back(data().string());
        // Everything the child needs is made before the fork: a child that allocates can block
        // on an allocator lock another thread held at the fork.
        const std::string outPath = out.string(), errPath = err.string();
        std::vector<char*> argv;
        for (std::string& a : command)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir.c_str()) != 0)
                _exit(126);
            const int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(o, 1);
            dup2(e, 2);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
    }

    fs::path dir;
};

} // namespace

TEST_F(HostInput, RefusesInputFilesThatAreNoRegularFileBelowTheDataFolder)
{
    ASSERT_EQ(mkfifo((data() / "fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", data() / "zero");
    fs::create_symlink("../outside/t.pgm", data() / "link-out.pgm");
    fs::create_directory(data() / "folder");
    write("row.pgm", pgm(50, 1));
    const std::string outsideStatic = (dir / "outside" / "s.txt").string();
    const std::string longName(1024, 'n');
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--terrain", "fifo"}, "cannot read fifo: it is not a regular file"},
        {{"--static", "fifo"}, "cannot read fifo: it is not a regular file"},
        {{"--terrain", "zero"}, "cannot read zero: it leaves the directory it must stay below"},
        {{"--terrain", "link-out.pgm"}, "cannot read link-out.pgm: it leaves the directory it must stay below"},
        {{"--terrain", "../outside/t.pgm"}, "--terrain ../outside/t.pgm: must be a path below DATA_DIR"},
        {{"--static", outsideStatic}, "--static " + outsideStatic + ": must be a path below DATA_DIR"},
        {{"--static", "folder"}, "cannot read folder: it is a directory"},
        {{"--terrain", "missing.pgm"}, "cannot read missing.pgm: it does not exist"},
        {{"--terrain", "row.pgm"}, "row.pgm: PGM of 50 x 1 samples has no cell: at least 2 x 2 are needed"},
        {{"--terrain", "flat.pgm", "--height-scale", "3e38"}, "flat.pgm: --square or --height-scale too large"},
        {{"--object", longName}, "--object takes a folder name of at most 1023 characters"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args[1].substr(0, 40));
        const HostRun r = run(c.args);
        EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
        EXPECT_NE(r.err.find("velkor-host: " + c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("SOLVANTE"), std::string::npos) << "the engine started anyway";
    }
    // The same files, where they belong, are accepted.
    const HostRun ok = run({"--terrain", "flat.pgm", "--object", "vehicles/box", "--frames", "1"});
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_NE(ok.out.find("terrain flat.pgm, 2 x 2 samples"), std::string::npos) << ok.out;
}

TEST_F(HostInput, LogNeverReplacesAnInputOrLeavesTheDataFolder)
{
    write("notes.txt", "keep me\n");
    write("old.log", "an old log\n");
    const std::string mainScript = readFile(data() / "lua" / "system" / "main.lua");
    const struct {
        std::string log;
        const char* reason;
    } cases[] = {
        {"lua/system/main.lua", "would replace a file below lua/"},
        {"lua/new.log", "would replace a file below lua/"},
        {"vehicles/box/run.log", "would replace a file in the object folder vehicles/box"},
        {"flat.pgm", "would replace an existing file that is not a log"},
        {"notes.txt", "would replace an existing file that is not a log"},
        {"../outside/run.log", "must be a path below DATA_DIR"},
        {(dir / "abs.log").string(), "must be a path below DATA_DIR"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.log);
        const HostRun r = run({"--log", c.log, "--frames", "1"});
        EXPECT_EQ(r.exitCode, 2) << r.out;
        EXPECT_NE(r.err.find("velkor-host: --log " + c.log + ": " + c.reason), std::string::npos) << r.err;
    }
    EXPECT_EQ(readFile(data() / "lua" / "system" / "main.lua"), mainScript);
    EXPECT_EQ(readFile(data() / "notes.txt"), "keep me\n");
    EXPECT_FALSE(fs::exists(dir / "outside" / "run.log"));
    EXPECT_FALSE(fs::exists(dir / "abs.log"));

    // An old log is replaced, a new one created.
    for (const char* log : {"old.log", "new.log"}) {
        const HostRun r = run({"--log", log, "--frames", "1"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(readFile(data() / log).find("SOLVANTE"), std::string::npos) << log;
    }
}

// Scripts reach files through the host's file system: links are followed only while they stay
// below the data folder, to a file or through a folder.
TEST_F(HostInput, ScriptsRunOnlyFilesWhoseLinksStayBelowTheDataFolder)
{
    fs::create_symlink("../outside/x.lua", data() / "outside.lua");
    fs::create_directory_symlink("../outside", data() / "linked");
    fs::create_directory_symlink(dir / "outside", data() / "absolute");
    write("inside.lua", "logInfo('INSIDE ran')\n");
    fs::create_symlink("inside.lua", data() / "alias.lua");
    write("lua/system/main.lua", "for _, p in ipairs({'outside.lua', 'linked/x.lua', 'absolute/x.lua', "
                                 "'alias.lua', 'lua'}) do\n"
                                 "  logInfo(p .. ' -> ' .. Lua:exec(p))\n"
                                 "end\n");
    const HostRun r = run({"--frames", "1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("ESCAPED"), std::string::npos) << r.out;
    for (const char* line : {"outside.lua -> -2", "linked/x.lua -> -2", "absolute/x.lua -> -2", "INSIDE ran",
                             "alias.lua -> 0", "S0|cannot open file 'lua': is a directory", "lua -> -2"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
}

// An object whose init.lua cannot be read says so, instead of failing later on its missing init.
TEST_F(HostInput, UnreadableObjectScriptIsReportedAsSuch)
{
    fs::permissions(data() / "vehicles" / "box" / "init.lua", fs::perms::none);
    // Root reads every file: the host then runs as an ordinary user.
    std::vector<std::string> wrapper;
    if (geteuid() == 0)
        wrapper = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    const HostRun r = run({"--object", "vehicles/box", "--frames", "1"}, wrapper);
    EXPECT_NE(r.out.find("cannot open file 'vehicles/box/init.lua': error opening file read-only"),
              std::string::npos) << r.out;
    EXPECT_NE(r.out.find("spawnVehicle: vehicles/box/init.lua could not be read"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("attempt to call a nil value"), std::string::npos) << r.out;
}
