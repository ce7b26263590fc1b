#include "host/host_flex_buffer.h"

#include <algorithm>
#include <cstdio>

#include "host/host_output_file.h"
#include "host/host_resources.h"
#include "host/host_trace.h"

namespace VadiZov::host {

HostFlexBuffer::HostFlexBuffer(std::string name, const MeshData& mesh)
    : name_(std::move(name)), positions_(mesh.positions), triangles_(mesh.triangles)
{
    for (size_t v = 0; v < mesh.positions.size(); ++v) {
        const float3& n = mesh.normals[v];
        const float3& t = mesh.tangents[v];
        directions_.push_back({n.x, n.y, n.z, t.x, t.y, t.z});
    }
    vertexCount = int32_t(positions_.size());
    triangleCount = int32_t(triangles_.size());
}

const float* HostFlexBuffer::getVertexPosition(float3* storage, int vertex)
{
    *storage = validVertex(vertex) ? positions_[size_t(vertex)] : float3();
    return &storage->x;
}

const float* HostFlexBuffer::getVertexDirections(float* six, int vertex)
{
    for (int i = 0; i < 6; ++i)
        six[i] = validVertex(vertex) ? directions_[size_t(vertex)][size_t(i)] : 0.0f;
    return six;
}

void HostFlexBuffer::beginRead() { trace("FlexBuffer::beginRead(%s)", name_.c_str()); }
void HostFlexBuffer::endRead() { trace("FlexBuffer::endRead(%s)", name_.c_str()); }

int HostFlexBuffer::beginWrite()
{
    nextWrite_ = 0;
    return 1;
}

void HostFlexBuffer::endWrite()
{
    nextWrite_ = -1;
    ++framesWritten_;
}

void HostFlexBuffer::writeVertex(const float* position, const float* normalAndTangent)
{
    // Writes outside beginWrite/endWrite or past the last vertex go nowhere.
    if (nextWrite_ < 0 || !validVertex(nextWrite_))
        return;
    positions_[size_t(nextWrite_)] = float3(position[0], position[1], position[2]);
    for (int i = 0; i < 6; ++i)
        directions_[size_t(nextWrite_)][size_t(i)] = normalAndTangent[i];
    ++nextWrite_;
}

int HostFlexBuffer::beginIndexAccess()
{
    trace("FlexBuffer::beginIndexAccess(%s)", name_.c_str());
    return 1;
}

void HostFlexBuffer::endIndexAccess() { trace("FlexBuffer::endIndexAccess(%s)", name_.c_str()); }

const uint16_t* HostFlexBuffer::getTriangle(uint16_t* storage, int triangle)
{
    for (int k = 0; k < 3; ++k)
        storage[k] = triangle >= 0 && triangle < triangleCount ? triangles_[size_t(triangle)][size_t(k)] : 0;
    return storage;
}

void HostFlexBuffer::setTriangle(int triangle, int v0, int v1, int v2)
{
    trace("FlexBuffer::setTriangle(%s, %d, %d, %d, %d)", name_.c_str(), triangle, v0, v1, v2);
    if (triangle < 0 || triangle >= triangleCount)
        return;
    for (int v : {v0, v1, v2})
        if (!validVertex(v))
            return;
    triangles_[size_t(triangle)] = {uint16_t(v0), uint16_t(v1), uint16_t(v2)};
}

void HostFlexBuffer::setInitialTransformation(const float3* a, const float3* b, const float3* c)
{
    trace("FlexBuffer::setInitialTransformation(%s, %g %g %g, %g %g %g, %g %g %g)", name_.c_str(), double(a->x),
          double(a->y), double(a->z), double(b->x), double(b->y), double(b->z), double(c->x), double(c->y),
          double(c->z));
}

bool HostFlexBuffer::writeObj(const std::string& path, const float3& offset, std::string* error) const
{
    std::string text = "# " + name_ + ": " + std::to_string(vertexCount) + " vertices, " +
                       std::to_string(triangleCount) + " triangles\n";
    // A line of three floats printed whole ("%.6f" of the largest float) fits with room to spare.
    char line[200];
    auto add = [&](int length) { text.append(line, size_t(std::clamp(length, 0, int(sizeof line) - 1))); };
    for (const float3& p : positions_)
        add(std::snprintf(line, sizeof line, "v %.6f %.6f %.6f\n", double(p.x + offset.x), double(p.y + offset.y),
                          double(p.z + offset.z)));
    for (const auto& d : directions_)
        add(std::snprintf(line, sizeof line, "vn %.6f %.6f %.6f\n", double(d[0]), double(d[1]), double(d[2])));
    for (const auto& t : triangles_)
        add(std::snprintf(line, sizeof line, "f %d//%d %d//%d %d//%d\n", t[0] + 1, t[0] + 1, t[1] + 1, t[1] + 1,
                          t[2] + 1, t[2] + 1));
    OutputFile out;
    if (!out.open(path, error))
        return false;
    out.write(text.data(), text.size());
    return out.close(error);
}

} // namespace VadiZov::host
