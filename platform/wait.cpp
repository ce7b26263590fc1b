#include "platform/wait.h"

#include <unistd.h>

#include <cerrno>

namespace VadiZov::platform {

int pollDescriptors(struct pollfd* descriptors, nfds_t count, int timeoutMs)
{
    return ::poll(descriptors, count, timeoutMs);
}

int selectDescriptors(int count, fd_set* readable, fd_set* writable, fd_set* failed, struct timeval* timeout)
{
    return ::select(count, readable, writable, failed, timeout);
}

int sleepFor(const struct timespec* request, struct timespec* remaining) { return ::nanosleep(request, remaining); }

long readStandardInput(void* buffer, size_t size, int timeoutMs)
{
    struct pollfd input = {STDIN_FILENO, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&input, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready == 0)
        return kTimedOut;
    if (ready < 0)
        return -1;
    ssize_t got = 0;
    do {
        got = ::read(STDIN_FILENO, buffer, size);
    } while (got < 0 && errno == EINTR);
    return long(got);
}

} // namespace VadiZov::platform
