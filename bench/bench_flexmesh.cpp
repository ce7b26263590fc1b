// The per-frame update of a flexible mesh: 10000 vertices bound to a 2000-node object, every
// vertex rebuilt from the render snapshot and written into the host's buffer. The counter
// "allocations" counts operator new calls inside the timed loop (it must stay 0).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "object/bflexmesh.h"
#include "object/bobject_attachments.h"
#include "tests/support/lattice_object.h"
#include "tests/support/recording_host.h"
#include "velkor/host.h"
#include "tests/support/counting_allocator.h"

using namespace VadiZov;

namespace {

constexpr int kVertices = 10000;

// A host buffer that keeps the vertices in preallocated arrays, as a renderer's mapped buffer.
class ArrayFlexBuffer final : public FlexBuffer {
public:
    ArrayFlexBuffer()
    {
        uint32_t seed = 12345;
        auto next = [&seed] {
            seed = seed * 1664525u + 1013904223u;
            return float(seed >> 8) / float(1u << 24);
        };
        for (int i = 0; i < kVertices; ++i)
            positions.push_back(float3(next() * 2.4f, next() * 2.25f, 2.0f + next() * 4.75f));
        written.resize(kVertices * 9);
        vertexCount = kVertices;
    }
    const float* getVertexPosition(float3* storage, int vertex) override
    {
        *storage = positions[size_t(vertex)];
        return &storage->x;
    }
    const float* getVertexDirections(float* six, int) override
    {
        const float values[6] = {0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f};
        for (int i = 0; i < 6; ++i)
            six[i] = values[i];
        return six;
    }
    void beginRead() override {}
    void endRead() override {}
    int beginWrite() override
    {
        cursor = written.data();
        return 1;
    }
    void endWrite() override {}
    void writeVertex(const float* p, const float* d) override
    {
        for (int i = 0; i < 3; ++i)
            cursor[i] = p[i];
        for (int i = 0; i < 6; ++i)
            cursor[3 + i] = d[i];
        cursor += 9;
    }
    int beginIndexAccess() override { return 1; }
    void endIndexAccess() override {}
    const uint16_t* getTriangle(uint16_t* storage, int) override { return storage; }
    void setTriangle(int, int, int, int) override {}
    void setInitialTransformation(const float3*, const float3*, const float3*) override {}

    std::vector<float3> positions;
    std::vector<float> written;
    float* cursor = nullptr;
};

class OneBufferContainer final : public ResourceContainer {
public:
    FlexBuffer* createFlexBuffer(const char*) override { return &buffer; }
    void releaseFlexBuffer(FlexBuffer*) override {}
    RigidMesh* getRigidMesh(const char*) override { return nullptr; }
    void deleteRigidMesh(RigidMesh*) override {}
    void setAlpha(float, const char*, bool) override {}
    float getAlpha(const char*) override { return 1.0f; }
    void notifyLoaded() override {}
    int getSwitchableMaterial(int, void*) override { return 0; }
    const char* getMeshesContainingMaterial(const char*) override { return nullptr; }
    const char* getMeshsMaterials(const char*) override { return nullptr; }
    bool switchMaterial(const char*, int) override { return false; }
    void resetMaterials(int) override {}
    void destroyMaterials() override {}

    ArrayFlexBuffer buffer;
};

void BM_FlexmeshUpdate(benchmark::State& state)
{
    auto object = testing::makeLattice();
    OneBufferContainer container;
    testing::HostObjectDouble host;
    object->hostObject = &host;
    object->mesh = &container;
    for (int i = 0; i < object->node_count; ++i) {
        const float3& p = object->nodes[i].pos;
        for (auto& buffer : object->renderPositions)
            buffer[i] = RenderPosition{p.x, 0.0f, p.y, p.z};
    }
    FlexMesh* mesh = setFlexmesh(*object, -1, "skin");
    for (int i = 0; i < object->node_count; ++i)
        mesh->addNodeBinding(i);
    mesh->initialize();
    if (!mesh->isActive()) {
        state.SkipWithError("binding failed");
        return;
    }
    const long before = VadiZov::testing::allocationCount();
    for (auto _ : state) {
        mesh->update();
        benchmark::DoNotOptimize(container.buffer.written.data());
        benchmark::ClobberMemory();
    }
    state.counters["allocations"] = double(VadiZov::testing::allocationCount() - before);
    state.counters["vertices"] = kVertices;
    object->hostObject = nullptr;
}
BENCHMARK(BM_FlexmeshUpdate)->Unit(benchmark::kMicrosecond);

} // namespace
