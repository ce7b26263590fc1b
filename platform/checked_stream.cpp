#include "platform/checked_stream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/last_error.h"

namespace VadiZov::platform {

namespace {

// True when the file's first bytes are `mark`. Read with pread, so the position stays.
bool beginsWith(int fd, const char* mark)
{
    const size_t length = std::strlen(mark);
    std::string head(length, '\0');
    size_t got = 0;
    while (got < length) {
        const ssize_t n = pread(fd, head.data() + got, length - got, off_t(got));
        if (n <= 0)
            break;
        got += size_t(n);
    }
    return got == length && head == mark;
}

int refusalFor(int fd, const StreamChecks& checks)
{
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    if (checks.writing && info.st_nlink > 1)
        return EMLINK;  // another name of the same file, maybe one that must not change
    if (checks.ownMark && !beginsWith(fd, checks.ownMark))
        return EEXIST;
    if (checks.truncate && ftruncate(fd, 0) != 0)
        return errno;
    return 0;
}

struct LimitedSink {
    int fd;
    uint64_t written;
    uint64_t limit;
    LimitedSink* previous = nullptr;
    LimitedSink* next = nullptr;
};

// The open sinks, in a list from a plain global: a stream the program keeps open until it ends
// (a trace file) is still reachable then, not a leak.
LimitedSink* g_openSinks = nullptr;
std::mutex g_sinksLock;

void linkSink(LimitedSink* sink)
{
    std::lock_guard<std::mutex> guard(g_sinksLock);
    sink->next = g_openSinks;
    if (g_openSinks)
        g_openSinks->previous = sink;
    g_openSinks = sink;
}

void unlinkSink(LimitedSink* sink)
{
    std::lock_guard<std::mutex> guard(g_sinksLock);
    (sink->previous ? sink->previous->next : g_openSinks) = sink->next;
    if (sink->next)
        sink->next->previous = sink->previous;
}

ssize_t writeLimited(void* cookie, const char* bytes, size_t size)
{
    auto* sink = static_cast<LimitedSink*>(cookie);
    if (size > sink->limit - sink->written) {
        errno = EFBIG;
        return -1;
    }
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(sink->fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return done > 0 ? ssize_t(done) : -1;
        done += size_t(n);
    }
    sink->written += done;
    return ssize_t(done);
}

int closeLimited(void* cookie)
{
    auto* sink = static_cast<LimitedSink*>(cookie);
    const int result = ::close(sink->fd);
    unlinkSink(sink);
    delete sink;
    return result;
}

std::FILE* limitedStream(int fd, uint64_t limit)
{
    cookie_io_functions_t io{};
    io.write = writeLimited;
    io.close = closeLimited;
    auto* sink = new LimitedSink{fd, 0, limit};
    std::FILE* file = fopencookie(sink, "w", io);
    if (!file) {
        delete sink;
        return nullptr;
    }
    linkSink(sink);
    return file;
}

} // namespace

std::FILE* streamFromDescriptor(int fd, const char* mode, const StreamChecks& checks)
{
    const int refusal = refusalFor(fd, checks);
    if (refusal != 0) {
        setLastError(refusal);
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = checks.limit != 0 ? limitedStream(fd, checks.limit) : fdopen(fd, mode);
    if (!file) {
        setLastErrorFromErrno();
        close(fd);
    }
    return file;
}

} // namespace VadiZov::platform
