#include "platform/directory.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include "platform/last_error.h"

namespace VadiZov::platform {

namespace {

EntryKind entryKind(int directoryFd, const char* name)
{
    struct stat info;
    if (fstatat(directoryFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return EntryKind::Other;  // vanished since it was read
    if (S_ISDIR(info.st_mode))
        return EntryKind::Directory;
    if (S_ISLNK(info.st_mode) && fstatat(directoryFd, name, &info, 0) != 0)
        return EntryKind::Other;
    return S_ISREG(info.st_mode) ? EntryKind::File : EntryKind::Other;
}

} // namespace

bool listDirectory(const std::string& directory, const std::string& mask,
                   std::vector<DirectoryEntry>* entries)
{
    if (!entries) {
        setLastError(kErrorInvalidParameter);
        return false;
    }
    entries->clear();
    DIR* dir = opendir(directory.empty() ? "/" : directory.c_str());
    if (!dir) {
        setLastErrorFromErrno();
        return false;
    }
    const int fd = dirfd(dir);
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry) {
            if (errno != 0) {
                setLastErrorFromErrno();
                closedir(dir);
                return false;
            }
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (fnmatch(mask.c_str(), name.c_str(), 0) != 0)
            continue;
        entries->push_back({name, entryKind(fd, entry->d_name)});
    }
    closedir(dir);
    std::sort(entries->begin(), entries->end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return true;
}

} // namespace VadiZov::platform
