// Lifetimes of the objects scripts keep handles to. Such an object registers its block of memory
// for as long as it lives and owns a generation slot; a handle made for any address inside a
// registered block copies the slot and its generation. The object's death advances the
// generation, so a call through a stale handle is refused instead of reading freed memory. The
// check on each call is one load and one compare; slots are reused, never freed, so a handle
// needs no destructor.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace VadiZov {

struct LifeFlag {
    const std::atomic<uint32_t>* slot = nullptr;
    uint32_t generation = 0;

    // True when the object this flag was taken from has died; an empty flag never expires.
    bool expired() const { return slot && slot->load(std::memory_order_acquire) != generation; }
};

class TrackedLifetime {
public:
    TrackedLifetime(const void* begin, size_t size);
    ~TrackedLifetime();
    TrackedLifetime(const TrackedLifetime&) = delete;
    TrackedLifetime& operator=(const TrackedLifetime&) = delete;

    LifeFlag flag() const { return {slot_, generation_}; }

private:
    std::atomic<uint32_t>* slot_;
    uint32_t generation_;
    const void* begin_;
};

// The flag of the live registered block holding the address; empty when no block holds it.
LifeFlag lifeFlagOf(const void* address);

} // namespace VadiZov
