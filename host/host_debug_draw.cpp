#include "host/host_debug_draw.h"

#include "host/host_trace.h"

namespace VadiZov::host {

namespace {

// A count that is not a whole number of segments or triangles drops its incomplete tail.
template <int PerShape>
void append(std::vector<float3>& points, std::vector<color>& colours, const float3* p, const color* c, int32_t n)
{
    if (!p || !c || n < PerShape)
        return;
    const int32_t whole = n - n % PerShape;
    points.insert(points.end(), p, p + whole);
    colours.insert(colours.end(), c, c + whole);
}

} // namespace

void HostDebugCapture::drawLines(const float3* points, const color* colors, int32_t pointCount)
{
    trace("HostDebugDraw::drawLines(%d)", pointCount);
    append<2>(linePoints, lineColors, points, colors, pointCount);
}

void HostDebugCapture::drawTriangles(const float3* points, const color* colors, int32_t pointCount)
{
    trace("HostDebugDraw::drawTriangles(%d)", pointCount);
    append<3>(trianglePoints, triangleColors, points, colors, pointCount);
}

void HostDebugCapture::drawTexts(float3 position, color colour, const char* text)
{
    char q[600];
    trace("HostDebugDraw::drawTexts(%g, %g, %g, %s)", double(position.x), double(position.y), double(position.z),
          quoted(text, q, sizeof q));
    texts.push_back({position, colour, text ? text : ""});
}

void HostDebugCapture::drawSpheres(float radius, float3 centre, color colour)
{
    trace("HostDebugDraw::drawSpheres(%g, %g, %g, %g)", double(radius), double(centre.x), double(centre.y),
          double(centre.z));
    spheres.push_back({radius, centre, colour});
}

void HostDebugCapture::drawBeams3d(float3 first, float3 second, float radius, color colour)
{
    trace("HostDebugDraw::drawBeams3d(%g)", double(radius));
    beams.push_back({first, second, radius, colour});
}

} // namespace VadiZov::host
