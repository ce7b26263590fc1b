// The resource container of the reference host: meshes are Wavefront OBJ files in
// DATA_DIR/meshes/ (the mesh "bumper" is meshes/bumper.obj). Flexible meshes get a vertex
// buffer; props get a rigid mesh that remembers its last placement.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/host_flex_buffer.h"
#include "velkor/host.h"

namespace VadiZov::host {

struct MeshData {
    std::vector<float3> positions, normals, tangents;
    std::vector<std::array<uint16_t, 3>> triangles;
};

// Reads meshes/<name>.obj below dataDir (never a file outside DATA_DIR/meshes, never one that is
// not a regular file, at most 256 MiB). False with a message naming the file when it is missing
// or refused, malformed, has a face of too many vertices or a coordinate that is not finite, or
// has more vertices than 16-bit triangles can index.
bool readObjMesh(const std::string& dataDir, const std::string& name, MeshData* mesh, std::string* error);

class HostRigidMesh final : public RigidMesh {
public:
    HostRigidMesh(std::string name, float3 initialPosition) : name_(std::move(name)), initial_(initialPosition) {}
    void setPlacement(const float3* position, const float3* up, const float3* forward, const float3* baseRotation,
                      const float3* rotation) override;
    bool getInitialPosition(float3* position, void* sixteenBytes) override;
    void detach() override;

    const std::string& name() const { return name_; }
    bool placed = false;
    float3 position, up, forward;

private:
    std::string name_;
    float3 initial_;
};

class HostResources final : public ResourceContainer {
public:
    explicit HostResources(std::string dataDir) : dataDir_(std::move(dataDir)) {}

    FlexBuffer* createFlexBuffer(const char* meshName) override;
    void releaseFlexBuffer(FlexBuffer* buffer) override;
    RigidMesh* getRigidMesh(const char* meshName) override;
    void deleteRigidMesh(RigidMesh* mesh) override;
    void setAlpha(float alpha, const char* meshName, bool recursive) override;
    float getAlpha(const char* meshName) override;
    void notifyLoaded() override;
    int getSwitchableMaterial(int index, void* hostRecord) override;
    const char* getMeshesContainingMaterial(const char* material) override;
    const char* getMeshsMaterials(const char* mesh) override;
    bool switchMaterial(const char* name, int index) override;
    void resetMaterials(int index) override;
    void destroyMaterials() override;

    // Writes every held flexible mesh as <dir>/<object>-<n>.obj, n counting the meshes in the
    // order the object created them, vertices moved by offset; the folder is made when missing.
    // False when one cannot be written, after printing the path and the reason on stderr.
    bool writeFlexMeshes(const std::string& dir, const std::string& object, const float3& offset) const;

    // The buffers still held, in the order they were created.
    const std::vector<std::unique_ptr<HostFlexBuffer>>& flexBuffers() const { return flexBuffers_; }
    const std::vector<std::unique_ptr<HostRigidMesh>>& rigidMeshes() const { return rigidMeshes_; }

private:
    std::string dataDir_;
    std::vector<std::unique_ptr<HostFlexBuffer>> flexBuffers_;
    std::vector<std::unique_ptr<HostRigidMesh>> rigidMeshes_;
    float alpha_ = 1.0f;
};

} // namespace VadiZov::host
