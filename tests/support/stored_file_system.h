// A host file system in memory that behaves like files on disk (read, write, append, seek, line
// reads) and records every call the library makes into it, in order.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "velkor/host.h"

namespace VadiZov::testing {

class StoredFileSystem;

class StoredFile final : public FilePure {
public:
    StoredFile(StoredFileSystem& fs, std::string path, bool append) : fs_(fs), path_(std::move(path)), append_(append) {}

    size_t read(void* buffer, size_t bufferSize, size_t elementSize, size_t count) override;
    size_t write(const void* buffer, size_t bufferSize, size_t elementSize, size_t count) override;
    long length() override { return long(contents().size()); }
    int seek(long offset, int origin) override;
    long tell() override { return long(position_); }
    int close() override;
    int eof() override { return position_ >= contents().size() ? 1 : 0; }
    int flush() override;
    int putc(int character, FilePure*) override
    {
        const char c = char(character);
        return write(&c, 0, 1, 1) == 1 ? character : EOF;
    }
    int puts(const char* text) override { return write(text, 0, 1, std::strlen(text)) ? 0 : EOF; }
    int error() override { return 0; }
    char* gets(char* buffer, int size) override;
    int pclose() override { return -1; }
    void clearerr() override {}

    bool closed = false;

private:
    std::string& contents();
    StoredFileSystem& fs_;
    std::string path_;
    bool append_;
    size_t position_ = 0;
};

class StoredFileSystem final : public FS {
public:
    int fileExists(const char* path) override
    {
        record(std::string("fileExists ") + path);
        std::lock_guard<std::mutex> lock(mutex_);
        return files.count(path) ? 1 : 0;
    }
    FilePure* openFile(const char* path, const char* mode) override
    {
        record(std::string("openFile ") + path + " " + mode);
        std::lock_guard<std::mutex> lock(mutex_);
        const bool exists = files.count(path) != 0;
        if (mode[0] == 'r' && !exists)
            return nullptr;
        if (mode[0] == 'w' || !exists)
            files[path].clear();
        opened.push_back(std::make_unique<StoredFile>(*this, path, mode[0] == 'a'));
        return opened.back().get();
    }
    bool directoryExists(const char*) override { return false; }
    FSDirectory* openDirectory(const char*) override { return nullptr; }
    void closeDirectory(FSDirectory*) override {}

    void record(const std::string& call)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls.push_back(call);
    }
    std::vector<std::string> takeCalls()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(calls, {});
    }

    std::map<std::string, std::string> files;
    std::vector<std::string> calls;
    std::vector<std::unique_ptr<StoredFile>> opened;

private:
    std::mutex mutex_;
};

inline std::string& StoredFile::contents() { return fs_.files[path_]; }

inline size_t StoredFile::read(void* buffer, size_t, size_t elementSize, size_t count)
{
    fs_.record("read " + path_);
    if (elementSize == 0)
        return 0;
    const std::string& text = contents();
    const size_t available = text.size() - std::min(position_, text.size());
    const size_t items = std::min(count, available / elementSize);
    std::memcpy(buffer, text.data() + position_, items * elementSize);
    position_ += items * elementSize;
    return items;
}

inline size_t StoredFile::write(const void* buffer, size_t, size_t elementSize, size_t count)
{
    fs_.record("write " + path_);
    std::string& text = contents();
    if (append_)
        position_ = text.size();
    const size_t bytes = elementSize * count;
    if (text.size() < position_ + bytes)
        text.resize(position_ + bytes);
    text.replace(position_, bytes, static_cast<const char*>(buffer), bytes);
    position_ += bytes;
    return count;
}

inline int StoredFile::seek(long offset, int origin)
{
    fs_.record("seek " + path_);
    const long base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? long(position_) : long(contents().size());
    if (base + offset < 0)
        return -1;
    position_ = size_t(base + offset);
    return 0;
}

inline int StoredFile::close()
{
    fs_.record("close " + path_);
    closed = true;
    return 0;
}

inline int StoredFile::flush()
{
    fs_.record("flush " + path_);
    return 0;
}

inline char* StoredFile::gets(char* buffer, int size)
{
    fs_.record("gets " + path_);
    const std::string& text = contents();
    if (size <= 1 || position_ >= text.size())
        return nullptr;
    size_t n = 0;
    while (n + 1 < size_t(size) && position_ < text.size()) {
        buffer[n++] = text[position_++];
        if (buffer[n - 1] == '\n')
            break;
    }
    buffer[n] = '\0';
    return buffer;
}

} // namespace VadiZov::testing
