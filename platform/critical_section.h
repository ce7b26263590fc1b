// A recursive lock with a bounded spin before it blocks. Recursive because Lua code running
// under the engine lock calls engine operations that take the same lock on the same thread.
#pragma once

#include <mutex>

namespace VadiZov::platform {

class CriticalSection {
public:
    explicit CriticalSection(unsigned spinCount = 0) : spinCount_(spinCount) {}
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void enter();
    bool tryEnter() { return mutex_.try_lock(); }
    void leave() { mutex_.unlock(); }

private:
    unsigned spinCount_;
    std::recursive_mutex mutex_;
};

class CriticalSectionGuard {
public:
    explicit CriticalSectionGuard(CriticalSection& cs) : cs_(&cs) { cs_->enter(); }
    // A null section is allowed: the guard then does nothing.
    explicit CriticalSectionGuard(CriticalSection* cs) : cs_(cs) { if (cs_) cs_->enter(); }
    ~CriticalSectionGuard() { if (cs_) cs_->leave(); }
    CriticalSectionGuard(const CriticalSectionGuard&) = delete;
    CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

private:
    CriticalSection* cs_;
};

} // namespace VadiZov::platform
