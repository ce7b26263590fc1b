// Command line of velkor-host.
#pragma once

#include <string>

namespace VadiZov::host {

struct HostOptions {
    int frames = 600;
    float dt = 1.0f / 60.0f;
    std::string logFile;
    bool trace = false;
    std::string dataDir;
};

extern const char* const kUsage;

// False with a reason when the command line is not usable.
bool parseOptions(int argc, char** argv, HostOptions* options, std::string* error);

} // namespace VadiZov::host
