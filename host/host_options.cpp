#include "host/host_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace VadiZov::host {

const char* const kUsage =
    "usage: velkor-host [--frames N] [--dt SECONDS] [--log FILE] [--trace] DATA_DIR\n"
    "  --frames N     host frames to run (default 600)\n"
    "  --dt SECONDS   time of one host frame (default 1/60)\n"
    "  --log FILE     open FILE below DATA_DIR as the engine's log file\n"
    "  --trace        print every call the library makes into the host on stderr\n";

namespace {

bool parseInt(const char* text, int* out)
{
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    if (errno || end == text || *end || value < 0 || value > 100000000)
        return false;
    *out = int(value);
    return true;
}

bool parseSeconds(const char* text, float* out)
{
    char* end = nullptr;
    errno = 0;
    float value = std::strtof(text, &end);
    if (errno || end == text || *end || !std::isfinite(value) || value < 0.0f)
        return false;
    *out = value;
    return true;
}

} // namespace

bool parseOptions(int argc, char** argv, HostOptions* options, std::string* error)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                *error = std::string(name) + " needs a value";
                return nullptr;
            }
            return argv[++i];
        };
        if (std::strcmp(arg, "--frames") == 0) {
            const char* v = value(arg);
            if (!v)
                return false;
            if (!parseInt(v, &options->frames)) {
                *error = "--frames takes a whole number of frames";
                return false;
            }
        } else if (std::strcmp(arg, "--dt") == 0) {
            const char* v = value(arg);
            if (!v)
                return false;
            if (!parseSeconds(v, &options->dt)) {
                *error = "--dt takes a time in seconds, 0 or more";
                return false;
            }
        } else if (std::strcmp(arg, "--log") == 0) {
            const char* v = value(arg);
            if (!v)
                return false;
            options->logFile = v;
        } else if (std::strcmp(arg, "--trace") == 0) {
            options->trace = true;
        } else if (arg[0] == '-' && arg[1] != '\0') {
            *error = std::string("unknown option ") + arg;
            return false;
        } else if (options->dataDir.empty()) {
            options->dataDir = arg;
        } else {
            *error = "only one data directory";
            return false;
        }
    }
    if (options->dataDir.empty()) {
        *error = "no data directory";
        return false;
    }
    return true;
}

} // namespace VadiZov::host
