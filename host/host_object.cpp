#include "host/host_object.h"

#include "host/host_trace.h"

namespace VadiZov::host {

ResourceContainer* HostObjectRecord::getResourceContainer()
{
    trace("HostObject::getResourceContainer()");
    return nullptr;  // no meshes in the reference host
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

void HostObjectRecord::updateCamera(int internalCamera, int internalCameraCount, const CameraRecord*, float, float,
                                    float, float)
{
    trace("HostObject::updateCamera(%d, %d)", internalCamera, internalCameraCount);
}

Material* HostObjectRecord::getMaterial(const char* name)
{
    char q[600];
    trace("HostObject::getMaterial(%s)", quoted(name, q, sizeof q));
    return nullptr;
}

SpotLight* HostObjectRecord::createSpotLight()
{
    trace("HostObject::createSpotLight()");
    return nullptr;
}

void HostObjectRecord::deleteSpotLight(SpotLight*) { trace("HostObject::deleteSpotLight()"); }

void HostObjectRecord::addTireMark(const float3* where, const float3*, float intensity)
{
    trace("HostObject::addTireMark(%g, %g, %g, %g)", where ? double(where->x) : 0.0, where ? double(where->y) : 0.0,
          where ? double(where->z) : 0.0, double(intensity));
    ++tireMarks;
}

} // namespace VadiZov::host
