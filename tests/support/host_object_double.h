// The host object of the tests: it answers what a test sets up (its position, a resource
// container, materials, spot lights) and records every call the library makes into it, so one
// double serves every test that hands the library a host object.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "velkor/host.h"

namespace VadiZov::testing {

struct Placement {
    float3 position, up, forward, baseRotation, rotation;
};

class FakeSpotLight final : public SpotLight {
public:
    void setLightArgs(float, void*) override { ++argsCalls; }
    void setLightArgs2(void*) override { ++argsCalls; }
    void setPlacement(const float3* p, const float3* up, const float3* forward, const float3* baseRotation,
                      const float3* rotation) override
    {
        placements.push_back({*p, *up, *forward, *baseRotation, *rotation});
    }
    void setEnabled(bool on) override { enabled.push_back(on); }

    std::vector<Placement> placements;
    std::vector<bool> enabled;
    int argsCalls = 0;
};

struct CameraCall {
    int index, count;
    CameraRecord record;
    float value, factor1, factor2, relaxation;
};

struct TireMarkCall {
    float3 position, normal;
    float intensity;
};

class HostObjectDouble final : public HostObject {
public:
    ResourceContainer* getResourceContainer() override { return container; }
    float3* getPosition(float3* out) override
    {
        *out = position;
        return out;
    }
    void setBoundingBox(float3 lo, float3 hi) override { boxes.push_back({lo, hi}); }
    void setPosition(float3 p) override
    {
        positions.push_back(p);
        if (followsSetPosition)
            position = p;
        if (onSetPosition) {
            auto hook = std::move(onSetPosition);
            onSetPosition = nullptr;  // once: the hook may cause more calls
            hook();
        }
    }
    void updateCamera(int index, int count, const CameraRecord* record, float value, float factor1, float factor2,
                      float relaxation) override
    {
        cameraCalls.push_back({index, count, *record, value, factor1, factor2, relaxation});
    }
    Material* getMaterial(const char* name) override
    {
        const auto found = materials.find(name ? name : "");
        return found == materials.end() ? nullptr : found->second;
    }
    SpotLight* createSpotLight() override
    {
        if (!makesSpotLights)
            return nullptr;
        lights.push_back(std::make_unique<FakeSpotLight>());
        return lights.back().get();
    }
    void deleteSpotLight(SpotLight* light) override { deletedLights.push_back(light); }
    void addTireMark(const float3* p, const float3* n, float intensity) override
    {
        tireMarks.push_back({*p, *n, intensity});
    }

    // ---- what it answers
    float3 position;                // getPosition
    bool followsSetPosition = false;  // setPosition moves the position it answers
    ResourceContainer* container = nullptr;
    std::map<std::string, Material*> materials;
    bool makesSpotLights = false;  // else createSpotLight gives null
    std::function<void()> onSetPosition;  // runs at the next setPosition, once

    // ---- what it recorded
    std::vector<float3> positions;
    std::vector<std::pair<float3, float3>> boxes;
    std::vector<CameraCall> cameraCalls;
    std::vector<std::unique_ptr<FakeSpotLight>> lights;  // every light it made
    std::vector<SpotLight*> deletedLights;
    std::vector<TireMarkCall> tireMarks;
};

} // namespace VadiZov::testing
