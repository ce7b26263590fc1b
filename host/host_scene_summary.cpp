#include "host/host_scene_summary.h"

#include "host/host_object.h"
#include "host/host_resources.h"

namespace VadiZov::host {

namespace {

void printPlacement(std::FILE* out, bool placed, const float3& p, const float3& up, const float3& forward)
{
    if (!placed) {
        std::fprintf(out, " never placed");
        return;
    }
    std::fprintf(out, " at %.4f %.4f %.4f up %.4f %.4f %.4f forward %.4f %.4f %.4f", double(p.x), double(p.y),
                 double(p.z), double(up.x), double(up.y), double(up.z), double(forward.x), double(forward.y),
                 double(forward.z));
}

} // namespace

void printSceneSummary(std::FILE* out, BeamObject& beamObject, const HostObjectRecord& object,
                       const HostResources& resources)
{
    Vector3 positions[2];
    beamObject.getReferencePositions(positions);
    std::fprintf(out, "summary: reference positions %.4f %.4f %.4f and %.4f %.4f %.4f\n", double(positions[0].x),
                 double(positions[0].y), double(positions[0].z), double(positions[1].x), double(positions[1].y),
                 double(positions[1].z));
    for (const auto& mesh : resources.flexBuffers())
        std::fprintf(out, "summary: flexmesh %s: %d vertices, %d triangles, %ld frames written\n",
                     mesh->name().c_str(), mesh->vertexCount, mesh->triangleCount, mesh->framesWritten());
    for (const auto& mesh : resources.rigidMeshes()) {
        std::fprintf(out, "summary: prop %s", mesh->name().c_str());
        printPlacement(out, mesh->placed, mesh->position, mesh->up, mesh->forward);
        std::fprintf(out, " (relative to the object)\n");
    }
    for (const auto& light : object.lights) {
        std::fprintf(out, "summary: light %d", light->number());
        printPlacement(out, light->placed, light->position, light->up, light->forward);
        std::fprintf(out, " %s, %d state changes\n",
                     light->enabled < 0 ? "never switched" : light->enabled ? "on" : "off", light->enableCalls);
    }
    const HostObjectRecord::CameraState& c = object.camera;
    if (!c.received) {
        std::fprintf(out, "summary: camera never sent\n");
        return;
    }
    std::fprintf(out,
                 "summary: camera reference %.4f %.4f %.4f side %.4f %.4f %.4f direction %.4f %.4f %.4f "
                 "external %.4f %.4f %.4f selected %d of %d at %.4f %.4f %.4f value %g\n",
                 double(c.reference.x), double(c.reference.y), double(c.reference.z), double(c.side.x),
                 double(c.side.y), double(c.side.z), double(c.direction.x), double(c.direction.y),
                 double(c.direction.z), double(c.external.x), double(c.external.y), double(c.external.z),
                 c.internalCamera, c.internalCameraCount, double(c.internalNode.x), double(c.internalNode.y),
                 double(c.internalNode.z), double(c.cameraValue));
}

} // namespace VadiZov::host
