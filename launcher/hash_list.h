// The "-hash" mode: "hashes.txt" in the launcher's directory, one line per file below it with
// the relative path, the size and the XXH32 of the content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace VadiZov {

constexpr const char* kHashListName = "hashes.txt";
constexpr size_t kHashBufferSize = 65536;
constexpr uint64_t kUnknownFileSize = ~uint64_t(0);

// Exit codes of the mode.
constexpr int kExitHashListWritten = 0;
constexpr int kExitWalkFailed = 1;
constexpr int kExitHashListNotOpened = 2;
constexpr int kExitBufferNotAllocated = 3;
constexpr int kExitHashListNotWritten = 4;
constexpr int kExitDirectoryUnknown = 5;

// All files below `directory` whose names match `mask`: a directory's own files in name order,
// then its subdirectories from the last name to the first, each walked the same way. Links to
// directories are not followed; only regular files are listed. False when a directory cannot
// be read, with that directory in `failedDirectory` when given and the last error set.
bool listFiles(const std::string& directory, const std::string& mask, std::vector<std::string>* files,
               std::string* failedDirectory = nullptr);

// The XXH32 (seed 0) of the file as eight upper-case hex digits. False, with `hashText`
// unchanged, when the file cannot be opened or a read fails.
bool hashFile(const std::string& path, std::string* hashText, unsigned char* buffer, size_t bufferSize);

// The file's size, or kUnknownFileSize when it cannot be read.
uint64_t fileSize(const std::string& path);

// The whole mode for the launcher's directory; returns one of the exit codes above. Failures
// are reported on standard output.
int writeHashList();

} // namespace VadiZov
