#include "base/blifetime.h"

#include <mutex>
#include <unordered_map>

namespace VadiZov {

namespace {

// Object Lua states run on their core threads during a frame, so lookups may come from several
// threads at once.
struct Registry {
    std::mutex mutex;
    std::unordered_map<const void*, uint64_t> serials;
    uint64_t lastSerial = 0;
};

Registry& registry()
{
    static Registry r;
    return r;
}

} // namespace

uint64_t beginLifetime(const void* object)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    const uint64_t serial = ++r.lastSerial;
    r.serials[object] = serial;
    return serial;
}

void endLifetime(const void* object)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    r.serials.erase(object);
}

uint64_t lifetimeSerial(const void* object)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.mutex);
    const auto found = r.serials.find(object);
    return found == r.serials.end() ? 0 : found->second;
}

bool isAlive(const void* object, uint64_t serial)
{
    return serial != 0 && lifetimeSerial(object) == serial;
}

} // namespace VadiZov
