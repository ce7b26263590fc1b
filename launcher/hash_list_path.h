// How a file's path is written into "hashes.txt".
#pragma once

#include <string>

namespace VadiZov {

// The path relative to `directory` as the list writes it: the first occurrence of the
// directory removed, so it begins with '\', and '\' between components. The UTF-8 name is
// written one byte per character: characters up to U+00FF as that byte, other characters of
// the 16-bit range as "?", characters beyond it as "??". Control characters and bytes that are
// no valid UTF-8 become "?", so a name can never break a line or a field.
std::string hashListPath(const std::string& path, const std::string& directory);

} // namespace VadiZov
