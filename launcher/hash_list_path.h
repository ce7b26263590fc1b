// How a file's path is written into "hashes.txt".
#pragma once

#include <string>

namespace VadiZov {

// The path relative to `directory` as the list writes it: the first occurrence of the
// directory removed, so it begins with '\', and '\' between components. The UTF-8 name is
// written one byte per Latin-1 character. Everything else is escaped, so that two names never
// share a line and no name breaks a line or a field: '?' followed by two hex digits for '?',
// '\' and control characters, "?u" and four digits or "?U" and six for characters beyond
// U+00FF, "?x" and two digits for a byte that is no valid UTF-8.
std::string hashListPath(const std::string& path, const std::string& directory);

} // namespace VadiZov
