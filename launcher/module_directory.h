#pragma once

#include <string>

namespace VadiZov {

// The directory of the launcher's own executable, without a trailing separator.
std::string getModuleDirectory();

// The text before the last '/' or '\', whichever comes later; a path without either is
// returned whole.
std::string directoryOfPath(const std::string& path);

} // namespace VadiZov
