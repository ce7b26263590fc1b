// Committing a batch of static triangles and building its tree, for a batch of distinct
// triangles and for one made of copies of a single triangle, and a query next to such copies.
#include <benchmark/benchmark.h>

#include "ground/bstatic_collider.h"

using namespace VadiZov;

namespace {

constexpr int kTriangles = 100000;

void addTile(StaticCollider& collider, float x, float y)
{
    collider.addTriangle(float3(x, y, 0.0f), float3(x + 1.0f, y, 0.0f), float3(x, y + 1.0f, 0.0f));
}

void BM_StaticCommitDistinct(benchmark::State& state)
{
    for (auto _ : state) {
        StaticCollider collider;
        for (int i = 0; i < kTriangles; ++i)
            addTile(collider, float(i % 316) * 2.0f, float(i / 316) * 2.0f);
        collider.commit(false);
        collider.rebuild();
        benchmark::DoNotOptimize(collider.triangleCount());
    }
}
BENCHMARK(BM_StaticCommitDistinct)->Unit(benchmark::kMillisecond);

void BM_StaticCommitAllCopies(benchmark::State& state)
{
    for (auto _ : state) {
        StaticCollider collider;
        for (int i = 0; i < kTriangles; ++i)
            addTile(collider, 0.0f, 0.0f);
        collider.commit(false);
        collider.rebuild();
        benchmark::DoNotOptimize(collider.triangleCount());
    }
}
BENCHMARK(BM_StaticCommitAllCopies)->Unit(benchmark::kMillisecond);

// A node just behind the copied triangle: the query a frame makes per nearby node.
void BM_StaticQueryNextToCopies(benchmark::State& state)
{
    StaticCollider collider;
    for (int i = 0; i < kTriangles; ++i)
        addTile(collider, 0.0f, 0.0f);
    collider.commit(false);
    collider.rebuild();
    StaticQueryResult result;
    for (auto _ : state)
        benchmark::DoNotOptimize(collider.query(result, float3(0.2f, 0.2f, 0.05f), 0.1f));
}
BENCHMARK(BM_StaticQueryNextToCopies)->Unit(benchmark::kNanosecond);

} // namespace
