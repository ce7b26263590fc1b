// Test doubles for the Lua tests: an in-memory host file system and a recording log sink, and a
// fixture that installs both and resets the log's repeat memory around each case.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "velkor/host.h"

#include "tests/support/recording_host.h"

namespace VadiZov {
class Lua;
}

namespace VadiZov::testing {

class MemoryFile final : public FilePure {
public:
    explicit MemoryFile(std::string contents) : contents_(std::move(contents)) {}
    size_t read(void* buffer, size_t bufferSize, size_t elementSize, size_t count) override;
    size_t write(const void*, size_t, size_t, size_t) override { return 0; }
    long length() override { return long(contents_.size()); }
    int seek(long offset, int) override { position_ = size_t(offset); return 0; }
    long tell() override { return long(position_); }
    int close() override { ++closeCount; return 0; }
    int eof() override { return position_ >= contents_.size(); }
    int flush() override { return 0; }
    int putc(int, FilePure*) override { return -1; }
    int puts(const char*) override { return -1; }
    int error() override { return 0; }
    char* gets(char*, int) override { return nullptr; }
    int pclose() override { return 0; }
    void clearerr() override {}

    int closeCount = 0;

private:
    std::string contents_;
    size_t position_ = 0;
};

class MemoryFS final : public FS {
public:
    void addFile(const std::string& path, const std::string& contents) { files_[path] = contents; }
    // Listed by fileExists, but openFile yields null for it.
    void addUnopenableFile(const std::string& path) { unopenable_.push_back(path); }

    int fileExists(const char* path) override;
    FilePure* openFile(const char* path, const char* mode) override;
    bool directoryExists(const char*) override { return false; }
    FSDirectory* openDirectory(const char*) override { return nullptr; }
    void closeDirectory(FSDirectory*) override {}

    std::vector<std::string> openModes;
    std::vector<std::unique_ptr<MemoryFile>> opened;

private:
    std::map<std::string, std::string> files_;
    std::vector<std::string> unopenable_;
};


// Installs the sink and the file system, and resets the log's level and repeat memory.
class LuaTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    RecordingLogSink sink;
    MemoryFS fs;
};

// Runs code in the state in protected mode and leaves the stack as it was; returns "" on
// success, else the error message.
std::string runProtected(Lua& lua, const std::string& code);

// A path in the test's own temporary folder.
std::string tempPath(const std::string& name);
std::string readWholeFile(const std::string& path);

// Makes a fresh folder of the test's own the working directory while it lives: files that
// scripts name by relative paths land there.
class InWorkingFolder {
public:
    InWorkingFolder();
    ~InWorkingFolder();
    InWorkingFolder(const InWorkingFolder&) = delete;
    InWorkingFolder& operator=(const InWorkingFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

} // namespace VadiZov::testing
