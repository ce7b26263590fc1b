#include "host/host_debug_draw.h"

#include "host/host_trace.h"

namespace VadiZov::host {

void HostDebugDrawCounter::drawLines(const float3*, const color*, int32_t pointCount)
{
    trace("HostDebugDraw::drawLines(%d)", pointCount);
    lines += pointCount / 2;
}

void HostDebugDrawCounter::drawTriangles(const float3*, const color*, int32_t pointCount)
{
    trace("HostDebugDraw::drawTriangles(%d)", pointCount);
    triangles += pointCount / 3;
}

void HostDebugDrawCounter::drawTexts(float3 position, color, const char* text)
{
    char q[600];
    trace("HostDebugDraw::drawTexts(%g, %g, %g, %s)", double(position.x), double(position.y), double(position.z),
          quoted(text, q, sizeof q));
    ++texts;
}

void HostDebugDrawCounter::drawSpheres(float radius, float3 centre, color)
{
    trace("HostDebugDraw::drawSpheres(%g, %g, %g, %g)", double(radius), double(centre.x), double(centre.y),
          double(centre.z));
    ++spheres;
}

void HostDebugDrawCounter::drawBeams3d(float3, float3, float radius, color)
{
    trace("HostDebugDraw::drawBeams3d(%g)", double(radius));
    ++beams;
}

} // namespace VadiZov::host
