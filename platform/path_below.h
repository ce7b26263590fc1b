// Files below a root directory, reached so that nothing outside the root can be touched: no
// absolute paths, no "..", no link whose target leaves the root, and only regular files are
// opened (a FIFO or device would block or never end). This is the one place that decides
// whether a path stays below a root.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace VadiZov::platform {

// True when `path` is relative, not empty and has no ".." component. '/' and '\' both
// separate components.
bool isPathBelow(const std::string& path);

enum class BelowKind {
    Missing,    // absent, or reachable only by leaving the root
    File,       // a regular file
    Directory,
    Other,      // FIFO, device, socket
};

// What `path` below `root` names; links are followed only while they stay below the root.
BelowKind kindBelow(const std::string& root, const std::string& path);

// Opens the regular file `path` below `root` with a C runtime mode ("r", "rb", "w", "wt",
// "a", "r+", ...). Reading follows links that stay below the root; writing follows none, so a
// link planted where a file is expected is never written through, and writes no file that has
// a second name (a hard link). A file is truncated only once it is known to be one that may be
// written. nullptr with the last error set (EXDEV when the path leaves the root, ELOOP for a
// link, EISDIR or EINVAL for something that is not a regular file, EMLINK for a hard link).
std::FILE* openFileBelow(const std::string& root, const std::string& path, const char* mode);

// Opens `path` below `root` for writing the output of one writer whose files all begin with
// `mark`: a new file is made; an existing one is cut and rewritten only when it begins with
// `mark` (EEXIST otherwise), so nothing but that writer's own earlier output is replaced.
// Follows no link, writes no FIFO nor hard link, and with a limit writes at most `limit` bytes
// (a write past it fails, the stream's error set).
std::FILE* openOwnFileBelow(const std::string& root, const std::string& path, const char* mark, uint64_t limit);

// Makes the folder `path` below `root` unless it is there; the folders above it must exist.
// No link is followed, and a link standing where the folder should be is refused. False with
// the last error set.
bool makeDirectoryBelow(const std::string& root, const std::string& path);

// The components of a relative path, '/' and '\' separating them, empty ones and "." dropped.
std::vector<std::string> pathComponents(const std::string& path);

// The names in the directory `path` below `root`, without "." and "..", sorted by their bytes.
// False with the last error set when it is no directory below the root.
bool listNamesBelow(const std::string& root, const std::string& path, std::vector<std::string>* names);

// Reads the whole of an open file, at most `limit` bytes. False with the last error set (EFBIG
// when the file holds more) on failure.
bool readWholeFile(std::FILE* file, uint64_t limit, std::string* bytes);

// The whole regular file `path` below `root`, at most `limit` bytes.
bool readFileBelow(const std::string& root, const std::string& path, uint64_t limit, std::string* bytes);

// Why a path below a root was refused, in words for a message ("is a directory", "leaves the
// directory it must stay below", ...): the cause behind the last error of the calls above.
std::string refusalText(int code);

} // namespace VadiZov::platform
