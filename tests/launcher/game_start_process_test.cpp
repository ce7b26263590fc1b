#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "platform/system_info.h"
#include "tests/launcher/launcher_sandbox.h"

using launcher_test::LauncherSandbox;
using launcher_test::RunResult;
namespace fs = std::filesystem;

namespace {

const char* const kGame32 = "Bin32/Rovanta.x86.exe";
const char* const kGame64 = "Bin64/Rovanta.x64.exe";
const std::string kSupportText = "\n\nPlease make sure that the game is installed correctly.\n"
                                 "If the problem persists, please contact our support at:\n";

std::vector<std::string> withProgram(const std::string& program, std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), program);
    return arguments;
}

void expectFailureBox(const RunResult& run, const std::string& text)
{
    EXPECT_EQ(run.err.find("[warning] Unable to start Rovanta\n" + text + kSupportText), 0u) << run.err;
}

} // namespace

TEST(GameStart, PassesEveryArgumentOnIntactAndEndsWithZero)
{
    LauncherSandbox sandbox;
    sandbox.addStandInGame(kGame32, 7);
    // "-hash" only counts as the second argument and spelled exactly.
    const std::vector<std::string> arguments = {
        "-Hash", "-hash", "plain", "with blank", "", "tab\there", "say \"hi\"", "\"", "C:\\dir\\",
        "\\\\server\\share", "a\\\\\"b", "  ", "\xC3\xA9t\xC3\xA9"};
    const RunResult run = sandbox.runLauncher(arguments);
    EXPECT_EQ(run.exitCode, 0) << run.err;  // the game's own 7 does not count
    EXPECT_EQ(sandbox.recordedArguments(kGame32), withProgram(sandbox.path(kGame32), arguments));
}

TEST(GameStart, EndsWithZeroWhenTheGameCrashes)
{
    LauncherSandbox sandbox;
    sandbox.write(kGame32, "#!/bin/sh\nkill -SEGV $$\n");
    fs::permissions(sandbox.path(kGame32), fs::perms::owner_all);
    const RunResult run = sandbox.runLauncher({});
    EXPECT_EQ(run.exitCode, 0) << run.err;
}

TEST(GameStart, ChoosesTheBuildThatFitsTheOperatingSystem)
{
    if (!VadiZov::platform::operatingSystemIs64Bit())
        GTEST_SKIP() << "needs a 64-bit system";
    {
        LauncherSandbox sandbox;
        sandbox.addStandInGame(kGame32);
        sandbox.addStandInGame(kGame64);
        ASSERT_EQ(sandbox.runLauncher({"x"}).exitCode, 0);
        EXPECT_EQ(sandbox.recordedArguments(kGame64), withProgram(sandbox.path(kGame64), {"x"}));
        EXPECT_TRUE(sandbox.recordedArguments(kGame32).empty());
    }
    {
        LauncherSandbox sandbox;  // a 32-bit system takes the 32-bit build even with both present
        sandbox.addStandInGame(kGame32);
        sandbox.addStandInGame(kGame64);
        const RunResult run = sandbox.runLauncher({"x"}, {"setarch", "i686"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(sandbox.recordedArguments(kGame32), withProgram(sandbox.path(kGame32), {"x"}));
        EXPECT_TRUE(sandbox.recordedArguments(kGame64).empty());
    }
    {
        LauncherSandbox sandbox;  // only the 32-bit build; a folder named like the 64-bit one
        sandbox.addStandInGame(kGame32);
        fs::create_directories(sandbox.path(kGame64));
        ASSERT_EQ(sandbox.runLauncher({}).exitCode, 0);
        EXPECT_EQ(sandbox.recordedArguments(kGame32), withProgram(sandbox.path(kGame32), {}));
    }
}

TEST(GameStart, StartedByBareNameFromADirectoryWithBlanks)
{
    // The launcher's token has no blank but the game's path has: it must get quotes, or the
    // game would see its path split into pieces.
    LauncherSandbox sandbox("my game");
    sandbox.addStandInGame(kGame32);
    const RunResult run = sandbox.run({"/bin/sh", "-c", "PATH=\"$0:$PATH\" exec Rovanta \"$@\"",
                                       sandbox.dir(), "one", "two words"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(sandbox.recordedArguments(kGame32), withProgram(sandbox.path(kGame32), {"one", "two words"}));
}

TEST(GameStart, ReportsAMissingGameWithCodeThree)
{
    LauncherSandbox sandbox;
    fs::create_directories(sandbox.path(kGame32));  // a folder does not count as the game
    const RunResult run = sandbox.runLauncher({"x"});
    EXPECT_EQ(run.exitCode, 3);
    expectFailureBox(run, "Unable to start Rovanta: Game executable not found: " + sandbox.path(kGame32));
}

// Without /proc the launcher cannot know where it lies; it must not look for the game below the
// file system's root.
TEST(GameStart, ReportsAnUnknownOwnDirectoryAsAMissingGame)
{
    LauncherSandbox sandbox;
    if (const std::string why = launcher_test::whyProcCannotBeHidden(); !why.empty())
        GTEST_SKIP() << why;
    const RunResult run = sandbox.runLauncher(
        {"x"}, launcher_test::withoutProc());
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err.find("[warning] Unable to start Rovanta\nUnable to start Rovanta: Game executable not found: "
                           "the launcher's own directory is unknown: "),
              0u)
        << run.err;
}

TEST(GameStart, ReportsAGameThatCannotStartWithCodeFour)
{
    LauncherSandbox sandbox;
    sandbox.write(kGame32, "#!/bin/sh\nexit 0\n");  // not executable
    fs::permissions(sandbox.path(kGame32), fs::perms::owner_read | fs::perms::owner_write);
    const RunResult run = sandbox.runLauncher({});
    EXPECT_EQ(run.exitCode, 4);
    expectFailureBox(run, "Unable to start Rovanta: Could not launch game executable: " +
                              sandbox.path(kGame32) + "\nError: Permission denied");
}
