// Keeps the library settings, and optionally the working directory, as they were: scripts under
// test may write any value into Settings and any file into the directory they run in.
#pragma once

#include <filesystem>
#include <string>

#include "base/bsettings.h"

namespace VadiZov::testing {

class ScopedSettings {
public:
    ScopedSettings() = default;
    // Also runs the scope in a fresh directory of its own, removed at the end.
    explicit ScopedSettings(const std::string& workingDirectory)
        : previousDirectory_(std::filesystem::current_path()), workingDirectory_(workingDirectory)
    {
        std::filesystem::remove_all(workingDirectory_);
        std::filesystem::create_directories(workingDirectory_);
        std::filesystem::current_path(workingDirectory_);
    }
    ~ScopedSettings()
    {
        Settings::fps = fps_;
        Settings::fpsRealtime = fpsRealtime_;
        Settings::max_step = maxStep_;
        Settings::gravity = gravity_;
        Settings::debug = debug_;
        Settings::spawnScale = spawnScale_;
        Settings::socketEnabled = socketEnabled_;
        if (!workingDirectory_.empty()) {
            std::filesystem::current_path(previousDirectory_);
            std::error_code ignored;
            std::filesystem::remove_all(workingDirectory_, ignored);
        }
    }
    ScopedSettings(const ScopedSettings&) = delete;
    ScopedSettings& operator=(const ScopedSettings&) = delete;

private:
    float fps_ = Settings::fps;
    float fpsRealtime_ = Settings::fpsRealtime;
    int maxStep_ = Settings::max_step;
    float gravity_ = Settings::gravity;
    int debug_ = Settings::debug;
    float spawnScale_ = Settings::spawnScale;
    bool socketEnabled_ = Settings::socketEnabled;
    std::filesystem::path previousDirectory_;
    std::filesystem::path workingDirectory_;
};

} // namespace VadiZov::testing
