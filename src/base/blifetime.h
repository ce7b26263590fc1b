// Lifetimes of library objects that scripts may hold after the library freed them, two ways:
//
// - A soft-body object registers its whole block of memory for as long as it lives and owns a
//   generation slot; a handle made for any address inside the block (the object, a wheel record,
//   a beam handle) copies the slot and its generation. The object's death advances the
//   generation, so a call through a stale handle is refused instead of reading freed memory. The
//   check on each call is one load and one compare; slots are reused, never freed, so a handle
//   needs no destructor.
// - Props and flexible meshes, replaced in their slot or cleared with their object, register
//   their address with a serial; a Lua value keeps the pointer and its serial and uses the
//   pointer only while the registry still names that serial for it, so a freed object, or a new
//   one at the same address, is never reached.
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

// A new serial for the object (never 0); replaces an earlier registration of the address.
uint64_t beginLifetime(const void* object);
void endLifetime(const void* object);
// 0 when the object is not registered.
uint64_t lifetimeSerial(const void* object);
bool isAlive(const void* object, uint64_t serial);

// Scripts run on the host thread while the previous frame's physics still runs. Before a script
// reaches into a tracked object (the binding's argument check calls this) the hook the engine
// installed lets that frame finish, so the script neither reads half a substep nor changes what a
// core thread is reading. Members that read an object's nodes through another value call it too.
using ScriptAccessHook = void (*)();
void setScriptAccessHook(ScriptAccessHook hook);
void beforeScriptAccess();

} // namespace VadiZov
