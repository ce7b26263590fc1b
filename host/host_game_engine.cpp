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

void HostGameEngine::projectPosition(float3* out, const float3* worldPos)
{
    trace("GameEngine::projectPosition()");
    if (out)
        *out = worldPos ? *worldPos : float3();
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
    return nullptr;  // the reference host plays no sound
}

void HostGameEngine::deleteSFXSource(SFXSource*, bool stopFirst)
{
    trace("GameEngine::deleteSFXSource(%d)", stopFirst ? 1 : 0);
}

SFXSource* HostGameEngine::playSFXOnce(const char* name)
{
    char q[600];
    trace("GameEngine::playSFXOnce(%s)", quoted(name, q, sizeof q));
    return nullptr;
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
