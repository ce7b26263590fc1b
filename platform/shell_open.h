// Opening a URL in the system's browser: the stand-in for ShellExecute with the verb "open".
// An opener program (VELKOR_URL_OPENER from the environment, else xdg-open) is started with the
// URL as its only argument, straight from an argument vector: never through a shell.
#pragma once

#include <string>

#include "platform/process.h"

namespace VadiZov::platform {

inline constexpr const char* kUrlOpenerVariable = "VELKOR_URL_OPENER";
inline constexpr const char* kDefaultUrlOpener = "xdg-open";

// The opener program: the environment variable's value when it is set and not empty, else
// "xdg-open" (searched in PATH).
std::string urlOpenerProgram();

// Starts the opener for `url` and returns at once; it does not wait for the opener to end.
// With `started` the caller receives the process and must wait for it; without, the opener is
// reaped by a later call (an ended opener leaves no zombie behind for long). False with the
// last error set when the opener could not be started.
bool openUrl(const std::string& url, Process* started = nullptr);

} // namespace VadiZov::platform
