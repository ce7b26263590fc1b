// The host file system over a data directory on disk. Paths are relative to the root; a path
// that climbs out of it ("..") or reaches outside through a link is refused, and only regular
// files are opened. Everything below the root is read as it is; files are written (modes with
// "w", "a" or "+") only below the folder "written/", which is made when first needed, never
// through a link of any kind, so a script cannot change a script, a mesh or a ground file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "velkor/host.h"

namespace VadiZov::host {

// Below the data folder: where scripts may write.
inline constexpr const char* kWrittenFolder = "written";
// What a file below written/ may hold (as much as the host reads from one file), and what
// scripts may write there in one run, all files together.
inline constexpr uint64_t kMaxWrittenFileBytes = uint64_t(256) << 20;
inline constexpr uint64_t kMaxWrittenRunBytes = uint64_t(1) << 30;

// The bytes written below written/ in this run and their limits, shared by the file system and
// its files.
struct WriteBudget {
    uint64_t fileLimit = kMaxWrittenFileBytes;
    uint64_t runLimit = kMaxWrittenRunBytes;
    uint64_t written = 0;
    bool reported = false;
};

class DiskFile final : public FilePure {
public:
    explicit DiskFile(std::FILE* file) : file_(file) {}
    // A file below written/: its writes are held to the limits and counted in `budget`.
    DiskFile(std::FILE* file, std::string path, bool append, std::shared_ptr<WriteBudget> budget);
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
    // True when `bytes` more may be written; prints the refusal once per file and run.
    bool admit(uint64_t bytes);

    std::FILE* file_;
    std::string path_;
    std::shared_ptr<WriteBudget> budget_;  // null: not held to the limits (the engine's log)
    uint64_t appendEnd_ = 0;               // the file's end, for a file opened to append
    bool append_ = false;
    bool refused_ = false;
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
    // Tests give smaller limits than a run's.
    DiskFileSystem(std::string root, uint64_t fileLimit, uint64_t runLimit) : root_(std::move(root))
    {
        budget_->fileLimit = fileLimit;
        budget_->runLimit = runLimit;
    }
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
    std::shared_ptr<WriteBudget> budget_ = std::make_shared<WriteBudget>();
};

} // namespace VadiZov::host
