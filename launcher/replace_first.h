#pragma once

#include <string>

namespace VadiZov {

// Replaces the first occurrence of `find` in `target`; false (target unchanged) without one.
bool replaceFirst(std::string& target, const std::string& find, const std::string& replacement);

} // namespace VadiZov
