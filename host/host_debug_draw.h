// Counts what the library asks the host to draw.
#pragma once

#include "velkor/host.h"

namespace VadiZov::host {

class HostDebugDrawCounter final : public HostDebugDraw {
public:
    void drawLines(const float3* points, const color* colors, int32_t pointCount) override;
    void drawTriangles(const float3* points, const color* colors, int32_t pointCount) override;
    void drawTexts(float3 position, color colour, const char* text) override;
    void drawSpheres(float radius, float3 centre, color colour) override;
    void drawBeams3d(float3 first, float3 second, float radius, color colour) override;

    long lines = 0, triangles = 0, texts = 0, spheres = 0, beams = 0;
};

} // namespace VadiZov::host
