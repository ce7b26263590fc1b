// The terrain ground-model view: a grid of small patches around the focus, coloured by ground
// model, with a line up to the surface depth, and the legend of the models seen sent to the user
// interface.
#include <cstdio>
#include <cstdint>

#include "debug/bdebug_collector.h"
#include "debug/bdebug_palette.h"
#include "ground/bground_models.h"
#include "ground/bterrain.h"
#include "velkor/host.h"

namespace VadiZov {

namespace {

constexpr float kGridHalfWidth = 2.5f;
constexpr float kGridStep = 0.2f;
constexpr float kPatchLift = 0.1f;
constexpr float kBaseHalfSize = 0.08f;
constexpr float kTopHalfSize = 0.04f;
constexpr uint8_t kPatchAlpha = 180;

color groundModelColor(int groundModel) { return paletteColor(groundModel + 1, kPatchAlpha); }

void appendEscaped(std::string& out, unsigned char c)
{
    switch (c) {
    case '\\': out += "\\\\"; return;
    case '\'': out += "\\'"; return;
    case '"': out += "\\\""; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: break;
    }
    if (c < 0x20 || c == 0x7F) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(c));
        out += hex;
        return;
    }
    out += char(c);
}

} // namespace

std::string escapeForJavaScriptString(const char* text)
{
    std::string out;
    if (!text)
        return out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        // U+2028 and U+2029 end a line inside a JavaScript string literal in older engines.
        if (p[0] == 0xE2 && p[1] == 0x80 && (p[2] == 0xA8 || p[2] == 0xA9)) {
            out += p[2] == 0xA8 ? "\\u2028" : "\\u2029";
            p += 2;
            continue;
        }
        appendEscaped(out, *p);
    }
    return out;
}

std::string groundModelLegendScript(int groundModel, const char* name)
{
    const color c = groundModelColor(groundModel);
    char tail[160];
    std::snprintf(tail, sizeof tail, "','color':{'r':%d,'g':%d,'b':%d,'a':%d},'id':%d,});", c.r, c.g, c.b, c.a,
                  groundModel);
    return "updateGroundModelDebug({'name':'" + escapeForJavaScriptString(name) + tail;
}

void DebugCollector::dropPreviousTerrainGrid()
{
    if (!terrainGridKept_)
        return;
    terrainGridKept_ = false;
    if (terrainLines_.end > linePoints.size() || terrainTriangles_.end > trianglePoints.size())
        return;
    auto erase = [](auto& list, const ListRange& r) {
        list.erase(list.begin() + ptrdiff_t(r.begin), list.begin() + ptrdiff_t(r.end));
    };
    erase(linePoints, terrainLines_);
    erase(lineColors, terrainLines_);
    erase(trianglePoints, terrainTriangles_);
    erase(triangleColors, terrainTriangles_);
}

void DebugCollector::drawTerrainGroundModels(const float3& focus, const DebugWorld& world)
{
    // Enabled, the per-frame clear bounds the lists; disabled, nothing does, so each render
    // replaces its own grid.
    if (!enabled)
        dropPreviousTerrainGrid();
    terrainLines_.begin = linePoints.size();
    terrainTriangles_.begin = trianglePoints.size();

    bool seen[256] = {};
    for (float x = focus.x - kGridHalfWidth; x <= focus.x + kGridHalfWidth; x += kGridStep) {
        for (float y = focus.y - kGridHalfWidth; y <= focus.y + kGridHalfWidth; y += kGridStep) {
            uint16_t cell = 0;
            const float h = world.terrain ? world.terrain->getTerrainHeightAndGroundmodel(float3(x, y, 0.0f), cell)
                                          : 0.0f;
            const int groundModel = cell & 0xFF;
            const int depth = cell >> 8;
            const float3 base(x, y, h + kPatchLift);
            const float3 top(x, y, (h + kPatchLift) + float(depth) * terrainDepthScale);
            seen[groundModel] = true;
            const color c = groundModelColor(groundModel);
            addSquare(base, c, kBaseHalfSize);
            drawLine(base, top, c);
            addSquare(top, c, kTopHalfSize);
        }
    }
    terrainLines_.end = linePoints.size();
    terrainTriangles_.end = trianglePoints.size();
    terrainGridKept_ = true;

    if (!world.gameEngine)
        return;
    for (int g = 0; g < 256; ++g) {
        if (!seen[g])
            continue;
        const char* name = world.groundModels ? world.groundModels->nameOf(g) : nullptr;
        world.gameEngine->executeJS(groundModelLegendScript(g, name).c_str(), 0);
    }
}

} // namespace VadiZov
