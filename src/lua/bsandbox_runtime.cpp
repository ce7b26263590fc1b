#include "lua/bsandbox_runtime.h"

#include <cstring>

#include "base/blog.h"

namespace VadiZov {

namespace {

char s_localeName[] = "C";
char s_noLibraries[] = "native libraries are not available to scripts";

} // namespace

char* sandbox_setlocale(int, const char* locale)
{
    if (!locale || std::strcmp(locale, "C") == 0 || std::strcmp(locale, "POSIX") == 0)
        return s_localeName;
    return nullptr;
}

void* sandbox_dlopen(const char* path, int)
{
    logFormat(LOG_WARN, "Lua tried to load a native library: %s", path ? path : "NULL");
    flushLog();
    return nullptr;
}

void* sandbox_dlsym(void*, const char*) { return nullptr; }

int sandbox_dlclose(void*) { return 0; }

char* sandbox_dlerror() { return s_noLibraries; }

} // namespace VadiZov
