// Debug drawing of the largest object: every beam of a 2000-node, 10000-beam lattice collected
// with drawBeams(0) and rendered into a host that only looks at the counts. The first case is
// what a frame with beam drawing on costs (clear, collect, render); the second the render alone.
// The third renders the static-collision view of 20000 triangles within 20 m of the focus and
// 20000 beyond (faces, edges and normals passes; the edges pass stops at 10000 triangles).
#include <benchmark/benchmark.h>

#include "object/bobject_debug_drawer.h"
#include "ground/bstatic_collider.h"
#include "tests/support/lattice_object.h"
#include "velkor/host.h"

using namespace VadiZov;

namespace {

class CountingHost final : public HostDebugDraw {
public:
    void drawLines(const float3* points, const color*, int32_t count) override { take(points, count); }
    void drawTriangles(const float3* points, const color*, int32_t count) override { take(points, count); }
    void drawTexts(float3, color, const char*) override { ++points; }
    void drawSpheres(float, float3, color) override { ++points; }
    void drawBeams3d(float3, float3, float, color) override { ++points; }
    long points = 0;

private:
    void take(const float3* first, int32_t count)
    {
        benchmark::DoNotOptimize(first);
        points += count;
    }
};

void BM_DrawBeamsAndRender(benchmark::State& state)
{
    auto object = testing::makeLattice();
    debugdrawer& drawer = *object->ownDebugDrawer();
    CountingHost host;
    const DebugWorld nothingElse;
    for (auto _ : state) {
        drawer.clear();
        drawer.drawBeams(0);
        drawer.render(host, float3(), nothingElse);
    }
    benchmark::DoNotOptimize(host.points);
    state.counters["beams"] = double(object->beam_count);
}
BENCHMARK(BM_DrawBeamsAndRender)->Unit(benchmark::kMicrosecond);

void BM_RenderCollectedBeams(benchmark::State& state)
{
    auto object = testing::makeLattice();
    debugdrawer& drawer = *object->ownDebugDrawer();
    drawer.drawBeams(0);
    CountingHost host;
    const DebugWorld nothingElse;
    for (auto _ : state)
        drawer.render(host, float3(), nothingElse);
    benchmark::DoNotOptimize(host.points);
}
BENCHMARK(BM_RenderCollectedBeams)->Unit(benchmark::kMicrosecond);

void BM_RenderStaticCollision(benchmark::State& state)
{
    auto object = testing::makeLattice();
    debugdrawer& drawer = *object->ownDebugDrawer();
    drawer.drawCollisionTris = true;
    StaticCollider collider;
    for (int i = 0; i < 40000; ++i) {
        const float x = float(i % 200) * 0.1f - 10.0f + (i >= 20000 ? 100.0f : 0.0f);
        const float y = float((i / 200) % 100) * 0.1f - 5.0f;
        collider.addTriangle(float3(x, y, 0.0f), float3(x + 0.1f, y, 0.0f), float3(x, y + 0.1f, 0.01f));
    }
    collider.commit(true);
    DebugWorld world;
    world.collider = &collider;
    CountingHost host;
    for (auto _ : state)
        drawer.render(host, float3(), world);
    benchmark::DoNotOptimize(host.points);
}
BENCHMARK(BM_RenderStaticCollision)->Unit(benchmark::kMicrosecond);

} // namespace
