#include "host/host_sound.h"

#include "host/host_trace.h"

namespace VadiZov::host {

namespace {

void traceVector(const char* what, const std::string& name, const Vector3& v)
{
    trace("SFXSource::%s(%s, %g, %g, %g)", what, name.c_str(), double(v.x), double(v.y), double(v.z));
}

} // namespace

bool HostSound::isPlaying() { return state_ == State::kPlaying; }
bool HostSound::isStopped() { return state_ == State::kStopped; }
bool HostSound::isPaused() { return state_ == State::kPaused; }
bool HostSound::isLooping() { return false; }

void HostSound::play(float fadeInTime)
{
    trace("SFXSource::play(%s, %g)", name_.c_str(), double(fadeInTime));
    state_ = State::kPlaying;
}

void HostSound::stop(float fadeOutTime)
{
    trace("SFXSource::stop(%s, %g)", name_.c_str(), double(fadeOutTime));
    state_ = State::kStopped;
}

void HostSound::pause(float fadeOutTime)
{
    trace("SFXSource::pause(%s, %g)", name_.c_str(), double(fadeOutTime));
    state_ = State::kPaused;
}

float HostSound::getElapsedPlayTime() { return 0.0f; }
float HostSound::getTotalPlayTime() { return 0.0f; }
bool HostSound::is3d() { return true; }
Vector3 HostSound::getVelocity() { return velocity_; }

void HostSound::setVelocity(Vector3 velocity)
{
    traceVector("setVelocity", name_, velocity);
    velocity_ = velocity;
}

Vector3 HostSound::getPosition() { return position_; }

void HostSound::setPosition(Vector3 position)
{
    traceVector("setPosition", name_, position);
    position_ = position;
}

Vector3 HostSound::getDirection() { return direction_; }

void HostSound::setDirection(Vector3 direction)
{
    traceVector("setDirection", name_, direction);
    direction_ = direction;
}

void HostSound::setMinMaxDistance(float minDistance, float maxDistance)
{
    trace("SFXSource::setMinMaxDistance(%s, %g, %g)", name_.c_str(), double(minDistance), double(maxDistance));
}

float HostSound::getDistToListener() { return 0.0f; }
float HostSound::getVolume() { return volume_; }

void HostSound::setVolume(float volume)
{
    trace("SFXSource::setVolume(%s, %g)", name_.c_str(), double(volume));
    volume_ = volume;
}

float HostSound::getPitch() { return pitch_; }

void HostSound::setPitch(float pitch)
{
    trace("SFXSource::setPitch(%s, %g)", name_.c_str(), double(pitch));
    pitch_ = pitch;
}

bool HostSound::isValid() { return valid_; }

void HostSound::finish()
{
    valid_ = false;
    state_ = State::kStopped;
}

void HostSound::destroy()
{
    trace("SFXSource::destroy(%s)", name_.c_str());
    valid_ = false;
    state_ = State::kStopped;
}

} // namespace VadiZov::host
