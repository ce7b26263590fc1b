#include "base/blog.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/bglobals.h"
#include "platform/critical_section.h"
#include "platform/last_error.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

// Guards the repeat memory and both outputs: messages come from every thread.
platform::CriticalSection& logLock()
{
    static platform::CriticalSection lock(1024);
    return lock;
}

int s_minimumLevel = LOG_INFO;
std::string s_lastText;
int s_lastLevel = -1;
FilePure* s_logFile = nullptr;

constexpr int kFileLineChars = 511;

void writeOneFileLine(int level, const char* text, size_t textLength, bool newline)
{
    char line[kFileLineChars + 1] = {};
    // Leave room for the line end so a long line keeps it.
    const int room = newline ? kFileLineChars : kFileLineChars + 1;
    const int length = int(textLength > size_t(kFileLineChars) ? size_t(kFileLineChars) : textLength);
    int written;
    switch (level) {
    case LOG_DEBUG: written = std::snprintf(line, room, "DBG  |%.*s", length, text); break;
    case LOG_INFO: written = std::snprintf(line, room, "INFO |%.*s", length, text); break;
    case LOG_WARN: written = std::snprintf(line, room, "WARN |%.*s", length, text); break;
    case LOG_ERROR: written = std::snprintf(line, room, "ERR  |%.*s", length, text); break;
    case LOG_ALWAYS: written = std::snprintf(line, room, "%.*s", length, text); break;
    default: written = std::snprintf(line, room, "LVL%d |%.*s", level, length, text); break;
    }
    size_t lineLength = written < 0 ? 0 : std::strlen(line);
    if (newline)
        line[lineLength++] = '\n';
    s_logFile->write(line, kFileLineChars, lineLength, 1);
}

// Every line of a message gets the prefix, so a message cannot pass for lines of another level.
// A line end at the very end of the text only ends its last line.
void writeFileLine(int level, const char* text, bool newline)
{
    for (;;) {
        const char* end = std::strchr(text, '\n');
        if (!end || end[1] == '\0') {
            writeOneFileLine(level, text, end ? size_t(end - text) : std::strlen(text), newline || end);
            return;
        }
        writeOneFileLine(level, text, size_t(end - text), true);
        text = end + 1;
    }
}

} // namespace

void logMessage(int level, const char* text, bool newline)
{
    if (!text)
        return;
    platform::CriticalSectionGuard guard(logLock());
    if (level < s_minimumLevel && level != LOG_ALWAYS)
        return;
    if (level == s_lastLevel && s_lastText == text)
        return;
    s_lastText = text;
    s_lastLevel = level;
    if (g_logSink)
        g_logSink->log(level, text, newline);
    if (s_logFile)
        writeFileLine(level, text, newline);
}

void logFormat(int level, const char* format, ...)
{
    char buffer[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    logMessage(level, buffer, true);
}

void logError(const char* text) { logMessage(LOG_ERROR, text, true); }
void logErrorNoNewline(const char* text) { logMessage(LOG_ERROR, text, false); }
void logWarn(const char* text) { logMessage(LOG_WARN, text, true); }
void logInfo(const char* text) { logMessage(LOG_INFO, text, true); }
void logAlways(const char* text) { logMessage(LOG_ALWAYS, text, true); }
void logAlwaysNoNewline(const char* text) { logMessage(LOG_ALWAYS, text, false); }
void logDebug(const char*) {}

int setLogLevel(int level)
{
    platform::CriticalSectionGuard guard(logLock());
    if (level != 0)
        s_minimumLevel = level;
    return level;
}

int getLogLevel()
{
    platform::CriticalSectionGuard guard(logLock());
    return s_minimumLevel;
}

FilePure* openLogFile(const char* path)
{
    if (!g_fileSystem)
        return nullptr;
    platform::CriticalSectionGuard guard(logLock());
    if (s_logFile) {
        s_logFile->close();
        s_logFile = nullptr;
    }
    s_logFile = g_fileSystem->openFile(path ? path : "", "w");
    return s_logFile;
}

int flushLog()
{
    platform::CriticalSectionGuard guard(logLock());
    return s_logFile ? s_logFile->flush() : 0;
}

void closeLogFile()
{
    platform::CriticalSectionGuard guard(logLock());
    if (s_logFile)
        s_logFile->close();
    s_logFile = nullptr;
}

void reportWin32Error(const char* function, const char* file, int line)
{
    const int code = platform::getLastError();
    const std::string message = platform::errorText(code);
    logFormat(LOG_ERROR, "%s (%s:%d) failed with error %d: %s", function, file, line, code, message.c_str());
}

unsigned hexdump(const void* data, unsigned length)
{
    if (!data)
        return 0;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    const unsigned positions = (length + 15u) / 16u * 16u;
    for (unsigned offset = 0; offset < length; offset += 16) {
        char line[128];
        int n = std::snprintf(line, sizeof line, "0x%06x: ", offset);
        for (unsigned i = 0; i < 16; ++i) {
            if (offset + i < length)
                n += std::snprintf(line + n, sizeof line - n, "%02x ", bytes[offset + i]);
            else
                n += std::snprintf(line + n, sizeof line - n, "   ");
        }
        for (unsigned i = 0; i < 16; ++i) {
            char c = ' ';
            if (offset + i < length)
                c = std::isprint(bytes[offset + i]) ? char(bytes[offset + i]) : '.';
            line[n++] = c;
        }
        line[n] = '\0';
        logMessage(LOG_INFO, line, true);
    }
    return positions;
}

std::string toUpper(const std::string& text)
{
    std::string upper(text);
    for (char& c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

void resetLogStateForTests()
{
    platform::CriticalSectionGuard guard(logLock());
    s_minimumLevel = LOG_INFO;
    s_lastText.clear();
    s_lastLevel = -1;
}

} // namespace VadiZov
