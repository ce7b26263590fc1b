// How the launcher tells the user that the game could not be started.
#pragma once

#include <string>

namespace VadiZov {

// Appended to every failure text.
extern const std::string supportMessage;

constexpr const char* kFailureCaption = "Unable to start Rovanta";

// Shows the warning box with `text` followed by supportMessage; returns `exitCode`.
int reportFailure(const std::string& text, int exitCode);

} // namespace VadiZov
