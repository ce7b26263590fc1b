#include "platform/file_info.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/last_error.h"

namespace VadiZov::platform {

bool fileExists(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        setLastErrorFromErrno();
        return false;
    }
    return !S_ISDIR(info.st_mode);
}

bool getFileSize(const std::string& path, uint64_t* size)
{
    struct stat info;
    if (!size) {
        setLastError(kErrorInvalidParameter);
        return false;
    }
    if (stat(path.c_str(), &info) != 0) {
        setLastErrorFromErrno();
        return false;
    }
    *size = uint64_t(info.st_size);
    return true;
}

std::FILE* openRegularFileForReading(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        setLastErrorFromErrno();
        return nullptr;
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        setLastErrorFromErrno();
        close(fd);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        setLastError(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
        close(fd);
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* file = fdopen(fd, "rb");
    if (!file) {
        setLastErrorFromErrno();
        close(fd);
    }
    return file;
}

} // namespace VadiZov::platform
