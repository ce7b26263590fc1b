// Host doubles for cameras, props and flexible meshes: a vertex buffer, rigid meshes and a
// resource container that record every call the library makes (the host object and its spot
// lights are the shared ones of tests/support/host_object_double.h).
#pragma once

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/host_object_double.h"
#include "velkor/host.h"

namespace VadiZov::test {

using VadiZov::testing::CameraCall;
using VadiZov::testing::FakeSpotLight;
using VadiZov::testing::Placement;

class FakeFlexBuffer final : public FlexBuffer {
public:
    // Vertices with a normal (0, 0, 1) and a tangent (1, 0, 0) unless given.
    void addVertex(float3 p, float3 n = float3(0.0f, 0.0f, 1.0f), float3 t = float3(1.0f, 0.0f, 0.0f))
    {
        positions.push_back(p);
        normals.push_back(n);
        tangents.push_back(t);
        vertexCount = int32_t(positions.size());
    }
    void addTriangle(uint16_t a, uint16_t b, uint16_t c)
    {
        triangles.push_back({a, b, c});
        triangleCount = int32_t(triangles.size());
    }

    const float* getVertexPosition(float3* storage, int vertex) override
    {
        *storage = positions.at(size_t(vertex));
        return &storage->x;
    }
    const float* getVertexDirections(float* six, int vertex) override
    {
        const float3 n = normals.at(size_t(vertex)), t = tangents.at(size_t(vertex));
        const float values[6] = {n.x, n.y, n.z, t.x, t.y, t.z};
        std::copy(values, values + 6, six);
        return six;
    }
    void beginRead() override { calls.push_back("beginRead"); }
    void endRead() override { calls.push_back("endRead"); }
    int beginWrite() override
    {
        calls.push_back("beginWrite");
        nextWrite = 0;
        return writable;
    }
    void endWrite() override { calls.push_back("endWrite"); }
    void writeVertex(const float* position, const float* directions) override
    {
        if (written.size() <= nextWrite) {
            written.resize(nextWrite + 1);
            writtenNormals.resize(nextWrite + 1);
        }
        written[nextWrite] = float3(position[0], position[1], position[2]);
        writtenNormals[nextWrite] = float3(directions[0], directions[1], directions[2]);
        ++nextWrite;
    }
    int beginIndexAccess() override
    {
        calls.push_back("beginIndexAccess");
        return indexAccessible;
    }
    void endIndexAccess() override { calls.push_back("endIndexAccess"); }
    const uint16_t* getTriangle(uint16_t* storage, int triangle) override
    {
        const auto& t = triangles.at(size_t(triangle));
        std::copy(t.begin(), t.end(), storage);
        return storage;
    }
    void setTriangle(int triangle, int v0, int v1, int v2) override
    {
        triangles.at(size_t(triangle)) = {uint16_t(v0), uint16_t(v1), uint16_t(v2)};
    }
    void setInitialTransformation(const float3* a, const float3* b, const float3* c) override
    {
        initialTransformation = {*a, *b, *c};
    }

    std::vector<float3> positions, normals, tangents;
    std::vector<std::array<uint16_t, 3>> triangles;
    std::vector<float3> written, writtenNormals;
    size_t nextWrite = 0;
    int writable = 1;
    int indexAccessible = 1;
    std::vector<std::string> calls;
    std::vector<float3> initialTransformation;
};

class FakeRigidMesh final : public RigidMesh {
public:
    void setPlacement(const float3* p, const float3* up, const float3* forward, const float3* baseRotation,
                      const float3* rotation) override
    {
        placements.push_back({*p, *up, *forward, *baseRotation, *rotation});
    }
    bool getInitialPosition(float3* position, void*) override
    {
        *position = initialPosition;
        return hasInitialPosition;
    }
    void detach() override { ++detached; }

    float3 initialPosition;
    bool hasInitialPosition = true;
    std::vector<Placement> placements;
    int detached = 0;
};

class FakeContainer final : public ResourceContainer {
public:
    FlexBuffer* createFlexBuffer(const char* name) override
    {
        created.push_back(name);
        auto found = buffers.find(name);
        return found == buffers.end() ? nullptr : found->second.get();
    }
    void releaseFlexBuffer(FlexBuffer* buffer) override { released.push_back(buffer); }
    RigidMesh* getRigidMesh(const char* name) override
    {
        if (std::string(name) != rigidName)
            return nullptr;
        meshes.push_back(std::make_unique<FakeRigidMesh>());
        meshes.back()->initialPosition = initialPosition;
        meshes.back()->hasInitialPosition = hasInitialPosition;
        return meshes.back().get();
    }
    void deleteRigidMesh(RigidMesh* mesh) override { deletedMeshes.push_back(mesh); }
    void setAlpha(float alpha, const char*, bool) override { lastAlpha = alpha; }
    float getAlpha(const char*) override { return lastAlpha; }
    void notifyLoaded() override {}
    int getSwitchableMaterial(int, void*) override { ++hostRecordCalls; return 0; }
    const char* getMeshesContainingMaterial(const char*) override { return nullptr; }
    const char* getMeshsMaterials(const char*) override { return "paint"; }
    bool switchMaterial(const char*, int) override { return true; }
    void resetMaterials(int) override {}
    void destroyMaterials() override {}

    FakeFlexBuffer& buffer(const std::string& name)
    {
        auto& slot = buffers[name];
        if (!slot)
            slot = std::make_unique<FakeFlexBuffer>();
        return *slot;
    }

    std::map<std::string, std::unique_ptr<FakeFlexBuffer>> buffers;
    std::vector<std::string> created;
    std::vector<FlexBuffer*> released;
    std::string rigidName = "mirror";
    float3 initialPosition;
    bool hasInitialPosition = true;
    std::vector<std::unique_ptr<FakeRigidMesh>> meshes;
    std::vector<RigidMesh*> deletedMeshes;
    float lastAlpha = 1.0f;
    int hostRecordCalls = 0;
};

// The attachment tests' host: the shared host object double with this container, making spot
// lights and keeping the position the library gives it.
struct AttachmentHost {
    AttachmentHost()
    {
        object.container = &container;
        object.makesSpotLights = true;
        object.followsSetPosition = true;
    }
    AttachmentHost(const AttachmentHost&) = delete;
    AttachmentHost& operator=(const AttachmentHost&) = delete;

    FakeContainer container;
    testing::HostObjectDouble object;
};

} // namespace VadiZov::test
