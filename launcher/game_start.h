// Starting the 32-bit or 64-bit game below the launcher's directory with the launcher's own
// command line, and waiting for it.
#pragma once

#include <optional>
#include <string>

namespace VadiZov {

constexpr const char* kGame32Path = "/Bin32/Rovanta.x86.exe";
constexpr const char* kGame64Path = "/Bin64/Rovanta.x64.exe";

// Exit codes of the game start.
constexpr int kExitGameEnded = 0;
constexpr int kExitCommandLineNotSplit = 1;
constexpr int kExitNoCommandLine = 2;
constexpr int kExitGameNotFound = 3;
constexpr int kExitGameNotStarted = 4;

// True when the operating system is 64-bit, so the 64-bit build may run.
bool isWow64();

// The launcher's command line with its program token exchanged for the game's path. The path
// is quoted when it holds a blank or tab, and stays quoted when the launcher's token was.
std::string gameCommandLine(const std::string& commandLine, const std::string& programPath,
                            const std::string& gamePath);

// Starts the game, waits for it and returns one of the exit codes above; failures are shown
// in the failure box. `commandLine` is the launcher's own; nothing when it has none.
int launchGame(const std::string& programPath, const std::optional<std::string>& commandLine);

} // namespace VadiZov
