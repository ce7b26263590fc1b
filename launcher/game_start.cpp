#include "launcher/game_start.h"

#include <vector>

#include "launcher/command_line.h"
#include "launcher/failure_box.h"
#include "launcher/module_directory.h"
#include "platform/file_info.h"
#include "platform/last_error_message.h"
#include "platform/process.h"
#include "platform/system_info.h"

namespace VadiZov {

bool isWow64() { return platform::operatingSystemIs64Bit(); }

std::string gameCommandLine(const std::string& commandLine, const std::string& programPath,
                            const std::string& gamePath)
{
    // The whole extent of the first token is exchanged, not a search for the path's text: a
    // token spelled differently from its parsed text would otherwise survive, and the game
    // would be this launcher again.
    const ProgramToken token = parseProgramToken(commandLine);
    std::string line = commandLine;
    if (token.quoted && token.text == programPath && gamePath.find('"') == std::string::npos)
        line.replace(0, token.end, "\"" + gamePath + "\"");
    else
        line.replace(0, token.end, quoteProgramToken(gamePath));
    return line;
}

int launchGame(const std::string& programPath, const std::optional<std::string>& commandLine)
{
    if (!commandLine)
        return reportFailure("Unable to get command line options: " + platform::getLastErrorMessage(),
                             kExitNoCommandLine);

    // Without its own directory the launcher would look for the game below the root.
    const std::string directory = getModuleDirectory();
    if (directory.empty())
        return reportFailure("Unable to start Rovanta: Game executable not found: the launcher's own directory is "
                             "unknown: " + platform::getLastErrorMessage(),
                             kExitGameNotFound);
    const std::string game32 = directory + kGame32Path;
    const std::string game64 = directory + kGame64Path;
    std::string chosen = game32;
    if (isWow64() && platform::fileExists(game64))
        chosen = game64;
    if (!platform::fileExists(chosen))
        return reportFailure("Unable to start Rovanta: Game executable not found: " + chosen,
                             kExitGameNotFound);

    std::vector<std::string> arguments =
        splitCommandLine(gameCommandLine(*commandLine, programPath, chosen));
    arguments[0] = chosen;  // the executable itself, whatever its token had to drop
    platform::Process game;
    if (!platform::startProcess(arguments, &game)) {
        const std::string error = platform::getLastErrorMessage();
        return reportFailure("Unable to start Rovanta: Could not launch game executable: " + chosen +
                                 "\nError: " + error,
                             kExitGameNotStarted);
    }
    platform::waitProcess(game);  // the game's own exit code does not matter
    return kExitGameEnded;
}

} // namespace VadiZov
