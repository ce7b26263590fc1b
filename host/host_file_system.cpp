#include "host/host_file_system.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "host/host_trace.h"
#include "platform/path_below.h"

namespace VadiZov::host {

size_t DiskFile::read(void* buffer, size_t bufferSize, size_t elementSize, size_t count)
{
    trace("FilePure::read(%zu, %zu, %zu)", bufferSize, elementSize, count);
    if (!buffer || elementSize == 0)
        return 0;
    // A given buffer size bounds the read; 0 means the caller did not say.
    if (bufferSize != 0 && elementSize * count > bufferSize)
        count = bufferSize / elementSize;
    return std::fread(buffer, elementSize, count, file_);
}

DiskFile::DiskFile(std::FILE* file, std::string path, bool append, std::shared_ptr<WriteBudget> budget)
    : file_(file), path_(std::move(path)), budget_(std::move(budget)), append_(append)
{
    // Where appends start; the read position of "a+" is the start again afterwards.
    if (append_ && std::fseek(file_, 0, SEEK_END) == 0) {
        appendEnd_ = uint64_t(std::max(0L, std::ftell(file_)));
        std::fseek(file_, 0, SEEK_SET);
    }
}

bool DiskFile::admit(uint64_t bytes)
{
    if (!budget_)
        return true;
    const long position = append_ ? long(appendEnd_) : std::ftell(file_);
    const bool fileFull = position < 0 || uint64_t(position) + bytes > budget_->fileLimit;
    const bool runFull = budget_->written + bytes > budget_->runLimit;
    if (fileFull && !refused_)
        std::printf("velkor-host: %s not written: a file below %s/ holds at most %llu bytes\n", path_.c_str(),
                    kWrittenFolder, static_cast<unsigned long long>(budget_->fileLimit));
    else if (runFull && !fileFull && !budget_->reported)
        std::printf("velkor-host: %s not written: scripts write at most %llu bytes below %s/ in a run\n",
                    path_.c_str(), static_cast<unsigned long long>(budget_->runLimit), kWrittenFolder);
    if (fileFull || runFull) {
        refused_ = true;
        budget_->reported = budget_->reported || runFull;
        return false;
    }
    budget_->written += bytes;
    appendEnd_ += bytes;
    return true;
}

size_t DiskFile::write(const void* buffer, size_t bufferSize, size_t elementSize, size_t count)
{
    trace("FilePure::write(%zu, %zu, %zu)", bufferSize, elementSize, count);
    if (!buffer || elementSize == 0 || count > SIZE_MAX / elementSize || !admit(uint64_t(elementSize) * count))
        return 0;
    return std::fwrite(buffer, elementSize, count, file_);
}

long DiskFile::length()
{
    trace("FilePure::length()");
    long here = std::ftell(file_);
    std::fseek(file_, 0, SEEK_END);
    long size = std::ftell(file_);
    std::fseek(file_, here, SEEK_SET);
    return size;
}

int DiskFile::seek(long offset, int origin)
{
    trace("FilePure::seek(%ld, %d)", offset, origin);
    return std::fseek(file_, offset, origin);
}

long DiskFile::tell()
{
    trace("FilePure::tell()");
    return std::ftell(file_);
}

int DiskFile::close()
{
    trace("FilePure::close()");
    int r = std::fclose(file_);
    delete this;
    return r;
}

int DiskFile::eof()
{
    trace("FilePure::eof()");
    return std::feof(file_);
}

int DiskFile::flush()
{
    trace("FilePure::flush()");
    return std::fflush(file_);
}

int DiskFile::putc(int character, FilePure*)
{
    trace("FilePure::putc(%d)", character);
    return admit(1) ? std::fputc(character, file_) : EOF;
}

int DiskFile::puts(const char* text)
{
    char q[600];
    trace("FilePure::puts(%s)", quoted(text, q, sizeof q));
    return text && admit(std::strlen(text)) ? std::fputs(text, file_) : EOF;
}

int DiskFile::error()
{
    trace("FilePure::error()");
    return std::ferror(file_) || refused_;
}

char* DiskFile::gets(char* buffer, int size)
{
    trace("FilePure::gets(%d)", size);
    return buffer && size > 0 ? std::fgets(buffer, size, file_) : nullptr;
}

int DiskFile::pclose()
{
    trace("FilePure::pclose()");
    return -1;  // the host never opens pipes
}

void DiskFile::clearerr()
{
    trace("FilePure::clearerr()");
    std::clearerr(file_);
}

const char* DiskDirectory::getNextFilename()
{
    trace("FSDirectory::getNextFilename()");
    return next_ < names_.size() ? names_[next_++].c_str() : nullptr;
}

std::string DiskFileSystem::relative(const char* path)
{
    if (!path)
        return std::string();
    // The data root is the file system's "/": leading separators name it.
    std::string relative(path);
    const size_t first = relative.find_first_not_of("/\\");
    return first == std::string::npos ? std::string() : relative.substr(first);
}

int DiskFileSystem::fileExists(const char* path)
{
    char q[600];
    trace("FS::fileExists(%s)", quoted(path, q, sizeof q));
    const std::string below = relative(path);
    return !below.empty() && platform::kindBelow(root_, below) == platform::BelowKind::File ? 1 : 0;
}

bool DiskFileSystem::writes(const char* mode)
{
    return mode && (std::strchr(mode, 'w') || std::strchr(mode, 'a') || std::strchr(mode, '+'));
}

bool DiskFileSystem::insideWrittenFolder(const std::string& path)
{
    const std::vector<std::string> parts = platform::pathComponents(path);
    return parts.size() >= 2 && parts.front() == kWrittenFolder && platform::isPathBelow(path);
}

FilePure* DiskFileSystem::openFile(const char* path, const char* mode)
{
    char q[600], m[64];
    trace("FS::openFile(%s, %s)", quoted(path, q, sizeof q), quoted(mode, m, sizeof m));
    if (!path || !mode)
        return nullptr;
    const std::string below = relative(path);
    if (writes(mode)) {
        const bool permitted = !permittedLog_.empty() && below == permittedLog_;
        if (permitted)
            permittedLog_.clear();
        if (!permitted && !insideWrittenFolder(below)) {
            std::printf("velkor-host: %s not opened for writing: files are written only below %s/\n",
                        below.c_str(), kWrittenFolder);
            return nullptr;
        }
        if (!permitted && !platform::makeDirectoryBelow(root_, kWrittenFolder))
            return nullptr;
    }
    std::FILE* file = platform::openFileBelow(root_, below, mode);
    if (!file)
        return nullptr;
    if (!writes(mode) || !insideWrittenFolder(below))
        return new DiskFile(file);
    return new DiskFile(file, below, std::strchr(mode, 'a') != nullptr, budget_);
}

bool DiskFileSystem::directoryExists(const char* path)
{
    char q[600];
    trace("FS::directoryExists(%s)", quoted(path, q, sizeof q));
    return path && platform::kindBelow(root_, relative(path)) == platform::BelowKind::Directory;
}

FSDirectory* DiskFileSystem::openDirectory(const char* path)
{
    char q[600];
    trace("FS::openDirectory(%s)", quoted(path, q, sizeof q));
    std::vector<std::string> names;
    if (!path || !platform::listNamesBelow(root_, relative(path), &names))
        return nullptr;
    return new DiskDirectory(std::move(names));
}

void DiskFileSystem::closeDirectory(FSDirectory* dir)
{
    trace("FS::closeDirectory()");
    delete static_cast<DiskDirectory*>(dir);
}

} // namespace VadiZov::host
