// The object's nodes, beams and collision triangles drawn into its collector, in the colours of
// the debug palette.
#include "object/bobject_debug_drawer.h"

#include <algorithm>
#include <cstdio>

#include "debug/bdebug_palette.h"
#include "object/bobject.h"

namespace VadiZov {

namespace {

// Bounded beams get yellow: no other beam type uses it, so they stand out among the rest.
constexpr int kBoundedBeamPalette = 3;

int paletteOfBeamType(int beamType)
{
    switch (beamType) {
    case BEAM_NORMAL: return 1;
    case BEAM_ANISOTROPIC: return 4;
    case BEAM_BOUNDED: return kBoundedBeamPalette;
    case BEAM_PRESSURED: return 6;
    case BEAM_BROKEN: return 0;
    case BEAM_HYDRO: return 10;
    case BEAM_SUPPORT: return 11;
    default: return 5;
    }
}

} // namespace

color beamTypeColor(int beamType, int alpha)
{
    const uint8_t a = beamType == BEAM_BROKEN ? uint8_t(255) : uint8_t(unsigned(alpha) & 0xFFu);
    return paletteColor(paletteOfBeamType(beamType), a);
}

debugdrawer::debugdrawer(BeamObjectImpl& owner) : owner_(owner) {}

bool debugdrawer::validNode(int node) const { return node >= 0 && node < owner_.node_count && node < kMaxNodes; }

bool debugdrawer::validBeam(int beam) const { return beam >= 0 && beam < owner_.beam_count && beam < kMaxBeams; }

const float3& debugdrawer::nodePosition(int node) const { return owner_.nodes[node].worldPos; }

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

void debugdrawer::drawNodeSphere(int node, float radius, const color& c)
{
    if (validNode(node))
        drawSphere(radius, nodePosition(node), c);
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

} // namespace VadiZov
