#include "platform/thread.h"

#include <new>

#include "platform/last_error.h"

namespace VadiZov::platform {

namespace {
struct StartBlock {
    Thread::Entry entry;
    void* arg;
};

void* trampoline(void* p)
{
    StartBlock block = *static_cast<StartBlock*>(p);
    delete static_cast<StartBlock*>(p);
    block.entry(block.arg);
    return nullptr;
}
} // namespace

Thread::~Thread() { join(); }

bool Thread::start(Entry entry, void* arg)
{
    if (started_ || !entry) {
        setLastError(kErrorInvalidParameter);
        return false;
    }
    auto* block = new (std::nothrow) StartBlock{entry, arg};
    if (!block) {
        setLastError(12);
        return false;
    }
    int rc = pthread_create(&handle_, nullptr, trampoline, block);
    if (rc != 0) {
        delete block;
        setLastError(rc);
        return false;
    }
    started_ = true;
    return true;
}

void Thread::join()
{
    if (!started_)
        return;
    pthread_join(handle_, nullptr);
    started_ = false;
}

} // namespace VadiZov::platform
