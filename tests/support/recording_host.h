// Test doubles of the host interfaces: they record what the library hands them.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "tests/support/host_object_double.h"
#include "velkor/host.h"

namespace VadiZov::testing {

struct LogLine {
    int level;
    std::string text;
    bool newline;
};

class RecordingLogSink final : public LogSink {
public:
    void log(int level, const char* text, bool newline) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back({level, text ? text : "", newline});
    }
    std::vector<std::string> texts() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<std::string> out;
        for (const auto& l : lines)
            out.push_back(l.text);
        return out;
    }
    // The lines that contain the fragment.
    std::vector<std::string> matching(const std::string& fragment) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<std::string> out;
        for (const auto& l : lines)
            if (l.text.find(fragment) != std::string::npos)
                out.push_back(l.text);
        return out;
    }
    mutable std::mutex mutex;
    std::vector<LogLine> lines;
};

// A game engine that answers every call with nothing; tests override what they watch.
class NullGameEngine : public GameEngine {
public:
    void setDebugFlags(bool) override {}
    void queryNodeEnvironment(float3, HostObject*, float*, int*, float*) override {}
    void setTimeScale(float) override {}
    void projectPosition(float3*, const float3*) override {}
    void enableInputEventForwarding(const char*) override {}
    SFXSource* createSFXSource(const char*) override { return nullptr; }
    void deleteSFXSource(SFXSource*, bool) override {}
    SFXSource* playSFXOnce(const char*) override { return nullptr; }
    int setupForceFeedback(const char*) override { return 0; }
    void sendForceFeedback(int, float) override {}
    const char* getForceFeedbackConfig(int) override { return nullptr; }
    void executeJS(const char*, int) override {}
};

// A file that keeps what is written to it and each write call's arguments.
class RecordingFile final : public FilePure {
public:
    struct WriteCall {
        size_t bufferSize, elementSize, count;
    };
    size_t read(void*, size_t, size_t, size_t) override { return 0; }
    size_t write(const void* buffer, size_t bufferSize, size_t elementSize, size_t count) override
    {
        writes.push_back({bufferSize, elementSize, count});
        contents.append(static_cast<const char*>(buffer), elementSize * count);
        return count;
    }
    long length() override { return long(contents.size()); }
    int seek(long, int) override { return 0; }
    long tell() override { return long(contents.size()); }
    int close() override { ++closed; return 0; }
    int eof() override { return 1; }
    int flush() override { ++flushed; return 7; }
    int putc(int, FilePure*) override { return 0; }
    int puts(const char*) override { return 0; }
    int error() override { return 0; }
    char* gets(char*, int) override { return nullptr; }
    int pclose() override { return 0; }
    void clearerr() override {}

    std::string contents;
    std::vector<WriteCall> writes;
    int closed = 0;
    int flushed = 0;
};

// A file system whose every opened file is a RecordingFile kept for inspection.
class RecordingFileSystem final : public FS {
public:
    int fileExists(const char*) override { return 0; }
    FilePure* openFile(const char* path, const char* mode) override
    {
        opened.push_back(std::string(path ? path : "") + "|" + (mode ? mode : ""));
        files.push_back(new RecordingFile());
        return files.back();
    }
    bool directoryExists(const char*) override { return false; }
    FSDirectory* openDirectory(const char*) override { return nullptr; }
    void closeDirectory(FSDirectory*) override {}
    ~RecordingFileSystem()
    {
        for (RecordingFile* f : files)
            delete f;
    }
    std::vector<std::string> opened;
    std::vector<RecordingFile*> files;
};

} // namespace VadiZov::testing
