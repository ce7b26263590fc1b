// A flexible mesh's vertex and index buffer as the host keeps it: the mesh as read from its OBJ
// file, overwritten vertex by vertex by the library every frame.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "velkor/host.h"

namespace VadiZov::host {

struct MeshData;

class HostFlexBuffer final : public FlexBuffer {
public:
    HostFlexBuffer(std::string name, const MeshData& mesh);

    const float* getVertexPosition(float3* storage, int vertex) override;
    const float* getVertexDirections(float* storageOfSix, int vertex) override;
    void beginRead() override;
    void endRead() override;
    int beginWrite() override;
    void endWrite() override;
    void writeVertex(const float* position, const float* normalAndTangent) override;
    int beginIndexAccess() override;
    void endIndexAccess() override;
    const uint16_t* getTriangle(uint16_t* storageOfThree, int triangle) override;
    void setTriangle(int triangle, int v0, int v1, int v2) override;
    void setInitialTransformation(const float3* a, const float3* b, const float3* c) override;

    // The deformed vertices moved by offset (the library writes them relative to the object) and
    // the current triangles, collapsed ones included, as OBJ text. False with the message.
    bool writeObj(const std::string& path, const float3& offset, std::string* error) const;
    const std::string& name() const { return name_; }
    // As the library last wrote them (relative to the object), or as read from the file before.
    const std::vector<float3>& positions() const { return positions_; }
    long framesWritten() const { return framesWritten_; }

private:
    bool validVertex(int vertex) const { return vertex >= 0 && vertex < vertexCount; }

    std::string name_;
    std::vector<float3> positions_;
    std::vector<std::array<float, 6>> directions_;  // normal, then tangent
    std::vector<std::array<uint16_t, 3>> triangles_;
    int nextWrite_ = -1;  // -1 outside beginWrite/endWrite
    long framesWritten_ = 0;
};

} // namespace VadiZov::host
