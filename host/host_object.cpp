#include "host/host_object.h"

#include "host/host_trace.h"

namespace VadiZov::host {

ResourceContainer* HostObjectRecord::getResourceContainer()
{
    trace("HostObject::getResourceContainer()");
    return resources_;
}

float3* HostObjectRecord::getPosition(float3* out)
{
    trace("HostObject::getPosition()");
    if (!out)
        return &position;
    *out = position;
    return out;
}

void HostObjectRecord::setBoundingBox(float3 minCorner, float3 maxCorner)
{
    trace("HostObject::setBoundingBox(%g, %g, %g, %g, %g, %g)", double(minCorner.x), double(minCorner.y),
          double(minCorner.z), double(maxCorner.x), double(maxCorner.y), double(maxCorner.z));
    boxMin = minCorner;
    boxMax = maxCorner;
}

void HostObjectRecord::setPosition(float3 newPosition)
{
    trace("HostObject::setPosition(%g, %g, %g)", double(newPosition.x), double(newPosition.y),
          double(newPosition.z));
    position = newPosition;
}

void HostObjectRecord::updateCamera(int internalCamera, int internalCameraCount, const CameraRecord* record,
                                    float cameraValue, float factor1, float factor2, float camRelaxation)
{
    trace("HostObject::updateCamera(%d, %d, %g, %g, %g, %g)", internalCamera, internalCameraCount,
          double(cameraValue), double(factor1), double(factor2), double(camRelaxation));
    camera.received = true;
    camera.internalCamera = internalCamera;
    camera.internalCameraCount = internalCameraCount;
    camera.reference = record->values[0];
    camera.side = record->values[1];
    camera.direction = record->values[2];
    camera.external = record->values[3];
    camera.internalNode = record->values[5];
    camera.cameraValue = cameraValue;
}

Material* HostObjectRecord::getMaterial(const char* name)
{
    char q[600];
    trace("HostObject::getMaterial(%s)", quoted(name, q, sizeof q));
    return nullptr;
}

SpotLight* HostObjectRecord::createSpotLight()
{
    trace("HostObject::createSpotLight() -> %d", lightsMade_);
    lights.push_back(std::make_unique<HostSpotLight>(lightsMade_++));
    return lights.back().get();
}

void HostObjectRecord::deleteSpotLight(SpotLight* light)
{
    trace("HostObject::deleteSpotLight(%d)", light ? static_cast<HostSpotLight*>(light)->number() : -1);
    std::erase_if(lights, [light](const auto& held) { return held.get() == light; });
}

void HostObjectRecord::addTireMark(const float3* where, const float3*, float intensity)
{
    trace("HostObject::addTireMark(%g, %g, %g, %g)", where ? double(where->x) : 0.0, where ? double(where->y) : 0.0,
          where ? double(where->z) : 0.0, double(intensity));
    ++tireMarks;
}

} // namespace VadiZov::host
