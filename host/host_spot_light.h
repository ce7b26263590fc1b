// A spot light of the reference host: it remembers where it was last placed and whether it is on.
#pragma once

#include "velkor/host.h"

namespace VadiZov::host {

class HostSpotLight final : public SpotLight {
public:
    explicit HostSpotLight(int number) : number_(number) {}
    void setLightArgs(float value, void* hostRecord) override;
    void setLightArgs2(void* hostRecord) override;
    void setPlacement(const float3* position, const float3* up, const float3* forward, const float3* baseRotation,
                      const float3* rotation) override;
    void setEnabled(bool on) override;

    int number() const { return number_; }
    bool placed = false;
    float3 position, up, forward;
    int enabled = -1;  // -1 never told
    int enableCalls = 0;

private:
    int number_;
};

} // namespace VadiZov::host
