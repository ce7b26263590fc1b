// The collector's lists and its drawing operations in world coordinates.
#include "debug/bdebug_collector.h"

#include <cmath>
#include <cstring>

#include "base/bglobals.h"
#include "velkor/host.h"

namespace VadiZov {

void DebugCollector::drawLine(const float3& a, const float3& b, const color& c)
{
    linePoints.push_back(a);
    linePoints.push_back(b);
    lineColors.push_back(c);
    lineColors.push_back(c);
}

void DebugCollector::addBeam3d(const float3& first, const float3& second, float radius, const color& c)
{
    beams3d.push_back(DebugBeam3d{radius, first, second, c});
}

void DebugCollector::drawSphere(float radius, const float3& centre, const color& c)
{
    spheres.push_back(DebugSphere{radius, centre, c});
}

void DebugCollector::appendText(const float3& position, const color& c, const char* text)
{
    DebugText entry;
    entry.position = position;
    entry.colour = c;
    if (text) {
        const size_t length = strnlen(text, DebugText::kCapacity - 1);
        std::memcpy(entry.text, text, length);
        entry.text[length] = '\0';
    }
    texts.push_back(entry);
}

void DebugCollector::drawText(const float3& position, const color& c, const char* text)
{
    appendText(position, c, text);
}

// The exact square root rather than the processor's estimate: which labels appear must not
// depend on the processor's maker, and a node exactly at the limit passes.
bool DebugCollector::passesDistanceFilter(const float3& position, float maxDistance) const
{
    if (maxDistance <= 0.0f)
        return true;
    const float d2 = (position - lastFocusPos).squaredLength();
    return !(std::sqrt(d2) > maxDistance);
}

void DebugCollector::showDebug(bool on)
{
    enabled = on;
    if (g_gameEngine)
        g_gameEngine->setDebugFlags(on);
}

void DebugCollector::clear()
{
    linePoints.clear();
    lineColors.clear();
    trianglePoints.clear();
    triangleColors.clear();
    texts.clear();
    spheres.clear();
    beams3d.clear();
    terrainGridKept_ = false;
}

void DebugCollector::releaseStorage()
{
    clear();
    std::vector<float3>().swap(linePoints);
    std::vector<color>().swap(lineColors);
    std::vector<float3>().swap(trianglePoints);
    std::vector<color>().swap(triangleColors);
    std::vector<DebugText>().swap(texts);
    std::vector<DebugSphere>().swap(spheres);
    std::vector<DebugBeam3d>().swap(beams3d);
    collisionVertexScratch_.reset();
    collisionColorScratch_.reset();
    collisionSelection_.reset();
}

void DebugCollector::addSquare(const float3& centre, const color& c, float halfSize)
{
    const float s = halfSize;
    const float z = centre.z;
    const float3 corners[6] = {
        {centre.x + s, centre.y + s, z}, {centre.x + s, centre.y - s, z}, {centre.x - s, centre.y - s, z},
        {centre.x + s, centre.y + s, z}, {centre.x - s, centre.y - s, z}, {centre.x - s, centre.y + s, z},
    };
    trianglePoints.insert(trianglePoints.end(), corners, corners + 6);
    triangleColors.insert(triangleColors.end(), 6, c);
}

} // namespace VadiZov
