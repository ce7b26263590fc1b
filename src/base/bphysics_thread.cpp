#include "base/bphysics_thread.h"

#include "base/blog.h"

namespace VadiZov {

namespace {
thread_local bool t_physicsThread = false;
} // namespace

void markPhysicsThread() { t_physicsThread = true; }

bool onPhysicsThread() { return t_physicsThread; }

bool refuseOnPhysicsThread(const char* operation)
{
    if (!t_physicsThread)
        return false;
    logFormat(LOG_ERROR, "*** %s: refused on a physics thread", operation);
    return true;
}

bool refuseOnPhysicsThread(const char* owner, const char* member)
{
    if (!t_physicsThread)
        return false;
    logFormat(LOG_ERROR, "*** %s.%s: refused on a physics thread", owner, member);
    return true;
}

} // namespace VadiZov
