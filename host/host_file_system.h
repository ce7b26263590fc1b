// The host file system over a data directory on disk. Paths are relative to the root; a path
// that climbs out of it ("..") or reaches outside through a link is refused, and only regular
// files are opened. Everything below the root is read as it is; files are written (modes with
// "w", "a" or "+") only below the folder "written/", which is made when first needed, never
// through a link of any kind, so a script cannot change a script, a mesh or a ground file.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "velkor/host.h"

namespace VadiZov::host {

// Below the data folder: where scripts may write.
inline constexpr const char* kWrittenFolder = "written";

class DiskFile final : public FilePure {
public:
    explicit DiskFile(std::FILE* file) : file_(file) {}
    size_t read(void* buffer, size_t bufferSize, size_t elementSize, size_t count) override;
    size_t write(const void* buffer, size_t bufferSize, size_t elementSize, size_t count) override;
    long length() override;
    int seek(long offset, int origin) override;
    long tell() override;
    int close() override;  // closes and frees this object
    int eof() override;
    int flush() override;
    int putc(int character, FilePure* self) override;
    int puts(const char* text) override;
    int error() override;
    char* gets(char* buffer, int size) override;
    int pclose() override;
    void clearerr() override;

private:
    ~DiskFile() = default;
    std::FILE* file_;
};

class DiskDirectory final : public FSDirectory {
public:
    explicit DiskDirectory(std::vector<std::string> names) : names_(std::move(names)) {}
    const char* getNextFilename() override;

private:
    std::vector<std::string> names_;
    size_t next_ = 0;
};

class DiskFileSystem final : public FS {
public:
    explicit DiskFileSystem(std::string root) : root_(std::move(root)) {}
    int fileExists(const char* path) override;
    FilePure* openFile(const char* path, const char* mode) override;
    bool directoryExists(const char* path) override;
    FSDirectory* openDirectory(const char* path) override;
    void closeDirectory(FSDirectory* dir) override;

    // The path below the root: leading separators dropped.
    static std::string relative(const char* path);
    // True when a C runtime mode writes: "w", "a" or "+" in it.
    static bool writes(const char* mode);
    // True when the relative path names something inside the written folder.
    static bool insideWrittenFolder(const std::string& path);

    // The one file outside the written folder that the next open for writing may create: the
    // log file the host checked and hands the engine to open (the engine opens it through here).
    void permitLogFile(const std::string& path) { permittedLog_ = path; }

private:
    std::string root_;
    std::string permittedLog_;
};

} // namespace VadiZov::host
