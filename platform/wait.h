// Waits on descriptors and time, for the stand-ins that bound a script's waits: each is the
// system call of the same shape.
#pragma once

#include <poll.h>
#include <sys/select.h>
#include <time.h>

#include <cstddef>

namespace VadiZov::platform {

// poll: at most timeoutMs milliseconds (negative: no limit).
int pollDescriptors(struct pollfd* descriptors, nfds_t count, int timeoutMs);
// select: at most *timeout (null: no limit).
int selectDescriptors(int count, fd_set* readable, fd_set* writable, fd_set* failed, struct timeval* timeout);
// nanosleep.
int sleepFor(const struct timespec* request, struct timespec* remaining);

// The process's standard input, unbuffered: waits at most timeoutMs (negative: no limit) for
// something to read, then reads at most size bytes. The count read (0 at the end of the input),
// -1 on an error, kTimedOut when nothing came in time.
constexpr long kTimedOut = -2;
long readStandardInput(void* buffer, size_t size, int timeoutMs);

} // namespace VadiZov::platform
