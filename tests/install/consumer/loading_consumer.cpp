// Knows the library only through the header and opens it with the dynamic loader, as a game does.
#include <dlfcn.h>

#include "engine_round.h"

int main()
{
    // The header-only target must not have linked the library in.
    if (!consumer::loadedVelkor().empty()) {
        std::fprintf(stderr, "consumer: libvelkor was loaded before dlopen: %s\n", consumer::loadedVelkor().c_str());
        return 1;
    }
    void* library = dlopen(VELKOR_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "consumer: %s\n", dlerror());
        return 1;
    }
    const int result = consumer::engineRound(
        reinterpret_cast<GetBeamEngineVersionFn>(dlsym(library, "getBeamEngineVersion")),
        reinterpret_cast<GetBeamEngineFn>(dlsym(library, "getBeamEngine")),
        reinterpret_cast<DestroyBeamEngineFn>(dlsym(library, "destroyBeamEngine")));
    dlclose(library);
    return result;
}
