#include "host/host_game_engine.h"

#include "host/host_trace.h"

namespace VadiZov::host {

namespace {
constexpr float kAirDensity = 1.2f;
constexpr float kNoWater = -1.0e9f;
} // namespace

void HostGameEngine::setDebugFlags(bool on) { trace("GameEngine::setDebugFlags(%d)", on ? 1 : 0); }

void HostGameEngine::queryNodeEnvironment(float3 worldPos, HostObject*, float* mediumDensity, int*,
                                          float* waterSurfaceZ)
{
    trace("GameEngine::queryNodeEnvironment(%g, %g, %g)", double(worldPos.x), double(worldPos.y),
          double(worldPos.z));
    ++environmentQueries;
    if (mediumDensity)
        *mediumDensity = kAirDensity;
    if (waterSurfaceZ)
        *waterSurfaceZ = kNoWater;
}

void HostGameEngine::setTimeScale(float scale)
{
    trace("GameEngine::setTimeScale(%g)", double(scale));
    timeScale = scale;
}

// A fixed camera 20 m south of the origin, 5 m up, looking north onto a 1280 x 720 screen;
// z of the answer is the depth in front of the camera.
void HostGameEngine::projectPosition(float3* out, const float3* worldPos)
{
    const float3 p = worldPos ? *worldPos : float3();
    trace("GameEngine::projectPosition(%g, %g, %g)", double(p.x), double(p.y), double(p.z));
    const float depth = p.y + 20.0f;
    const float scale = depth > 0.01f ? 800.0f / depth : 0.0f;
    if (out)
        *out = float3(640.0f + p.x * scale, 360.0f - (p.z - 5.0f) * scale, depth);
}

void HostGameEngine::enableInputEventForwarding(const char* what)
{
    char q[600];
    trace("GameEngine::enableInputEventForwarding(%s)", quoted(what, q, sizeof q));
}

SFXSource* HostGameEngine::createSFXSource(const char* name)
{
    char q[600];
    trace("GameEngine::createSFXSource(%s)", quoted(name, q, sizeof q));
    sounds.push_back(std::make_unique<HostSound>(name ? name : ""));
    return sounds.back().get();
}

void HostGameEngine::deleteSFXSource(SFXSource* source, bool stopFirst)
{
    trace("GameEngine::deleteSFXSource(%s, %d)", source ? static_cast<HostSound*>(source)->name().c_str() : "null",
          stopFirst ? 1 : 0);
    std::erase_if(sounds, [source](const auto& held) { return held.get() == source; });
}

SFXSource* HostGameEngine::playSFXOnce(const char* name)
{
    char q[600];
    trace("GameEngine::playSFXOnce(%s)", quoted(name, q, sizeof q));
    HostSound* sound = nullptr;
    for (OneShot& held : oneShots_) {
        if (held.finishedAt >= 0 && held.finishedAt + 1 < frame_) {
            sound = held.sound.get();
            held.finishedAt = -1;
            break;
        }
    }
    if (!sound && oneShots_.size() < kMaxOneShots) {
        oneShots_.push_back({std::make_unique<HostSound>(""), -1});
        sound = oneShots_.back().sound.get();
    }
    if (!sound)
        return nullptr;
    *sound = HostSound(name ? name : "");
    sound->play(0.0f);
    return sound;
}

void HostGameEngine::endFrame()
{
    for (OneShot& held : oneShots_) {
        if (held.finishedAt < 0) {
            held.sound->finish();
            held.finishedAt = frame_;
        }
    }
    ++frame_;
}

int HostGameEngine::setupForceFeedback(const char* config)
{
    char q[600];
    trace("GameEngine::setupForceFeedback(%s)", quoted(config, q, sizeof q));
    return 0;
}

void HostGameEngine::sendForceFeedback(int channel, float value)
{
    trace("GameEngine::sendForceFeedback(%d, %g)", channel, double(value));
}

const char* HostGameEngine::getForceFeedbackConfig(int channel)
{
    trace("GameEngine::getForceFeedbackConfig(%d)", channel);
    return nullptr;
}

void HostGameEngine::executeJS(const char* script, int value)
{
    char q[900];
    trace("GameEngine::executeJS(%s, %d)", quoted(script, q, sizeof q), value);
    javaScript.emplace_back(script ? script : "");
}

} // namespace VadiZov::host
