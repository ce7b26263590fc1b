#include "host/host_trace.h"

#include <cstdarg>
#include <cstdio>

namespace VadiZov::host {

namespace {
bool s_enabled = false;
}

void setTraceEnabled(bool on) { s_enabled = on; }
bool traceEnabled() { return s_enabled; }

void trace(const char* format, ...)
{
    if (!s_enabled)
        return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    std::fprintf(stderr, "%s\n", line);
}

const char* quoted(const char* text, char* buffer, int size)
{
    if (!text)
        std::snprintf(buffer, size_t(size), "null");
    else
        std::snprintf(buffer, size_t(size), "\"%s\"", text);
    return buffer;
}

} // namespace VadiZov::host
