#include "host/host_log_sink.h"

#include "host/host_trace.h"

namespace VadiZov::host {

void StreamLogSink::log(int level, const char* text, bool newline)
{
    const size_t length = text ? std::char_traits<char>::length(text) : 0;
    trace("LogSink::log(%d, %zu chars, %d)", level, length, newline ? 1 : 0);
    platform::CriticalSectionGuard guard(lock_);
    line_.assign(text ? text : "", length);
    if (newline)
        line_ += '\n';
    std::fwrite(line_.data(), 1, line_.size(), out_);
}

} // namespace VadiZov::host
