#include "platform/last_error.h"

#include <cerrno>
#include <cstring>

namespace VadiZov::platform {

namespace {
thread_local int t_lastError = 0;
}

int getLastError() { return t_lastError; }
void setLastError(int code) { t_lastError = code; }

int setLastErrorFromErrno()
{
    t_lastError = errno;
    return t_lastError;
}

std::string errorText(int code)
{
    if (code == 0)
        return std::string();
    char buffer[256];
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return text ? std::string(text) : std::string();
}

} // namespace VadiZov::platform
