// The host's game engine: every node sits in air of density 1.2 with no water; the time scale,
// JavaScript, sound sources, projections and the other calls are recorded.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/host_sound.h"
#include "velkor/host.h"

namespace VadiZov::host {

class HostGameEngine final : public GameEngine {
public:
    void setDebugFlags(bool on) override;
    void queryNodeEnvironment(float3 worldPos, HostObject* object, float* mediumDensity, int* scratch,
                              float* waterSurfaceZ) override;
    void setTimeScale(float scale) override;
    void projectPosition(float3* out, const float3* worldPos) override;
    void enableInputEventForwarding(const char* what) override;
    SFXSource* createSFXSource(const char* name) override;
    void deleteSFXSource(SFXSource* source, bool stopFirst) override;
    SFXSource* playSFXOnce(const char* name) override;
    int setupForceFeedback(const char* config) override;
    void sendForceFeedback(int channel, float value) override;
    const char* getForceFeedbackConfig(int channel) override;
    void executeJS(const char* script, int value) override;

    float timeScale = 1.0f;
    long environmentQueries = 0;
    std::vector<std::string> javaScript;
    // After each engine update: one-shots played in the frame finish (report isValid() false).
    void endFrame();

    // Sound sources handed out and not deleted; they record what they are told.
    std::vector<std::unique_ptr<HostSound>> sounds;

    // One-shots are never freed during a run: the library may still ask an attached one whether
    // it is valid, and a script may hold one. A one-shot that finished before the last engine
    // update began (that update dropped it from every attached list) is reused instead, so at
    // most this many exist; past it playSFXOnce gives null.
    static constexpr size_t kMaxOneShots = 512;
    size_t oneShotCount() const { return oneShots_.size(); }

private:
    struct OneShot {
        std::unique_ptr<HostSound> sound;
        long finishedAt = -1;  // the frame it finished in; -1 while it plays
    };
    std::vector<OneShot> oneShots_;
    long frame_ = 0;
};

} // namespace VadiZov::host
