#include "host/host_spot_light.h"

#include "host/host_trace.h"

namespace VadiZov::host {

void HostSpotLight::setLightArgs(float value, void*) { trace("SpotLight::setLightArgs(%d, %g)", number_, double(value)); }

void HostSpotLight::setLightArgs2(void*) { trace("SpotLight::setLightArgs2(%d)", number_); }

void HostSpotLight::setPlacement(const float3* p, const float3* u, const float3* f, const float3*, const float3*)
{
    trace("SpotLight::setPlacement(%d, %g, %g, %g)", number_, double(p->x), double(p->y), double(p->z));
    placed = true;
    position = *p;
    up = *u;
    forward = *f;
}

void HostSpotLight::setEnabled(bool on)
{
    trace("SpotLight::setEnabled(%d, %d)", number_, on ? 1 : 0);
    enabled = on ? 1 : 0;
    ++enableCalls;
}

} // namespace VadiZov::host
