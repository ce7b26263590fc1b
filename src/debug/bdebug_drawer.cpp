// The collector's lists and the drawing operations the object's Lua calls.
#include "debug/bdebug_drawer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/bglobals.h"
#include "debug/bdebug_palette.h"
#include "object/bobject.h"
#include "velkor/host.h"

namespace VadiZov {

debugdrawer::debugdrawer(BeamObjectImpl& owner) : owner_(owner) {}

bool debugdrawer::validNode(int node) const { return node >= 0 && node < owner_.node_count && node < kMaxNodes; }

bool debugdrawer::validBeam(int beam) const { return beam >= 0 && beam < owner_.beam_count && beam < kMaxBeams; }

const float3& debugdrawer::nodePosition(int node) const { return owner_.nodes[node].worldPos; }

void debugdrawer::drawLine(const float3& a, const float3& b, const color& c)
{
    linePoints.push_back(a);
    linePoints.push_back(b);
    lineColors.push_back(c);
    lineColors.push_back(c);
}

void debugdrawer::drawNodeLine(int node1, int node2, const color& c)
{
    if (validNode(node1) && validNode(node2))
        drawLine(nodePosition(node1), nodePosition(node2), c);
}

// The beam's end ids were checked when it was built; a count written larger from Lua only reaches
// zeroed records, whose ends are node 0.
void debugdrawer::drawBeamColor(int beam, const color& c)
{
    if (!validBeam(beam))
        return;
    const BeamCore& b = owner_.beams[beam];
    drawLine(nodePosition(b.node1), nodePosition(b.node2), c);
}

void debugdrawer::drawBeamAlpha(int beam, int alpha)
{
    if (validBeam(beam))
        drawBeamColor(beam, beamTypeColor(owner_.beams[beam].type, alpha));
}

void debugdrawer::drawBeam(int beam) { drawBeamAlpha(beam, 255); }

// Every beam of the largest object each frame: the lists grow once by the most this can add and
// are written in place, then cut to what was taken.
void debugdrawer::drawBeams(int mode)
{
    const int count = std::min(owner_.beam_count, kMaxBeams);
    const size_t base = linePoints.size();
    linePoints.resize(base + 2 * size_t(count));
    lineColors.resize(base + 2 * size_t(count));
    float3* points = linePoints.data() + base;
    color* colours = lineColors.data() + base;
    size_t taken = 0;
    for (int i = 0; i < count; ++i) {
        const BeamCore& b = owner_.beams[i];
        const bool broken = b.type == BEAM_BROKEN;
        if ((mode == 1 && broken) || (mode == 3 && !broken))
            continue;
        points[taken] = nodePosition(b.node1);
        points[taken + 1] = nodePosition(b.node2);
        colours[taken] = colours[taken + 1] = beamTypeColor(b.type, 255);
        taken += 2;
    }
    linePoints.resize(base + taken);
    lineColors.resize(base + taken);
}

void debugdrawer::drawBeam3d(int beam, float radius, const color& c)
{
    if (!validBeam(beam))
        return;
    const BeamCore& b = owner_.beams[beam];
    addBeam3d(nodePosition(b.node1), nodePosition(b.node2), radius, c);
}

void debugdrawer::addBeam3d(const float3& first, const float3& second, float radius, const color& c)
{
    beams3d.push_back(DebugBeam3d{radius, first, second, c});
}

void debugdrawer::drawSphere(float radius, const float3& centre, const color& c)
{
    spheres.push_back(DebugSphere{radius, centre, c});
}

void debugdrawer::drawNodeSphere(int node, float radius, const color& c)
{
    if (validNode(node))
        drawSphere(radius, nodePosition(node), c);
}

void debugdrawer::appendText(const float3& position, const color& c, const char* text)
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

void debugdrawer::drawText(const float3& position, const color& c, const char* text) { appendText(position, c, text); }

// The exact square root rather than the processor's estimate: which labels appear must not
// depend on the processor's maker, and a node exactly at the limit passes.
bool debugdrawer::passesDistanceFilter(const float3& position, float maxDistance) const
{
    if (maxDistance <= 0.0f)
        return true;
    const float d2 = (position - lastFocusPos).squaredLength();
    return !(std::sqrt(d2) > maxDistance);
}

void debugdrawer::drawNodeText(int node, const color& c, const char* text, float maxDistance)
{
    if (validNode(node) && passesDistanceFilter(nodePosition(node), maxDistance))
        appendText(nodePosition(node), c, text);
}

void debugdrawer::drawNodeTextWithOffset(int node, const color& c, const float3& offset, const char* text,
                                         float maxDistance)
{
    if (validNode(node) && passesDistanceFilter(nodePosition(node), maxDistance))
        appendText(nodePosition(node) + offset, c, text);
}

void debugdrawer::drawNodeNumbers(const color& c, float maxDistance)
{
    const int count = std::min(owner_.node_count, kMaxNodes);
    for (int i = 0; i < count; ++i) {
        if (!passesDistanceFilter(nodePosition(i), maxDistance))
            continue;
        char number[16];
        std::snprintf(number, sizeof number, "%d", i);
        appendText(nodePosition(i), c, number);
    }
}

void debugdrawer::drawColTris(int mode, const color& edge, const color& face)
{
    if (mode != 0)
        return;
    for (const CollisionTriangle& t : owner_.collisionTriangles) {
        if (t.broken || !validNode(t.node1) || !validNode(t.node2) || !validNode(t.node3))
            continue;
        const float3& a = nodePosition(t.node1);
        const float3& b = nodePosition(t.node2);
        const float3& c = nodePosition(t.node3);
        drawLine(a, b, edge);
        drawLine(b, c, edge);
        drawLine(c, a, edge);
        trianglePoints.push_back(a);
        trianglePoints.push_back(b);
        trianglePoints.push_back(c);
        triangleColors.insert(triangleColors.end(), 3, face);
    }
}

void debugdrawer::showDebug(bool on)
{
    enabled = on;
    if (g_gameEngine)
        g_gameEngine->setDebugFlags(on);
}

void debugdrawer::clear()
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

void debugdrawer::releaseStorage()
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

void debugdrawer::addSquare(const float3& centre, const color& c, float halfSize)
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
