#include "host/host_output_files.h"

#include <filesystem>

#include "host/host_input_files.h"
#include "platform/output_file.h"

namespace VadiZov::host {

namespace {

namespace fs = std::filesystem;

// `path` relative to DATA_DIR when it lies inside it, links resolved; empty when it does not.
// False when the path cannot be resolved (a loop of links, a folder that may not be searched).
bool insideDataDir(const std::string& dataDir, const std::string& path, std::string* inside)
{
    std::error_code errors[4];
    const fs::path data = fs::weakly_canonical(fs::absolute(dataDir, errors[0]), errors[1]);
    const fs::path real = fs::weakly_canonical(fs::absolute(path, errors[2]), errors[3]);
    for (const std::error_code& e : errors)
        if (e)
            return false;
    const fs::path relative = real.lexically_relative(data);
    inside->clear();
    if (!relative.empty() && *relative.begin() != "..")
        *inside = relative.string();
    return true;
}

std::string kindReason(platform::OutputKind kind)
{
    switch (kind) {
    case platform::OutputKind::Link: return "is a symbolic link";
    case platform::OutputKind::Directory: return "is a folder";
    case platform::OutputKind::Other: return "is not a regular file";
    default: return std::string();
    }
}

bool refuse(const char* option, const std::string& path, const std::string& reason, std::string* error)
{
    *error = std::string(option) + " " + path + ": " + reason;
    return false;
}

} // namespace

bool checkOutputFile(const HostOptions& options, const char* option, const std::string& path,
                     const std::string& extension, const char* what, std::string* error)
{
    std::string inside;
    if (!insideDataDir(options.dataDir, path, &inside))
        return refuse(option, path, "cannot be resolved", error);
    if (!inside.empty() && inside != ".") {
        const std::string reason = inputPlaceReason(options, inside);
        if (!reason.empty())
            return refuse(option, path, reason, error);
    }
    const platform::OutputKind kind = platform::outputKind(path);
    if (kind != platform::OutputKind::Missing && kind != platform::OutputKind::File)
        return refuse(option, path, kindReason(kind), error);
    std::error_code ec;
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec))
        return refuse(option, path, "its folder does not exist", error);
    if (kind == platform::OutputKind::File && !path.ends_with(extension))
        return refuse(option, path,
                      std::string("would replace an existing file that is not ") + what +
                          " (only a missing file or one ending in \"" + extension + "\" is written)",
                      error);
    return true;
}

bool checkOutputFolder(const HostOptions& options, const std::string& dir, std::string* error)
{
    std::string inside;
    if (!insideDataDir(options.dataDir, dir, &inside))
        return refuse("--mesh-out", dir, "cannot be resolved", error);
    if (!inside.empty()) {
        // What a file written into the folder would replace.
        const std::string reason = inputPlaceReason(options, inside == "." ? "x.obj" : inside + "/x.obj");
        if (!reason.empty())
            return refuse("--mesh-out", dir, reason, error);
    }
    const platform::OutputKind kind = platform::outputKind(dir);
    if (kind == platform::OutputKind::Link)
        return refuse("--mesh-out", dir, "is a symbolic link", error);
    if (kind != platform::OutputKind::Missing && kind != platform::OutputKind::Directory)
        return refuse("--mesh-out", dir, "is not a folder", error);
    return true;
}

bool checkOutputs(const HostOptions& options, std::string* error)
{
    if (!options.debugPicture.svgFile.empty() &&
        !checkOutputFile(options, "--debug-svg", options.debugPicture.svgFile, ".svg", "a picture", error))
        return false;
    if (!options.debugPicture.pngFile.empty() &&
        !checkOutputFile(options, "--debug-png", options.debugPicture.pngFile, ".png", "a picture", error))
        return false;
    return options.meshOutDir.empty() || checkOutputFolder(options, options.meshOutDir, error);
}

} // namespace VadiZov::host
