// Listing one directory's entries, the way a directory walk needs them.
#pragma once

#include <string>
#include <vector>

namespace VadiZov::platform {

enum class EntryKind {
    Directory,  // a real directory; a symbolic link to one is Other, so walks cannot loop
    File,       // a regular file, also when reached through a symbolic link
    Other,      // FIFOs, devices, sockets, dangling links: nothing that can be read safely
};

struct DirectoryEntry {
    std::string name;
    EntryKind kind = EntryKind::Other;
};

// The entries of `directory` whose names match the wildcard `mask` ('*' any run, '?' one
// character), without "." and "..", sorted by the bytes of their names so that every run sees
// the same order. False with the last error set when the directory cannot be read to its end.
bool listDirectory(const std::string& directory, const std::string& mask,
                   std::vector<DirectoryEntry>* entries);

} // namespace VadiZov::platform
