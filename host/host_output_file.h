// An output file being written: opened under the rule of platform/output_file.h (no link, a
// regular file only), its first write error kept, and closed with the reason of any failure, so
// a full disk reads "cannot write PATH: No space left on device" instead of passing unnoticed.
#pragma once

#include <cstdio>
#include <string>

namespace VadiZov::host {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // False with the message when the file cannot be opened.
    bool open(const std::string& path, std::string* error);
    // Writes bytes; false once any write failed (the cause is kept for close).
    bool write(const void* data, size_t size);
    std::FILE* stream() const { return file_; }
    // Flushes and closes; false with the message when anything written was lost.
    bool close(std::string* error);

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    int error_ = 0;
};

} // namespace VadiZov::host
