// Threads: start a function on a new thread, join it.
#pragma once

#include <pthread.h>

namespace VadiZov::platform {

class Thread {
public:
    using Entry = void (*)(void* arg);

    Thread() = default;
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // False (with the last error set) when the thread could not be created.
    bool start(Entry entry, void* arg);
    // Waits for the thread to end; does nothing when it never started.
    void join();
    bool started() const { return started_; }

private:
    pthread_t handle_{};
    bool started_ = false;
};

} // namespace VadiZov::platform
