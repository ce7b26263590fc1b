// The host's debug-draw target: keeps a copy of what the library sends in one render, so the
// host can draw it as a picture after the run.
#pragma once

#include <string>
#include <vector>

#include "velkor/host.h"

namespace VadiZov::host {

struct CapturedText {
    float3 position;
    color colour;
    std::string text;
};

struct CapturedSphere {
    float radius;
    float3 centre;
    color colour;
};

struct CapturedBeam {
    float3 first, second;
    float radius;
    color colour;
};

class HostDebugCapture final : public HostDebugDraw {
public:
    void drawLines(const float3* points, const color* colors, int32_t pointCount) override;
    void drawTriangles(const float3* points, const color* colors, int32_t pointCount) override;
    void drawTexts(float3 position, color colour, const char* text) override;
    void drawSpheres(float radius, float3 centre, color colour) override;
    void drawBeams3d(float3 first, float3 second, float radius, color colour) override;

    // Two points a segment, three a triangle; one colour per point.
    std::vector<float3> linePoints, trianglePoints;
    std::vector<color> lineColors, triangleColors;
    std::vector<CapturedText> texts;
    std::vector<CapturedSphere> spheres;
    std::vector<CapturedBeam> beams;
};

} // namespace VadiZov::host
