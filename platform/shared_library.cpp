#include "platform/shared_library.h"

#include <dlfcn.h>

namespace VadiZov::platform {

SharedLibrary::~SharedLibrary()
{
    if (handle_)
        dlclose(handle_);
}

bool SharedLibrary::load(const std::string& path, bool globalSymbols)
{
    if (handle_)
        return true;
    handle_ = dlopen(path.c_str(), RTLD_NOW | (globalSymbols ? RTLD_GLOBAL : RTLD_LOCAL));
    if (!handle_) {
        const char* text = dlerror();
        error_ = text ? text : "unknown loader error";
        return false;
    }
    return true;
}

void* SharedLibrary::symbol(const char* name) const
{
    return handle_ ? dlsym(handle_, name) : nullptr;
}

} // namespace VadiZov::platform
