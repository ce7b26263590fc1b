// The host's per-frame look at how high its flexible meshes are: every vertex the library wrote,
// moved by the object's position, against the height of the loaded map. The cart's body mesh
// (88 vertices) and a 10000-vertex skin, on a map the size of the demo's.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "host/host_flex_buffer.h"
#include "host/host_ground_clearance.h"
#include "host/host_resources.h"
#include "host/host_terrain_file.h"

using namespace VadiZov;
using namespace VadiZov::host;

namespace {

HeightMap demoSizedMap()
{
    HeightMap map;
    map.width = 21;
    map.height = 81;
    for (int y = 0; y < map.height; ++y)
        for (int x = 0; x < map.width; ++x)
            map.samples.push_back(uint16_t(1500 + 37 * ((x * 7 + y * 13) % 11)));
    return map;
}

// A mesh whose vertices the library has written: a block of points a few metres across.
std::unique_ptr<HostFlexBuffer> writtenMesh(int vertices)
{
    MeshData data;
    data.positions.assign(size_t(vertices), float3());
    data.normals = data.tangents = data.positions;
    auto mesh = std::make_unique<HostFlexBuffer>("body", data);
    mesh->beginWrite();
    const float directions[6] = {0, 0, 1, 1, 0, 0};
    for (int v = 0; v < vertices; ++v) {
        const float p[3] = {-0.45f + 0.3f * float(v % 4), -1.5f + 0.013f * float(v / 4), 0.35f + 0.3f * float(v % 2)};
        mesh->writeVertex(p, directions);
    }
    mesh->endWrite();
    return mesh;
}

void BM_MeshClearanceFrame(benchmark::State& state)
{
    const HeightMap map = demoSizedMap();
    const PlacedHeightMap terrain(map, 1.0f, 0.001f);
    std::vector<std::unique_ptr<HostFlexBuffer>> meshes;
    meshes.push_back(writtenMesh(int(state.range(0))));
    MeshClearance clearance(terrain);
    double time = 0.0;
    for (auto _ : state) {
        // a fresh write each frame, as the library leaves it
        meshes[0]->beginWrite();
        meshes[0]->endWrite();
        clearance.afterFrame(meshes, float3(0.1f, 3.7f, 0.9f), time);
        time += 1.0 / 60.0;
    }
    benchmark::DoNotOptimize(clearance.lowest()[0].above);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MeshClearanceFrame)->Arg(88)->Arg(10000);

} // namespace
