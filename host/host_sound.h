// A sound source of the reference host: it plays nothing, but keeps and reports what it is told.
#pragma once

#include <string>

#include "velkor/host.h"

namespace VadiZov::host {

class HostSound final : public SFXSource {
public:
    explicit HostSound(std::string name) : name_(std::move(name)) {}
    bool isPlaying() override;
    bool isStopped() override;
    bool isPaused() override;
    bool isLooping() override;
    void play(float fadeInTime) override;
    void stop(float fadeOutTime) override;
    void pause(float fadeOutTime) override;
    float getElapsedPlayTime() override;
    float getTotalPlayTime() override;
    bool is3d() override;
    Vector3 getVelocity() override;
    void setVelocity(Vector3 velocity) override;
    Vector3 getPosition() override;
    void setPosition(Vector3 position) override;
    Vector3 getDirection() override;
    void setDirection(Vector3 direction) override;
    void setMinMaxDistance(float minDistance, float maxDistance) override;
    float getDistToListener() override;
    float getVolume() override;
    void setVolume(float volume) override;
    float getPitch() override;
    void setPitch(float pitch) override;
    bool isValid() override;
    void destroy() override;

    const std::string& name() const { return name_; }
    // A one-shot that has played: it reports itself invalid from now on.
    void finish();

private:
    enum class State { kStopped, kPlaying, kPaused };
    std::string name_;
    State state_ = State::kStopped;
    Vector3 velocity_, position_, direction_;
    float volume_ = 1.0f, pitch_ = 1.0f;
    bool valid_ = true;
};

} // namespace VadiZov::host
