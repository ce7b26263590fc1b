#include "host/host_resources.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <tuple>

#include <cerrno>
#include <istream>
#include <streambuf>

#include <tiny_obj_loader.h>

#include "host/host_obj_text.h"
#include "host/host_trace.h"
#include "platform/last_error.h"
#include "platform/output_file.h"
#include "platform/path_below.h"

namespace VadiZov::host {

namespace {

constexpr size_t kMaxVertices = 65535;  // triangles index vertices with 16 bits
constexpr const char* kMeshFolder = "meshes";
// The host's rule for every file it reads (see path_below); a mesh this large has long passed
// the vertex limit.
constexpr uint64_t kMaxMeshFileBytes = uint64_t(256) << 20;

float3 unit(const float3& v)
{
    const float length = std::sqrt(v.squaredLength());
    return length > 0.0f ? v * (1.0f / length) : float3();
}

// Any direction perpendicular to n, the same one every time for the same n.
float3 stablePerpendicular(const float3& n)
{
    const float3 axis = std::fabs(n.x) < 0.9f ? float3(1.0f, 0.0f, 0.0f) : float3(0.0f, 1.0f, 0.0f);
    return unit(axis.cross(n).cross(n));
}

struct Corner {
    int position, normal, texcoord;
    bool operator<(const Corner& o) const
    {
        return std::tie(position, normal, texcoord) < std::tie(o.position, o.normal, o.texcoord);
    }
};

// Area-weighted face normals where the file gives none; tangents from the UVs, else a stable
// perpendicular; both made unit and perpendicular.
void completeDirections(MeshData* mesh, const std::vector<bool>& hasNormal, const std::vector<float3>& uvTangents)
{
    std::vector<float3> faceNormals(mesh->positions.size(), float3());
    for (const auto& t : mesh->triangles) {
        const float3 n = (mesh->positions[t[1]] - mesh->positions[t[0]])
                             .cross((mesh->positions[t[2]] - mesh->positions[t[0]]));
        for (uint16_t v : t)
            faceNormals[v] += n;
    }
    for (size_t v = 0; v < mesh->positions.size(); ++v) {
        float3 n = unit(hasNormal[v] ? mesh->normals[v] : faceNormals[v]);
        if (n.squaredLength() == 0.0f)
            n = float3(0.0f, 0.0f, 1.0f);
        mesh->normals[v] = n;
        const float3 t = uvTangents[v];
        float3 perpendicular = unit(t - n * n.dot(t));
        if (perpendicular.squaredLength() == 0.0f)
            perpendicular = stablePerpendicular(n);
        mesh->tangents[v] = perpendicular;
    }
}

// The text of a file read whole, as a stream for the loader, without a copy.
class TextStreamBuffer : public std::streambuf {
public:
    explicit TextStreamBuffer(const std::string& text)
    {
        char* begin = const_cast<char*>(text.data());
        setg(begin, begin, begin + text.size());
    }
};

// Reads meshes/<name>.obj: the name is a path below the mesh folder, which itself lies below
// the data folder; links are followed only while they stay inside the mesh folder, only a
// regular file is read, and at most kMaxMeshFileBytes of it.
bool readMeshFile(const std::string& dataDir, const std::string& name, std::string* path, std::string* text,
                  std::string* error)
{
    const std::string meshDir = (std::filesystem::path(dataDir) / kMeshFolder).string();
    *path = meshDir + "/" + name + ".obj";
    if (name.empty() || !platform::isPathBelow(name)) {
        *error = "mesh name " + name + " refused: a mesh is a file below " + meshDir;
        return false;
    }
    int code = 0;
    if (platform::kindBelow(dataDir, kMeshFolder) != platform::BelowKind::Directory)
        code = ENOENT;
    else if (!platform::readFileBelow(meshDir, name + ".obj", kMaxMeshFileBytes, text))
        code = platform::getLastError();
    if (code == ENOENT)
        *error = "no mesh file " + *path;
    else if (code != 0)
        *error = "cannot read mesh file " + *path + ": it " + platform::refusalText(code);
    return code == 0;
}

// The loader's own number reading can still overflow ("0e999"): no coordinate the mesh uses may
// be NaN or infinite.
bool finiteAttributes(const tinyobj::attrib_t& attrib, const ObjLineNumbers& lines, const std::string& path,
                      std::string* error)
{
    const struct {
        const std::vector<tinyobj::real_t>& values;
        size_t perLine;
        const std::vector<uint32_t>& lines;
    } kinds[] = {{attrib.vertices, 3, lines.positions}, {attrib.normals, 3, lines.normals},
                 {attrib.texcoords, 2, lines.texcoords}};
    for (const auto& kind : kinds) {
        for (size_t i = 0; i < kind.values.size(); ++i) {
            if (std::isfinite(kind.values[i]))
                continue;
            const size_t entry = i / kind.perLine;
            *error = nonFiniteCoordinateMessage(path, entry < kind.lines.size() ? kind.lines[entry] : 0);
            return false;
        }
    }
    return true;
}

} // namespace

bool readObjMesh(const std::string& dataDir, const std::string& name, MeshData* mesh, std::string* error)
{
    std::string path, text;
    if (!readMeshFile(dataDir, name, &path, &text, error))
        return false;
    ObjLineNumbers lines;
    if (!scanObjText(text, path, &lines, error))
        return false;
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    TextStreamBuffer buffer(text);
    std::istream in(&buffer);
    // No material reader: the host uses no materials, so "mtllib" names no file it opens.
    if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, &in, nullptr, true)) {
        *error = "cannot read mesh file " + path + ": " + err;
        return false;
    }
    if (!finiteAttributes(attrib, lines, path, error))
        return false;
    const int positions = int(attrib.vertices.size() / 3);
    const int normals = int(attrib.normals.size() / 3);
    const int texcoords = int(attrib.texcoords.size() / 2);
    std::map<Corner, uint16_t> vertexOf;
    std::vector<bool> hasNormal;
    std::vector<std::array<float, 2>> uvs;
    std::vector<bool> hasUv;
    for (const tinyobj::shape_t& shape : shapes) {
        const auto& indices = shape.mesh.indices;
        if (indices.size() % 3 != 0) {
            *error = "malformed mesh file " + path + ": a face is not a triangle";
            return false;
        }
        for (size_t i = 0; i < indices.size(); i += 3) {
            std::array<uint16_t, 3> triangle{};
            for (int k = 0; k < 3; ++k) {
                const tinyobj::index_t& index = indices[i + size_t(k)];
                if (index.vertex_index < 0 || index.vertex_index >= positions || index.normal_index >= normals ||
                    index.texcoord_index >= texcoords) {
                    *error = "malformed mesh file " + path + ": a face names a vertex that is not there";
                    return false;
                }
                const Corner corner{index.vertex_index, index.normal_index, index.texcoord_index};
                auto found = vertexOf.find(corner);
                if (found == vertexOf.end()) {
                    if (mesh->positions.size() >= kMaxVertices) {
                        *error = "mesh file " + path + " has more than 65535 vertices";
                        return false;
                    }
                    const float* p = &attrib.vertices[size_t(index.vertex_index) * 3];
                    mesh->positions.push_back(float3(p[0], p[1], p[2]));
                    if (index.normal_index >= 0) {
                        const float* n = &attrib.normals[size_t(index.normal_index) * 3];
                        mesh->normals.push_back(float3(n[0], n[1], n[2]));
                    } else {
                        mesh->normals.push_back(float3());
                    }
                    hasNormal.push_back(index.normal_index >= 0);
                    if (index.texcoord_index >= 0) {
                        const float* t = &attrib.texcoords[size_t(index.texcoord_index) * 2];
                        uvs.push_back({t[0], t[1]});
                    } else {
                        uvs.push_back({0.0f, 0.0f});
                    }
                    hasUv.push_back(index.texcoord_index >= 0);
                    found = vertexOf.emplace(corner, uint16_t(mesh->positions.size() - 1)).first;
                }
                triangle[size_t(k)] = found->second;
            }
            mesh->triangles.push_back(triangle);
        }
    }
    // Per-vertex tangent: the direction of growing u over the vertex's triangles.
    std::vector<float3> uvTangents(mesh->positions.size(), float3());
    for (const auto& t : mesh->triangles) {
        if (!hasUv[t[0]] || !hasUv[t[1]] || !hasUv[t[2]])
            continue;
        const float3 e1 = (mesh->positions[t[1]] - mesh->positions[t[0]]);
        const float3 e2 = (mesh->positions[t[2]] - mesh->positions[t[0]]);
        const float du1 = uvs[t[1]][0] - uvs[t[0]][0], dv1 = uvs[t[1]][1] - uvs[t[0]][1];
        const float du2 = uvs[t[2]][0] - uvs[t[0]][0], dv2 = uvs[t[2]][1] - uvs[t[0]][1];
        const float det = du1 * dv2 - du2 * dv1;
        if (det == 0.0f)
            continue;
        const float3 tangent = (e1 * dv2 - e2 * dv1) * (1.0f / det);
        for (uint16_t v : t)
            uvTangents[v] += tangent;
    }
    mesh->tangents.assign(mesh->positions.size(), float3());
    completeDirections(mesh, hasNormal, uvTangents);
    return true;
}

bool HostResources::writeFlexMeshes(const std::string& dir, const std::string& object, const float3& offset) const
{
    if (!platform::makeOutputFolder(dir)) {
        std::fprintf(stderr, "velkor-host: cannot write into %s: it %s\n", dir.c_str(),
                     platform::refusalText(platform::getLastError()).c_str());
        return false;
    }
    bool written = true;
    for (size_t n = 0; n < flexBuffers_.size(); ++n) {
        const std::string path = (std::filesystem::path(dir) / (object + "-" + std::to_string(n) + ".obj")).string();
        std::string error;
        if (flexBuffers_[n]->writeObj(path, offset, &error)) {
            std::printf("velkor-host: wrote %s (mesh %s)\n", path.c_str(), flexBuffers_[n]->name().c_str());
        } else {
            std::fprintf(stderr, "velkor-host: %s\n", error.c_str());
            written = false;
        }
    }
    return written;
}

void HostRigidMesh::setPlacement(const float3* p, const float3* u, const float3* f, const float3*, const float3*)
{
    trace("RigidMesh::setPlacement(%s, %g, %g, %g)", name_.c_str(), double(p->x), double(p->y), double(p->z));
    placed = true;
    position = *p;
    up = *u;
    forward = *f;
}

bool HostRigidMesh::getInitialPosition(float3* p, void*)
{
    trace("RigidMesh::getInitialPosition(%s)", name_.c_str());
    *p = initial_;
    return true;
}

void HostRigidMesh::detach() { trace("RigidMesh::detach(%s)", name_.c_str()); }

FlexBuffer* HostResources::createFlexBuffer(const char* meshName)
{
    char q[600];
    trace("ResourceContainer::createFlexBuffer(%s)", quoted(meshName, q, sizeof q));
    MeshData mesh;
    std::string error;
    if (!readObjMesh(dataDir_, meshName ? meshName : "", &mesh, &error)) {
        std::printf("velkor-host: %s\n", error.c_str());
        return nullptr;
    }
    flexBuffers_.push_back(std::make_unique<HostFlexBuffer>(meshName, mesh));
    return flexBuffers_.back().get();
}

void HostResources::releaseFlexBuffer(FlexBuffer* buffer)
{
    trace("ResourceContainer::releaseFlexBuffer()");
    std::erase_if(flexBuffers_, [buffer](const auto& held) { return held.get() == buffer; });
}

// A prop's mesh sits where the centre of its OBJ file's vertices is.
RigidMesh* HostResources::getRigidMesh(const char* meshName)
{
    char q[600];
    trace("ResourceContainer::getRigidMesh(%s)", quoted(meshName, q, sizeof q));
    MeshData mesh;
    std::string error;
    if (!readObjMesh(dataDir_, meshName ? meshName : "", &mesh, &error)) {
        std::printf("velkor-host: %s\n", error.c_str());
        return nullptr;
    }
    float3 centre;
    for (const float3& p : mesh.positions)
        centre += p;
    if (!mesh.positions.empty())
        centre = centre * (1.0f / float(mesh.positions.size()));
    rigidMeshes_.push_back(std::make_unique<HostRigidMesh>(meshName, centre));
    return rigidMeshes_.back().get();
}

void HostResources::deleteRigidMesh(RigidMesh* mesh)
{
    trace("ResourceContainer::deleteRigidMesh()");
    std::erase_if(rigidMeshes_, [mesh](const auto& held) { return held.get() == mesh; });
}

void HostResources::setAlpha(float alpha, const char* meshName, bool recursive)
{
    char q[600];
    trace("ResourceContainer::setAlpha(%g, %s, %d)", double(alpha), quoted(meshName, q, sizeof q), recursive ? 1 : 0);
    alpha_ = alpha;
}

float HostResources::getAlpha(const char*)
{
    trace("ResourceContainer::getAlpha()");
    return alpha_;
}

void HostResources::notifyLoaded() { trace("ResourceContainer::notifyLoaded()"); }

int HostResources::getSwitchableMaterial(int index, void*)
{
    trace("ResourceContainer::getSwitchableMaterial(%d)", index);
    return 0;
}

const char* HostResources::getMeshesContainingMaterial(const char*)
{
    trace("ResourceContainer::getMeshesContainingMaterial()");
    return nullptr;
}

const char* HostResources::getMeshsMaterials(const char*)
{
    trace("ResourceContainer::getMeshsMaterials()");
    return nullptr;
}

bool HostResources::switchMaterial(const char*, int index)
{
    trace("ResourceContainer::switchMaterial(%d)", index);
    return false;
}

void HostResources::resetMaterials(int index) { trace("ResourceContainer::resetMaterials(%d)", index); }

void HostResources::destroyMaterials() { trace("ResourceContainer::destroyMaterials()"); }

} // namespace VadiZov::host
