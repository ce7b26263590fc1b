#include "host/host_input_files.h"

#include "host/host_file_system.h"

#include "platform/last_error.h"
#include "platform/path_below.h"

namespace VadiZov::host {

namespace {

// Far above any height map or triangle list the host is meant for; a file without end (a
// device, a growing file) is refused instead of filling memory.
constexpr uint64_t kMaxGroundFileBytes = uint64_t(256) << 20;

bool readInputBelow(const std::string& dataDir, const char* option, const std::string& file, std::string* bytes,
                    std::string* error)
{
    if (!platform::isPathBelow(file)) {
        *error = std::string(option) + " " + file + ": must be a path below DATA_DIR";
        return false;
    }
    if (!platform::readFileBelow(dataDir, file, kMaxGroundFileBytes, bytes)) {
        *error = "cannot read " + file + ": it " + platform::refusalText(platform::getLastError());
        return false;
    }
    return true;
}

// The folders of `path` from the outermost, without the file's own name.
std::vector<std::string> foldersOf(const std::string& path)
{
    std::vector<std::string> folders;
    for (size_t at = path.find_first_of("/\\"); at != std::string::npos; at = path.find_first_of("/\\", at + 1))
        folders.push_back(path.substr(0, at));
    return folders;
}

// "./lua//x" and "lua/x" name the same file.
std::string normal(const std::string& path)
{
    std::string joined;
    for (const std::string& part : platform::pathComponents(path))
        joined += (joined.empty() ? "" : "/") + part;
    return joined;
}

} // namespace

bool readGroundFiles(const HostOptions& options, GroundFiles* ground, std::string* error)
{
    std::string bytes;
    if (!options.terrainFile.empty()) {
        if (!readInputBelow(options.dataDir, "--terrain", options.terrainFile, &bytes, error))
            return false;
        if (!parsePgmHeightMap(bytes, &ground->heightMap, error) ||
            !checkTerrainScale(ground->heightMap, options.squareSize, options.heightScale, error)) {
            *error = options.terrainFile + ": " + *error;
            return false;
        }
    }
    if (!options.staticFile.empty()) {
        if (!readInputBelow(options.dataDir, "--static", options.staticFile, &bytes, error))
            return false;
        if (!parseStaticTriangles(bytes, &ground->staticTriangles, error)) {
            *error = options.staticFile + ": " + *error;
            return false;
        }
    }
    return true;
}

std::string inputPlaceReason(const HostOptions& options, const std::string& given)
{
    const std::string path = normal(given);
    const std::string objectDir = normal(options.objectDir);
    const std::vector<std::string> folders = foldersOf(path);
    if (!folders.empty() && folders.front() == "lua")
        return "would replace a file below lua/, which holds the scripts";
    if (!folders.empty() && folders.front() == "meshes")
        return "would replace a file below meshes/, which holds the meshes";
    for (const std::string& folder : folders) {
        if (folder == objectDir ||
            platform::kindBelow(options.dataDir, folder + "/init.lua") == platform::BelowKind::File)
            return "would replace a file in the object folder " + folder;
    }
    if (path == normal(options.terrainFile) || path == normal(options.staticFile))
        return "would replace a ground file";
    return std::string();
}

bool checkInputPlaces(const HostOptions& options, std::string* error)
{
    const struct {
        const char* option;
        const std::string& path;
    } inputs[] = {{"--object", options.objectDir}, {"--terrain", options.terrainFile}, {"--static", options.staticFile}};
    for (const auto& input : inputs) {
        const std::vector<std::string> parts = platform::pathComponents(input.path);
        if (!parts.empty() && parts.front() == kWrittenFolder) {
            *error = std::string(input.option) + " " + input.path + ": inputs may not lie below " + kWrittenFolder +
                     "/, where scripts write";
            return false;
        }
    }
    return true;
}

bool checkLogFile(const HostOptions& options, std::string* error)
{
    const std::string& log = options.logFile;
    if (log.empty())
        return true;
    auto refuse = [&](const std::string& reason) {
        *error = "--log " + log + ": " + reason;
        return false;
    };
    if (!platform::isPathBelow(log))
        return refuse("must be a path below DATA_DIR");
    const std::string input = inputPlaceReason(options, log);
    if (!input.empty())
        return refuse(input);
    const platform::BelowKind kind = platform::kindBelow(options.dataDir, log);
    if (kind != platform::BelowKind::Missing && !(kind == platform::BelowKind::File && log.ends_with(".log")))
        return refuse("would replace an existing file that is not a log (only a missing file or one ending in "
                      "\".log\" is written)");
    return true;
}

} // namespace VadiZov::host
