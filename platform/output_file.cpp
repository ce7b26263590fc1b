#include "platform/output_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/checked_stream.h"
#include "platform/last_error.h"

namespace VadiZov::platform {

OutputKind outputKind(const std::string& path)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return OutputKind::Missing;
    if (S_ISREG(info.st_mode))
        return OutputKind::File;
    if (S_ISDIR(info.st_mode))
        return OutputKind::Directory;
    return S_ISLNK(info.st_mode) ? OutputKind::Link : OutputKind::Other;
}

std::FILE* openOutputFile(const std::string& path)
{
    // Not cut yet, and not waiting for the reader of a FIFO.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        setLastErrorFromErrno();
        return nullptr;
    }
    StreamChecks checks;
    checks.writing = true;
    checks.truncate = true;
    return streamFromDescriptor(fd, "wb", checks);
}

bool makeOutputFolder(const std::string& path)
{
    if (path.empty()) {
        setLastError(ENOENT);
        return false;
    }
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return true;
        setLastError(ENOTDIR);
        return false;
    }
    const size_t slash = path.find_last_of('/', path.find_last_not_of('/'));
    if (slash != std::string::npos && slash > 0 && !makeOutputFolder(path.substr(0, slash)))
        return false;
    if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        setLastErrorFromErrno();
        return false;
    }
    return true;
}

} // namespace VadiZov::platform
