// The waits of the socket library, bounded by the running call's time: its waits for a
// descriptor (accept, receive, send, connect, select) and its sleep are renamed to these
// (bsocket_wait_symbols.txt) and wait at most what is left of the script call running on the
// thread. A wait cut short ends as a time-out for the library and marks the call as past its
// time, so the budget's hook stops it at once, as it would stop an endless loop.
#pragma once

#include <poll.h>
#include <sys/select.h>
#include <time.h>

namespace VadiZov {

extern "C" {

int sandbox_poll(struct pollfd* descriptors, nfds_t count, int timeoutMs);
int sandbox_select(int count, fd_set* readable, fd_set* writable, fd_set* failed, struct timeval* timeout);
int sandbox_nanosleep(const struct timespec* request, struct timespec* remaining);

} // extern "C"

// Milliseconds a wait of askedMs (negative: no limit) may take within the running call; `cut`
// tells whether that is less than asked. With no call running, the asked time as it is.
int boundedWaitMilliseconds(int askedMs, bool& cut);

} // namespace VadiZov
