#include "lua/bsandbox_stdio.h"

#include <cstdarg>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>

#include "base/bglobals.h"
#include "base/blog.h"
#include "lua/blua_guard.h"
#include "lua/bsandbox_waits.h"
#include "platform/wait.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

// Every Lua state shares it and states run on several threads at once, so it is locked. The
// host call itself is made outside the lock: a handle belongs to one state, which one thread
// uses at a time.
class HandleRegistry {
public:
    void enter(FILE* handle)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open_.insert(handle);
    }
    bool leave(FILE* handle)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return open_.erase(handle) != 0;
    }
    bool contains(FILE* handle)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return open_.count(handle) != 0;
    }

private:
    std::mutex mutex_;
    std::unordered_set<FILE*> open_;
};

HandleRegistry& registry()
{
    static HandleRegistry instance;
    return instance;
}

// The host file behind a registered handle, else null.
FilePure* hostFile(FILE* handle)
{
    if (!handle || !registry().contains(handle))
        return nullptr;
    return reinterpret_cast<FilePure*>(handle);
}

bool isStandardStream(FILE* handle) { return handle == stdin || handle == stdout || handle == stderr; }

const char* textOrNull(const char* text) { return text ? text : "NULL"; }

// Refusals and unimplemented calls reach the log file at once.
void warnAndFlush(const char* format, ...) __attribute__((format(printf, 1, 2)));
void warnAndFlush(const char* format, ...)
{
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    logWarn(text);
    flushLog();
}

// The data as a text up to its first zero byte, never past size * count.
std::string boundedText(const void* data, size_t size, size_t count)
{
    if (!data || size == 0 || count == 0)
        return std::string();
    const size_t bytes = size * count;
    if (bytes / size != count)
        return std::string();
    const char* text = static_cast<const char*>(data);
    const void* zero = std::memchr(text, 0, bytes);
    return std::string(text, zero ? size_t(static_cast<const char*>(zero) - text) : bytes);
}

// Standard input is read unbuffered, each wait bounded by the running call's time: a script
// waiting for input that never comes is stopped like an endless loop. The bytes read, 0 at the
// end, on an error or when the wait was cut.
size_t readInput(void* buffer, size_t size)
{
    bool cut = false;
    const int waitMs = boundedWaitMilliseconds(-1, cut);
    const long got = platform::readStandardInput(buffer, size, waitMs);
    if (got == platform::kTimedOut && cut)
        luaStopRunningCall();
    return got > 0 ? size_t(got) : 0;
}

size_t readInputItems(void* buffer, size_t size, size_t count)
{
    if (size == 0 || count == 0 || count > SIZE_MAX / size)
        return 0;
    const size_t wanted = size * count;
    size_t have = 0;
    while (have < wanted) {
        const size_t got = readInput(static_cast<char*>(buffer) + have, wanted - have);
        if (got == 0)
            break;
        have += got;
    }
    return have / size;
}

// One byte at a time, so nothing past the line is taken from the input.
char* readInputLine(char* buffer, int size)
{
    if (!buffer || size <= 0)
        return nullptr;
    int length = 0;
    while (length < size - 1) {
        if (readInput(buffer + length, 1) == 0)
            break;
        if (buffer[length++] == '\n')
            break;
    }
    buffer[length] = '\0';
    return length > 0 ? buffer : nullptr;
}

} // namespace

FILE* sandbox_fopen(const char* path, const char* mode)
{
    if (!g_fileSystem || !path || !mode)
        return nullptr;
    const bool reads = std::strchr(mode, 'r') || std::strchr(mode, 'R');
    if (reads && g_fileSystem->fileExists(path) == 0)
        return nullptr;
    FilePure* file = g_fileSystem->openFile(path, mode);
    if (!file)
        return nullptr;  // a null handle would never be used; it stays out of the registry
    FILE* handle = reinterpret_cast<FILE*>(file);
    registry().enter(handle);
    return handle;
}

int sandbox_fclose(FILE* file)
{
    if (!file || !registry().leave(file))
        return 0;
    return reinterpret_cast<FilePure*>(file)->close();
}

int sandbox_fflush(FILE* file)
{
    FilePure* host = hostFile(file);
    return host ? host->flush() : 0;
}

size_t sandbox_fread(void* buffer, size_t size, size_t count, FILE* file)
{
    if (file == stdin)
        return readInputItems(buffer, size, count);
    FilePure* host = hostFile(file);
    return host ? host->read(buffer, 0, size, count) : 0;
}

size_t sandbox_fwrite(const void* data, size_t size, size_t count, FILE* file)
{
    // What reached the log counts as written, so io.write does not report a failure for it.
    if (file == stdout) {
        logAlwaysNoNewline(boundedText(data, size, count).c_str());
        return count;
    }
    if (file == stderr) {
        logErrorNoNewline(boundedText(data, size, count).c_str());
        return count;
    }
    FilePure* host = hostFile(file);
    return host ? host->write(data, 0, size, count) : 0;
}

char* sandbox_fgets(char* buffer, int size, FILE* file)
{
    if (file == stdin)
        return readInputLine(buffer, size);
    FilePure* host = hostFile(file);
    return host ? host->gets(buffer, size) : nullptr;
}

int sandbox_fputc(int character, FILE* file)
{
    FilePure* host = hostFile(file);
    return host ? host->putc(character, host) : 0;
}

int sandbox_fputs(const char* text, FILE* file)
{
    // Standard error is the script's error channel: it goes to the log like sandbox_fwrite's.
    if (file == stderr) {
        if (text)
            logErrorNoNewline(text);
        return 0;
    }
    FilePure* host = hostFile(file);
    return host ? host->puts(text) : 0;
}

int sandbox_fseek(FILE* file, long offset, int origin)
{
    FilePure* host = hostFile(file);
    return host ? host->seek(offset, origin) : 0;
}

long sandbox_ftell(FILE* file)
{
    FilePure* host = hostFile(file);
    return host ? host->tell() : 0;
}

int sandbox_feof(FILE* file)
{
    FilePure* host = hostFile(file);
    return host ? host->eof() : 0;
}

int sandbox_ferror(FILE* file)
{
    FilePure* host = hostFile(file);
    return host ? host->error() : 0;
}

void sandbox_clearerr(FILE* file)
{
    if (FilePure* host = hostFile(file))
        host->clearerr();
}

int sandbox_pclose(FILE* file)
{
    FilePure* host = hostFile(file);
    return host ? host->pclose() : 0;
}

int sandbox_fprintf(FILE* file, const char* format, ...)
{
    if (!isStandardStream(file)) {
        warnAndFlush("Lua used unimplemented function fprintf");
        return 0;
    }
    if (!format)
        return 0;
    va_list args;
    va_start(args, format);
    const int written = std::vfprintf(stdout, format, args);
    va_end(args);
    return written < 0 ? 0 : written;
}

int sandbox_putchar(int character)
{
    const char text[2] = {char(character), '\0'};
    logAlwaysNoNewline(text);
    return 0;
}

char* sandbox_getenv(const char*) { return nullptr; }

int sandbox_setvbuf(FILE*, char*, int, size_t)
{
    warnAndFlush("Lua used unimplemented function setvbuf");
    return 0;
}

int sandbox_fscanf(FILE*, const char*, ...)
{
    warnAndFlush("Lua used unimplemented function fscanf");
    return 0;
}

int sandbox_getc(FILE*)
{
    warnAndFlush("Lua used unimplemented function getc");
    return 0;
}

int sandbox_ungetc(int, FILE*)
{
    warnAndFlush("Lua used unimplemented function ungetc");
    return 0;
}

FILE* sandbox_popen(const char* command, const char* mode)
{
    warnAndFlush("Lua tried to open a process: %s (in mode %s)", textOrNull(command), textOrNull(mode));
    return nullptr;
}

FILE* sandbox_tmpfile()
{
    warnAndFlush("Lua tried to open a tmpfile");
    return nullptr;
}

// Removal and renaming report failure, so that no script believes a file is gone or moved.
int sandbox_remove(const char* path)
{
    warnAndFlush("Lua tried to remove a file: %s", textOrNull(path));
    return -1;
}

int sandbox_rename(const char* oldPath, const char* newPath)
{
    warnAndFlush("Lua tried to rename a file: %s to %s", textOrNull(oldPath), textOrNull(newPath));
    return -1;
}

int sandbox_system(const char* command)
{
    warnAndFlush("Lua tried to execute system command: %s", textOrNull(command));
    return 0;
}

char* sandbox_tmpnam(char*)
{
    // The buffer the runtime passes holds nothing yet: showing it would read uninitialised bytes.
    warnAndFlush("Lua tried to get a temp file name: %s", "NULL");
    return nullptr;
}

int sandbox_mkstemp(char*)
{
    sandbox_tmpnam(nullptr);
    return -1;
}

int sandbox_putc(int character, FILE* file)
{
    if (file == stdout)
        return sandbox_putchar(character);
    if (file == stderr) {
        const char text[2] = {char(character), '\0'};
        logErrorNoNewline(text);
        return 0;
    }
    return sandbox_fputc(character, file);
}

void sandbox_exit(int status)
{
    logFormat(LOG_ERROR, "Fatal Lua Error. Lua is exiting with error %d", status);
    flushLog();
    // Other threads may still be stepping physics: no static destructors, but the host's
    // buffered output is not lost.
    std::fflush(nullptr);
    std::_Exit(status);
}

bool sandbox_isRegistered(FILE* file) { return file && registry().contains(file); }

} // namespace VadiZov
