// The library-wide log: a minimum level, a repeat filter, the host's sink and an optional log
// file. Reached from every thread (host, physics worker, core threads, every Lua state).
#pragma once

#include <string>

namespace VadiZov {

class FilePure;

enum LogLevel { LOG_DEBUG = 0, LOG_INFO = 1, LOG_WARN = 2, LOG_ERROR = 3, LOG_ALWAYS = 4 };

void logMessage(int level, const char* text, bool newline);
void logFormat(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void logError(const char* text);
void logErrorNoNewline(const char* text);
void logWarn(const char* text);
void logInfo(const char* text);
void logAlways(const char* text);
void logAlwaysNoNewline(const char* text);
void logDebug(const char* text);  // debug text is discarded
int setLogLevel(int level);       // 0 leaves the minimum level unchanged; returns the argument
int getLogLevel();

// Opens the log file through the host file system; null without one. An earlier log file is
// closed first.
FilePure* openLogFile(const char* path);
int flushLog();
// Closes the log file (the engine's teardown and tests); the host's file is closed, not freed.
void closeLogFile();

// Logs "%s (%s:%d) failed with error %d: %s" with the calling thread's last platform error.
void reportWin32Error(const char* function, const char* file, int line);
// Logs the bytes as lines of 16; returns the number of positions (length rounded up to 16).
unsigned hexdump(const void* data, unsigned length);
std::string toUpper(const std::string& text);

// Forgets the repeat memory and restores the minimum level (tests only).
void resetLogStateForTests();

} // namespace VadiZov
