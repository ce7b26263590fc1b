#include "base/bscript_values.h"

#include <cmath>
#include <initializer_list>

#include "base/bconstants.h"
#include "base/bglobals.h"
#include "base/blog.h"

namespace VadiZov {

namespace {

void refuse(const char* member, const char* what, float value, const char* reason)
{
    logFormat(LOG_ERROR, "*** %s: %s (%g) %s, ignored", member, what, double(value), reason);
}

} // namespace

bool acceptNumber(const char* member, const char* what, float value, float bound)
{
    if (!std::isfinite(value)) {
        refuse(member, what, value, "is not finite");
        return false;
    }
    if (std::fabs(value) > bound) {
        refuse(member, what, value, "is out of range");
        return false;
    }
    return true;
}

bool acceptCoefficient(const char* member, const char* what, float value)
{
    if (!acceptNumber(member, what, value))
        return false;
    if (value < 0.0f) {
        refuse(member, what, value, "is negative");
        return false;
    }
    return true;
}

bool acceptLimit(const char* member, const char* what, float value)
{
    if (std::isfinite(value))
        return true;
    refuse(member, what, value, "is not finite");
    return false;
}

bool acceptVector(const char* member, const char* what, const float3& value, float bound)
{
    for (const float component : {value.x, value.y, value.z}) {
        if (!acceptNumber(member, what, component, bound))
            return false;
    }
    return true;
}

bool roomForBytes(const char* member, size_t used, size_t adding, size_t capacity, const char* what)
{
    if (used <= capacity && adding <= capacity - used)
        return true;
    logFormat(LOG_ERROR, "*** %s: no room for more than %zu bytes of %s, refused", member, capacity, what);
    return false;
}

bool roomForOneShotSound(const char* member)
{
    const int asked = g_oneShotSoundsThisFrame.fetch_add(1, std::memory_order_relaxed);
    if (asked < kMaxOneShotSoundsPerFrame)
        return true;
    g_oneShotSoundsThisFrame.store(kMaxOneShotSoundsPerFrame, std::memory_order_relaxed);  // no wrap-around
    return roomFor(member, size_t(asked), kMaxOneShotSoundsPerFrame, "one-shot sounds this frame");
}

bool roomFor(const char* member, size_t used, int capacity, const char* what)
{
    if (used < size_t(capacity))
        return true;
    logFormat(LOG_ERROR, "*** %s: no room for more than %d %s, refused", member, capacity, what);
    return false;
}

} // namespace VadiZov
