#include "host/host_file_system.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "host/host_trace.h"

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

size_t DiskFile::write(const void* buffer, size_t bufferSize, size_t elementSize, size_t count)
{
    trace("FilePure::write(%zu, %zu, %zu)", bufferSize, elementSize, count);
    if (!buffer || elementSize == 0)
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
    return std::fputc(character, file_);
}

int DiskFile::puts(const char* text)
{
    char q[600];
    trace("FilePure::puts(%s)", quoted(text, q, sizeof q));
    return text ? std::fputs(text, file_) : EOF;
}

int DiskFile::error()
{
    trace("FilePure::error()");
    return std::ferror(file_);
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

std::string DiskFileSystem::resolve(const char* path) const
{
    if (!path)
        return std::string();
    std::string relative(path);
    std::replace(relative.begin(), relative.end(), '\\', '/');
    size_t start = 0;
    while (start < relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos)
            end = relative.size();
        if (relative.compare(start, end - start, "..") == 0)
            return std::string();
        start = end + 1;
    }
    while (!relative.empty() && relative.front() == '/')
        relative.erase(0, 1);
    return root_ + "/" + relative;
}

int DiskFileSystem::fileExists(const char* path)
{
    char q[600];
    trace("FS::fileExists(%s)", quoted(path, q, sizeof q));
    std::string full = resolve(path);
    std::error_code ec;
    return !full.empty() && std::filesystem::is_regular_file(full, ec) ? 1 : 0;
}

FilePure* DiskFileSystem::openFile(const char* path, const char* mode)
{
    char q[600], m[64];
    trace("FS::openFile(%s, %s)", quoted(path, q, sizeof q), quoted(mode, m, sizeof m));
    std::string full = resolve(path);
    if (full.empty() || !mode)
        return nullptr;
    std::FILE* file = std::fopen(full.c_str(), mode);
    return file ? new DiskFile(file) : nullptr;
}

bool DiskFileSystem::directoryExists(const char* path)
{
    char q[600];
    trace("FS::directoryExists(%s)", quoted(path, q, sizeof q));
    std::string full = resolve(path);
    std::error_code ec;
    return !full.empty() && std::filesystem::is_directory(full, ec);
}

FSDirectory* DiskFileSystem::openDirectory(const char* path)
{
    char q[600];
    trace("FS::openDirectory(%s)", quoted(path, q, sizeof q));
    std::string full = resolve(path);
    std::error_code ec;
    if (full.empty() || !std::filesystem::is_directory(full, ec))
        return nullptr;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(full, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return new DiskDirectory(std::move(names));
}

void DiskFileSystem::closeDirectory(FSDirectory* dir)
{
    trace("FS::closeDirectory()");
    delete static_cast<DiskDirectory*>(dir);
}

} // namespace VadiZov::host
