// Rovanta: starts the game below its own directory, or with "-hash" writes the hash list.
#include <optional>
#include <string>
#include <vector>

#include "launcher/command_line.h"
#include "launcher/failure_box.h"
#include "launcher/game_start.h"
#include "launcher/hash_list.h"
#include "platform/last_error_message.h"

int main(int argc, char** argv)
{
    using namespace VadiZov;
    const std::optional<std::string> commandLine = commandLineFromArguments(argc, argv);
    const std::vector<std::string> arguments =
        commandLine ? splitCommandLine(*commandLine) : std::vector<std::string>();
    if (arguments.empty())
        return reportFailure("Unable to parse command line options: " + platform::getLastErrorMessage(),
                             kExitCommandLineNotSplit);

    const std::string programPath = arguments[0];
    // Only the second argument selects the mode, and only exactly spelled.
    if (arguments.size() >= 2 && arguments[1] == "-hash")
        return writeHashList();
    return launchGame(programPath, commandLine);
}
