#include "host/host_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace VadiZov::host {

const char* const kUsage =
    "usage: velkor-host [--frames N] [--dt SECONDS] [--log FILE] [--trace] [--object DIR [--at X,Y,Z]]\n"
    "                   [--terrain FILE [--square METRES] [--height-scale METRES]] [--static FILE]\n"
    "                   [--mesh-out DIR] [--debug-svg FILE] [--debug-png FILE] [--debug-view top|side]\n"
    "                   DATA_DIR\n"
    "  --frames N     host frames to run (default 600)\n"
    "  --dt SECONDS   time of one host frame (default 1/60)\n"
    "  --log FILE     open FILE below DATA_DIR as the engine's log file\n"
    "  --trace        print every call the library makes into the host on stderr\n"
    "  --object DIR   add the object whose init.lua is in DIR below DATA_DIR\n"
    "  --at X,Y,Z     where the object is added (default 0,0,0)\n"
    "  --terrain FILE    16-bit binary PGM height map below DATA_DIR, centred on the origin\n"
    "  --square METRES   grid spacing of the height map (default 1)\n"
    "  --height-scale METRES  metres per height unit (default 0.001)\n"
    "  --static FILE     static triangles below DATA_DIR, one per line as nine numbers\n"
    "  --mesh-out DIR    after the last frame, write each flexible mesh as DIR/<object>-<n>.obj\n"
    "  --debug-svg FILE  after the last frame, draw the object's debug render into an SVG picture\n"
    "  --debug-png FILE  the same as a PNG picture\n"
    "  --debug-view top|side  seen from above (x right, y up; the default) or the side (x right, z up)\n";

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

// Three comma-separated finite numbers.
bool parsePosition(const char* text, float out[3])
{
    const char* p = text;
    for (int i = 0; i < 3; ++i) {
        char* end = nullptr;
        errno = 0;
        const float value = std::strtof(p, &end);
        if (errno || end == p || !std::isfinite(value))
            return false;
        out[i] = value;
        if (i < 2 && *end != ',')
            return false;
        p = end + (i < 2 ? 1 : 0);
    }
    return *p == '\0';
}

bool parseMetres(const char* text, float* out)
{
    return parseSeconds(text, out) && *out > 0.0f;
}

} // namespace

bool parseOptions(int argc, char** argv, HostOptions* options, std::string* error)
{
    bool atGiven = false;
    bool terrainScaleGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                *error = std::string(name) + " needs a value";
                return nullptr;
            }
            return argv[++i];
        };
        if (parseDebugPictureOption(argc, argv, i, &options->debugPicture, error)) {
            if (!error->empty())
                return false;
        } else if (std::strcmp(arg, "--frames") == 0) {
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
        } else if (std::strcmp(arg, "--object") == 0) {
            const char* v = value(arg);
            if (!v)
                return false;
            if (!options->objectDir.empty()) {
                *error = "--object given twice: the engine has one object slot";
                return false;
            }
            // The engine keeps object folder names in 1023 characters.
            if (std::strlen(v) > kMaxObjectDirLength) {
                *error = "--object takes a folder name of at most " + std::to_string(kMaxObjectDirLength) +
                         " characters";
                return false;
            }
            options->objectDir = v;
        } else if (std::strcmp(arg, "--at") == 0) {
            const char* v = value(arg);
            if (!v)
                return false;
            if (!parsePosition(v, options->at)) {
                *error = "--at takes three numbers X,Y,Z";
                return false;
            }
            atGiven = true;
        } else if (std::strcmp(arg, "--terrain") == 0 || std::strcmp(arg, "--static") == 0) {
            const char* v = value(arg);
            if (!v)
                return false;
            (std::strcmp(arg, "--terrain") == 0 ? options->terrainFile : options->staticFile) = v;
        } else if (std::strcmp(arg, "--square") == 0 || std::strcmp(arg, "--height-scale") == 0) {
            const char* v = value(arg);
            if (!v)
                return false;
            float* target = std::strcmp(arg, "--square") == 0 ? &options->squareSize : &options->heightScale;
            if (!parseMetres(v, target)) {
                *error = std::string(arg) + " takes a length in metres, above 0";
                return false;
            }
            terrainScaleGiven = true;
        } else if (std::strcmp(arg, "--mesh-out") == 0) {
            const char* v = value(arg);
            if (!v)
                return false;
            options->meshOutDir = v;
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
    if (terrainScaleGiven && options->terrainFile.empty()) {
        *error = "--square and --height-scale need --terrain";
        return false;
    }
    if (options->debugPicture.viewGiven && !options->debugPicture.wanted()) {
        *error = "--debug-view needs --debug-svg or --debug-png";
        return false;
    }
    if (atGiven && options->objectDir.empty()) {
        *error = "--at needs --object";
        return false;
    }
    if (options->dataDir.empty()) {
        *error = "no data directory";
        return false;
    }
    return true;
}

} // namespace VadiZov::host
