// Keeps the library settings as they were: scripts under test may write any value into Settings.
#pragma once

#include "base/bsettings.h"

namespace VadiZov::testing {

class ScopedSettings {
public:
    ScopedSettings() = default;
    ~ScopedSettings()
    {
        Settings::fps = fps_;
        Settings::fpsRealtime = fpsRealtime_;
        Settings::max_step = maxStep_;
        Settings::gravity = gravity_;
        Settings::debug = debug_;
        Settings::spawnScale = spawnScale_;
        Settings::socketEnabled = socketEnabled_;
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
};

} // namespace VadiZov::testing
