// A HostDebugDraw that keeps every call in order with copies of what it was handed.
#pragma once

#include <string>
#include <vector>

#include "velkor/host.h"

namespace VadiZov::testing {

class RecordingDebugDraw final : public HostDebugDraw {
public:
    struct Call {
        std::string op;  // "lines", "triangles", "text", "sphere", "beam3d"
        std::vector<float3> points;
        std::vector<color> colours;
        std::string text;
        float radius = 0.0f;
    };

    void drawLines(const float3* points, const color* colors, int32_t count) override
    {
        calls.push_back(Call{"lines", {points, points + count}, {colors, colors + count}, {}, 0.0f});
    }
    void drawTriangles(const float3* points, const color* colors, int32_t count) override
    {
        calls.push_back(Call{"triangles", {points, points + count}, {colors, colors + count}, {}, 0.0f});
    }
    void drawTexts(float3 position, color colour, const char* text) override
    {
        calls.push_back(Call{"text", {position}, {colour}, text, 0.0f});
    }
    void drawSpheres(float radius, float3 centre, color colour) override
    {
        calls.push_back(Call{"sphere", {centre}, {colour}, {}, radius});
    }
    void drawBeams3d(float3 first, float3 second, float radius, color colour) override
    {
        calls.push_back(Call{"beam3d", {first, second}, {colour}, {}, radius});
    }

    std::vector<std::string> ops() const
    {
        std::vector<std::string> out;
        for (const Call& c : calls)
            out.push_back(c.op);
        return out;
    }

    std::vector<Call> calls;
};

inline bool sameColor(const color& a, const color& b) { return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a; }

} // namespace VadiZov::testing
