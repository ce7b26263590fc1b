// Command line of velkor-host.
#pragma once

#include <string>

#include "host/host_debug_output.h"

namespace VadiZov::host {

struct HostOptions {
    int frames = 600;
    float dt = 1.0f / 60.0f;
    std::string logFile;
    bool trace = false;
    std::string dataDir;
    std::string objectDir;  // below dataDir; empty: no object
    float at[3] = {0.0f, 0.0f, 0.0f};
    std::string terrainFile;  // below dataDir; empty: no terrain
    float squareSize = 1.0f;      // metres between height samples
    float heightScale = 0.001f;   // metres per height unit: 16-bit samples span 65.5 m
    std::string staticFile;       // below dataDir; empty: no static triangles
    std::string meshOutDir;       // empty: flexible meshes are not written
    DebugPictureOptions debugPicture;
};

extern const char* const kUsage;
constexpr size_t kMaxObjectDirLength = 1023;

// False with a reason when the command line is not usable.
bool parseOptions(int argc, char** argv, HostOptions* options, std::string* error);

} // namespace VadiZov::host
