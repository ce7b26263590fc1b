// The host's log sink: every message the library logs goes to standard output. The library
// logs from the host thread and from its physics threads, and the host prints its own lines
// between them, so a message and its newline leave in one write: no line is ever split.
#pragma once

#include <cstdio>
#include <string>

#include "platform/critical_section.h"
#include "velkor/host.h"

namespace VadiZov::host {

class StreamLogSink final : public LogSink {
public:
    explicit StreamLogSink(std::FILE* out) : out_(out) {}
    void log(int level, const char* text, bool newline) override;

private:
    std::FILE* out_;
    platform::CriticalSection lock_;
    std::string line_;  // reused under the lock, so a message costs no allocation once it has grown
};

} // namespace VadiZov::host
