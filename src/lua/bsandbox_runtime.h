// The C runtime calls of the Lua runtime beyond files and streams that reach the process: the
// locale and native libraries. Like the stand-ins of bsandbox_stdio.h they carry C names, which
// the runtime's own calls were renamed to.
#pragma once

namespace VadiZov {

extern "C" {

// The locale belongs to the whole process: a script that switched it would change how every
// other state and the library itself format and read numbers. A query, and a request for the
// locale already in force ("C" or "POSIX"), answer "C"; anything else fails (null) as an unknown
// locale does. Nothing is changed.
char* sandbox_setlocale(int category, const char* locale);

// Native libraries are never loaded for a script: dlopen logs the warning
// "Lua tried to load a native library: %s" and fails; dlerror says why.
void* sandbox_dlopen(const char* path, int flags);
void* sandbox_dlsym(void* library, const char* name);
int sandbox_dlclose(void* library);
char* sandbox_dlerror();

} // extern "C"

} // namespace VadiZov
