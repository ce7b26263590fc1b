#include "base/blifetime.h"

#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace VadiZov {

namespace {

struct TrackedBlock {
    uintptr_t begin;
    uintptr_t end;
    LifeFlag flag;
};

// Few objects live at once, so a plain list is searched; handles are made far less often than
// they are used. The slots sit in a deque, whose elements never move.
struct Registry {
    std::mutex lock;
    std::vector<TrackedBlock> blocks;
    std::deque<std::atomic<uint32_t>> slots;
    std::vector<std::atomic<uint32_t>*> freeSlots;
};

// Made with the first tracked object, so it outlives every one of them; it goes when the
// library is unloaded.
Registry& registry()
{
    static Registry instance;
    return instance;
}

// Object Lua states run on their core threads during a frame, so lookups may come from several
// threads at once.
struct SerialRegistry {
    std::mutex mutex;
    std::unordered_map<const void*, uint64_t> serials;
    uint64_t lastSerial = 0;
};

SerialRegistry& serialRegistry()
{
    static SerialRegistry r;
    return r;
}

} // namespace

TrackedLifetime::TrackedLifetime(const void* begin, size_t size) : begin_(begin)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.freeSlots.empty()) {
        slot_ = &r.slots.emplace_back(0u);
    } else {
        slot_ = r.freeSlots.back();
        r.freeSlots.pop_back();
    }
    generation_ = slot_->load(std::memory_order_relaxed);
    const auto start = reinterpret_cast<uintptr_t>(begin);
    r.blocks.push_back({start, start + size, flag()});
}

TrackedLifetime::~TrackedLifetime()
{
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    slot_->store(generation_ + 1, std::memory_order_release);
    r.freeSlots.push_back(slot_);
    const auto start = reinterpret_cast<uintptr_t>(begin_);
    for (size_t i = 0; i < r.blocks.size(); ++i) {
        if (r.blocks[i].begin == start && r.blocks[i].flag.slot == slot_) {
            r.blocks.erase(r.blocks.begin() + long(i));
            break;
        }
    }
}

LifeFlag lifeFlagOf(const void* address)
{
    if (!address)
        return {};
    const auto at = reinterpret_cast<uintptr_t>(address);
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    for (const TrackedBlock& block : r.blocks) {
        if (at >= block.begin && at < block.end)
            return block.flag;
    }
    return {};
}

uint64_t beginLifetime(const void* object)
{
    SerialRegistry& r = serialRegistry();
    std::lock_guard<std::mutex> guard(r.mutex);
    const uint64_t serial = ++r.lastSerial;
    r.serials[object] = serial;
    return serial;
}

void endLifetime(const void* object)
{
    SerialRegistry& r = serialRegistry();
    std::lock_guard<std::mutex> guard(r.mutex);
    r.serials.erase(object);
}

uint64_t lifetimeSerial(const void* object)
{
    SerialRegistry& r = serialRegistry();
    std::lock_guard<std::mutex> guard(r.mutex);
    const auto found = r.serials.find(object);
    return found == r.serials.end() ? 0 : found->second;
}

bool isAlive(const void* object, uint64_t serial)
{
    return serial != 0 && lifetimeSerial(object) == serial;
}

namespace {
std::atomic<ScriptAccessHook> s_scriptAccessHook{nullptr};
} // namespace

void setScriptAccessHook(ScriptAccessHook hook) { s_scriptAccessHook.store(hook, std::memory_order_release); }

void beforeScriptAccess()
{
    if (const ScriptAccessHook hook = s_scriptAccessHook.load(std::memory_order_acquire))
        hook();
}

} // namespace VadiZov
