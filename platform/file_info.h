// Facts about single files and read access that cannot hang on special files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace VadiZov::platform {

// True when the path names an existing entry that is not a directory (links followed).
bool fileExists(const std::string& path);

// The file's size in bytes; false with the last error set when it cannot be read.
bool getFileSize(const std::string& path, uint64_t* size);

// Opens a regular file for binary reading. FIFOs and devices are refused without blocking
// (the open itself would wait for a writer). nullptr with the last error set on failure.
std::FILE* openRegularFileForReading(const std::string& path);

} // namespace VadiZov::platform
