// Library configuration, shared by every Lua state as the static variables of class Settings.
#pragma once

namespace VadiZov {

struct Settings {
    static inline float fps = 2000.0f;          // substeps per real second (scaled by the time scale)
    static inline float fpsRealtime = 2000.0f;  // the unscaled fps
    static inline int max_step = 80;            // most substeps per frame
    static inline float gravity = -9.81f;
    static inline int debug = 0;
    static inline float spawnScale = 1.0f;
    static inline bool socketEnabled = true;
};

// The fixed substep: it never follows Settings::fps.
constexpr float kSubstepTime = 0.0005f;
constexpr float kInvSubstepTime = 2000.0f;

} // namespace VadiZov
