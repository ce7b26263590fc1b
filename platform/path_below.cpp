#include "platform/path_below.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/checked_stream.h"
#include "platform/last_error.h"

namespace VadiZov::platform {

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// The components of a relative path, empty ones and "." dropped.
std::vector<std::string> componentsOf(const std::string& path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !isSeparator(path[end]))
            ++end;
        std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".")
            parts.push_back(std::move(part));
        start = end + 1;
    }
    return parts;
}

std::string joined(const std::vector<std::string>& parts)
{
    std::string path;
    for (const std::string& part : parts)
        path += (path.empty() ? "" : "/") + part;
    return path.empty() ? "." : path;
}

// Without openat2, walk one component at a time and follow no link at all: stricter than
// needed, never looser.
int openByComponents(int directory, const std::vector<std::string>& parts, int flags, mode_t mode)
{
    int current = directory;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const int next = openat(current, parts[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (current != directory)
            close(current);
        if (next < 0)
            return -1;
        current = next;
    }
    const char* last = parts.empty() ? "." : parts.back().c_str();
    const int fd = openat(current, last, flags | O_NOFOLLOW | O_CLOEXEC, mode);
    const int saved = errno;
    if (current != directory)
        close(current);
    errno = saved;
    return fd;
}

// `flags` are open(2) flags; the result is a descriptor or -1 with the last error set.
int openBelow(const std::string& root, const std::string& path, int flags, bool followLinks)
{
    if (!path.empty() && !isPathBelow(path)) {
        setLastError(EXDEV);
        return -1;
    }
    const int directory = open(root.empty() ? "." : root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) {
        setLastErrorFromErrno();
        return -1;
    }
    const std::vector<std::string> parts = componentsOf(path);
    const mode_t mode = (flags & O_CREAT) ? 0666 : 0;
    open_how how{};
    how.flags = uint64_t(flags | O_CLOEXEC);
    how.mode = mode;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS | (followLinks ? 0 : RESOLVE_NO_SYMLINKS);
    int fd = int(syscall(SYS_openat2, directory, joined(parts).c_str(), &how, sizeof how));
    if (fd < 0 && (errno == ENOSYS || errno == EPERM))
        fd = openByComponents(directory, parts, flags, mode);
    const int saved = errno;
    close(directory);
    if (fd < 0) {
        setLastError(saved);
        return -1;
    }
    return fd;
}

int openFlagsFor(const char* mode)
{
    if (!mode || !*mode)
        return -1;
    const bool update = std::string(mode).find('+') != std::string::npos;
    switch (mode[0]) {
    case 'r': return update ? O_RDWR : O_RDONLY;
    case 'w': return (update ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
    case 'a': return (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
    default: return -1;
    }
}

} // namespace

bool isPathBelow(const std::string& path)
{
    if (path.empty() || isSeparator(path[0]))
        return false;
    for (const std::string& part : componentsOf(path))
        if (part == "..")
            return false;
    return true;
}

BelowKind kindBelow(const std::string& root, const std::string& path)
{
    const int fd = openBelow(root, path, O_PATH, true);
    if (fd < 0)
        return BelowKind::Missing;
    struct stat info;
    const bool known = fstat(fd, &info) == 0;
    close(fd);
    if (!known)
        return BelowKind::Missing;
    if (S_ISREG(info.st_mode))
        return BelowKind::File;
    return S_ISDIR(info.st_mode) ? BelowKind::Directory : BelowKind::Other;
}

std::FILE* openFileBelow(const std::string& root, const std::string& path, const char* mode)
{
    const int flags = openFlagsFor(mode);
    if (flags < 0 || path.empty()) {
        setLastError(kErrorInvalidParameter);
        return nullptr;
    }
    const bool writing = (flags & O_ACCMODE) != O_RDONLY;
    // Non-blocking, so that opening a FIFO cannot wait for the other end; not truncating yet,
    // so that nothing is cut before the file is known to be one that may be written.
    const int fd = openBelow(root, path, (flags & ~O_TRUNC) | O_NONBLOCK, !writing);
    if (fd < 0)
        return nullptr;
    StreamChecks checks;
    checks.writing = writing;
    checks.truncate = (flags & O_TRUNC) != 0;
    return streamFromDescriptor(fd, mode, checks);
}

std::FILE* openOwnFileBelow(const std::string& root, const std::string& path, const char* mark, uint64_t limit)
{
    if (path.empty() || !mark || !*mark) {
        setLastError(kErrorInvalidParameter);
        return nullptr;
    }
    StreamChecks checks;
    checks.writing = true;
    checks.limit = limit;
    const int writeFlags = O_WRONLY | O_NONBLOCK | O_NOFOLLOW;
    int fd = openBelow(root, path, writeFlags | O_CREAT | O_EXCL, false);
    if (fd < 0 && getLastError() == EEXIST) {
        // Something stands there: replaced only when it is this writer's own earlier output.
        fd = openBelow(root, path, O_RDWR | O_NONBLOCK | O_NOFOLLOW, false);
        checks.ownMark = mark;
        checks.truncate = true;
    }
    if (fd < 0)
        return nullptr;
    return streamFromDescriptor(fd, "w", checks);
}

bool makeDirectoryBelow(const std::string& root, const std::string& path)
{
    std::vector<std::string> parts = componentsOf(path);
    if (!isPathBelow(path) || parts.empty()) {
        setLastError(EXDEV);
        return false;
    }
    const std::string name = parts.back();
    parts.pop_back();
    const int parent = openBelow(root, joined(parts), O_PATH | O_DIRECTORY, false);
    if (parent < 0)
        return false;
    const bool made = mkdirat(parent, name.c_str(), 0777) == 0 || errno == EEXIST;
    const int saved = errno;
    close(parent);
    if (!made) {
        setLastError(saved);
        return false;
    }
    // Something that already stood there must be a real folder, not a link to one.
    const int fd = openBelow(root, path, O_PATH | O_DIRECTORY, false);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

std::vector<std::string> pathComponents(const std::string& path) { return componentsOf(path); }

bool listNamesBelow(const std::string& root, const std::string& path, std::vector<std::string>* names)
{
    names->clear();
    const int fd = openBelow(root, path, O_RDONLY | O_DIRECTORY, true);
    if (fd < 0)
        return false;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        setLastErrorFromErrno();
        close(fd);
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry)
            break;
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names->push_back(name);
    }
    const int error = errno;
    closedir(dir);
    if (error != 0) {
        setLastError(error);
        return false;
    }
    std::sort(names->begin(), names->end());
    return true;
}

bool readWholeFile(std::FILE* file, uint64_t limit, std::string* bytes)
{
    bytes->clear();
    char block[65536];
    for (;;) {
        const size_t got = std::fread(block, 1, sizeof block, file);
        if (bytes->size() + got > limit) {
            setLastError(EFBIG);
            return false;
        }
        bytes->append(block, got);
        if (got < sizeof block)
            break;
    }
    if (std::ferror(file)) {
        setLastError(EIO);
        return false;
    }
    return true;
}

bool readFileBelow(const std::string& root, const std::string& path, uint64_t limit, std::string* bytes)
{
    std::FILE* file = openFileBelow(root, path, "rb");
    if (!file)
        return false;
    const bool read = readWholeFile(file, limit, bytes);
    std::fclose(file);
    return read;
}

std::string refusalText(int code)
{
    switch (code) {
    case EXDEV: return "leaves the directory it must stay below";
    case ELOOP: return "is a symbolic link";
    case EISDIR: return "is a directory";
    case EINVAL:
    case ENXIO: return "is not a regular file";  // ENXIO: a FIFO opened for writing
    case EFBIG: return "is too large";
    case EMLINK: return "is a hard link: the file has another name";
    case ENOENT: return "does not exist";
    case ENOTDIR: return "is not a folder";
    case EEXIST: return "is a file this call did not write";
    default: return errorText(code);
    }
}

} // namespace VadiZov::platform
