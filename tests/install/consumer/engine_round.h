// What both consumers do with the three exports: check the version, make an engine, destroy it.
// Also: which libvelkor file the process has loaded, so the caller can see it is the installed one.
#pragma once

#include <link.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "velkor/velkor.h"

namespace consumer {

inline int collectVelkor(dl_phdr_info* info, size_t, void* data)
{
    const char* name = info->dlpi_name;
    const char* base = name ? std::strrchr(name, '/') : nullptr;
    base = base ? base + 1 : name;
    if (base && std::strncmp(base, "libvelkor.so", 12) == 0)
        *static_cast<std::string*>(data) = name;
    return 0;
}

// The path of the loaded libvelkor, empty when none is loaded.
inline std::string loadedVelkor()
{
    std::string path;
    dl_iterate_phdr(collectVelkor, &path);
    return path;
}

inline int engineRound(GetBeamEngineVersionFn version, GetBeamEngineFn make, DestroyBeamEngineFn destroy)
{
    if (!version || !make || !destroy) {
        std::fprintf(stderr, "consumer: an export is missing\n");
        return 1;
    }
    const int v = version();
    if (v != 1) {
        std::fprintf(stderr, "consumer: engine version %d, expected 1\n", v);
        return 1;
    }
    VadiZov::BeamEngine* engine = make();
    if (!engine) {
        std::fprintf(stderr, "consumer: getBeamEngine gave no engine\n");
        return 1;
    }
    destroy(engine);
    std::printf("library %s\nversion %d, engine made and destroyed\n", loadedVelkor().c_str(), v);
    return 0;
}

} // namespace consumer
