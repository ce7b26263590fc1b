// The host's side of one simulated object: remembers the position and bounding box the library
// reports, the tire marks it lays, its last camera record and its spot lights, and hands out the
// host's meshes.
#pragma once

#include <memory>
#include <vector>

#include "host/host_spot_light.h"
#include "velkor/host.h"

namespace VadiZov::host {

class HostObjectRecord final : public HostObject {
public:
    HostObjectRecord(float3 spawnPosition, ResourceContainer* resources)
        : position(spawnPosition), resources_(resources)
    {
    }
    ResourceContainer* getResourceContainer() override;
    float3* getPosition(float3* out) override;
    void setBoundingBox(float3 minCorner, float3 maxCorner) override;
    void setPosition(float3 newPosition) override;
    void updateCamera(int internalCamera, int internalCameraCount, const CameraRecord* record, float cameraValue,
                      float factor1, float factor2, float camRelaxation) override;
    Material* getMaterial(const char* name) override;
    SpotLight* createSpotLight() override;
    void deleteSpotLight(SpotLight* light) override;
    void addTireMark(const float3* where, const float3* normal, float intensity) override;

    float3 position;
    float3 boxMin, boxMax;
    long tireMarks = 0;

    struct CameraState {
        bool received = false;
        int internalCamera = -1, internalCameraCount = 0;
        float3 reference, side, direction, external, internalNode;
        float cameraValue = 0.0f;
    } camera;
    std::vector<std::unique_ptr<HostSpotLight>> lights;  // created and not deleted

private:
    ResourceContainer* resources_;
    int lightsMade_ = 0;
};

} // namespace VadiZov::host
