// Files a program writes as the outputs of a run, at paths its user names: never written through
// a link at the end of the path, never anything but a regular file (a FIFO, a device or a folder
// is refused without waiting for it), never a file that has a second name (a hard link). An
// existing file is cut only after these checks.
#pragma once

#include <cstdio>
#include <string>

namespace VadiZov::platform {

enum class OutputKind {
    Missing,
    File,       // a regular file
    Directory,
    Link,       // a symbolic link, not followed
    Other,      // FIFO, device, socket
};

// What `path` names; a link at its end is reported, not followed.
OutputKind outputKind(const std::string& path);

// Opens `path` for writing ("wb"), created or cut to nothing. nullptr with the last error set
// (ELOOP for a link, EISDIR for a folder, EINVAL or ENXIO for something that is not a regular
// file, EMLINK for a hard link, or what the system gave).
std::FILE* openOutputFile(const std::string& path);

// Makes the folder `path` and the folders above it that are missing. False with the last error
// set, ENOTDIR when something that is no folder stands in the way.
bool makeOutputFolder(const std::string& path);

} // namespace VadiZov::platform
