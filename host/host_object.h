// The host's side of one simulated object: remembers the position and bounding box the library
// reports, and the tire marks it lays.
#pragma once

#include "velkor/host.h"

namespace VadiZov::host {

class HostObjectRecord final : public HostObject {
public:
    explicit HostObjectRecord(float3 spawnPosition) : position(spawnPosition) {}
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
};

} // namespace VadiZov::host
