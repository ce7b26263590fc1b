// One render of a collector into the host's HostDebugDraw, and the static-collision view.
#include <cmath>
#include <vector>

#include "base/bconstants.h"
#include "debug/bdebug_collector.h"
#include "ground/bstatic_collider.h"
#include "velkor/host.h"

namespace VadiZov {

void DebugCollector::render(HostDebugDraw& host, const float3& focus, const DebugWorld& world)
{
    lastFocusPos = focus;
    if (drawTerrainDebug)
        drawTerrainGroundModels(focus, world);
    if (drawCollisionTris)
        drawStaticCollision(host, focus, world.collider);
    if (!linePoints.empty())
        host.drawLines(linePoints.data(), lineColors.data(), int32_t(linePoints.size()));
    if (!trianglePoints.empty())
        host.drawTriangles(trianglePoints.data(), triangleColors.data(), int32_t(trianglePoints.size()));
    for (const DebugSphere& s : spheres)
        host.drawSpheres(s.radius, s.centre, s.colour);
    for (const DebugBeam3d& b : beams3d)
        host.drawBeams3d(b.first, b.second, b.radius, b.colour);
    for (const DebugText& t : texts)
        host.drawTexts(t.position, t.colour, t.text);
}

namespace {

constexpr float kSelectRadiusSquared = 400.0f;  // centroids closer than 20
constexpr float kOneThird = 0.33333334f;
constexpr float kShrink = 0.95f;
constexpr float kLift = 0.06f;
constexpr float kNormalLength = 0.6f;
constexpr color kFaceColor{0, 255, 0, 60};
constexpr color kEdgeColor{255, 0, 0, 230};
constexpr color kNormalColor{255, 255, 0, 255};

using SelectedTriangle = DebugCollector::StaticSelection;

bool selectTriangle(const RawTriangle& t, const float3& focus, SelectedTriangle& out)
{
    out.centroid = ((t.c0 + t.c1) + t.c2) * kOneThird;
    if (!((out.centroid - focus).squaredLength() < kSelectRadiusSquared))
        return false;
    const float3 n = (t.c2 - t.c0).cross(t.c1 - t.c0);
    out.normal = n * (1.0f / (std::sqrt(n.squaredLength()) + kLengthEpsilon));
    const float3* corners[3] = {&t.c0, &t.c1, &t.c2};
    for (int i = 0; i < 3; ++i)
        out.corners[i] = (out.centroid + (*corners[i] - out.centroid) * kShrink) + out.normal * kLift;
    return true;
}

// Writes `write`'s points for each selected triangle in order until the scratch holds the
// capacity or more; returns the number of points written.
template <int PointsPerTriangle, class Write>
int fillScratch(const SelectedTriangle* selection, int selected, float3* vertices, color* colours, int capacity,
                color c, Write write)
{
    int count = 0;
    for (int k = 0; k < selected; ++k) {
        if (count + PointsPerTriangle > capacity)
            break;
        write(selection[k], vertices + count);
        for (int i = 0; i < PointsPerTriangle; ++i)
            colours[count + i] = c;
        count += PointsPerTriangle;
    }
    return count;
}

} // namespace

void DebugCollector::allocateCollisionScratch()
{
    if (!collisionVertexScratch_) {
        collisionVertexScratch_ = std::make_unique<float3[]>(kCollisionScratch);
        collisionColorScratch_ = std::make_unique<color[]>(kCollisionScratch);
        collisionSelection_ = std::make_unique<StaticSelection[]>(kMostSelected);
    }
}

void DebugCollector::drawStaticCollision(HostDebugDraw& host, const float3& focus, const StaticCollider* collider)
{
    allocateCollisionScratch();
    if (!collider)
        return;
    const std::vector<RawTriangle>& triangles = collider->debugTriangles();
    float3* v = collisionVertexScratch_.get();
    color* c = collisionColorScratch_.get();

    // Selected once for the three passes, into storage kept with the scratch (a list built
    // here would allocate every render).
    StaticSelection* selection = collisionSelection_.get();
    int selected = 0;
    for (size_t i = 0; i < triangles.size() && selected < kMostSelected; ++i)
        if (selectTriangle(triangles[i], focus, selection[selected]))
            ++selected;

    const int capacity = kCollisionScratch;
    int n = fillScratch<3>(selection, selected, v, c, capacity, kFaceColor,
                           [](const SelectedTriangle& s, float3* out) {
                               out[0] = s.corners[0];
                               out[1] = s.corners[1];
                               out[2] = s.corners[2];
                           });
    if (n > 0)
        host.drawTriangles(v, c, n);

    n = fillScratch<6>(selection, selected, v, c, capacity, kEdgeColor,
                       [](const SelectedTriangle& s, float3* out) {
                           for (int i = 0; i < 3; ++i) {
                               out[2 * i] = s.corners[i];
                               out[2 * i + 1] = s.corners[(i + 1) % 3];
                           }
                       });
    if (n > 0)
        host.drawLines(v, c, n);

    n = fillScratch<2>(selection, selected, v, c, capacity, kNormalColor,
                       [](const SelectedTriangle& s, float3* out) {
                           out[0] = s.centroid;
                           out[1] = s.centroid + s.normal * kNormalLength;
                       });
    if (n > 0)
        host.drawLines(v, c, n);
}

} // namespace VadiZov
