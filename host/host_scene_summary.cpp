#include "host/host_scene_summary.h"

#include <string>

#include "host/host_object.h"
#include "host/host_resources.h"

namespace VadiZov::host {

namespace {

std::string placement(bool placed, const float3& p, const float3& up, const float3& forward)
{
    if (!placed)
        return " never placed";
    char text[400];
    std::snprintf(text, sizeof text, " at %.4f %.4f %.4f up %.4f %.4f %.4f forward %.4f %.4f %.4f", double(p.x),
                  double(p.y), double(p.z), double(up.x), double(up.y), double(up.z), double(forward.x),
                  double(forward.y), double(forward.z));
    return text;
}

} // namespace

void printSceneSummary(std::FILE* out, BeamObject* beamObject, const HostObjectRecord& object,
                       const HostResources& resources)
{
    Vector3 positions[2];
    if (beamObject && beamObject->getReferencePositions(positions) == 2)
        std::fprintf(out, "summary: reference positions %.4f %.4f %.4f and %.4f %.4f %.4f\n",
                     double(positions[0].x), double(positions[0].y), double(positions[0].z), double(positions[1].x),
                     double(positions[1].y), double(positions[1].z));
    for (const auto& mesh : resources.flexBuffers())
        std::fprintf(out, "summary: flexmesh %s: %d vertices, %d triangles, %ld frames written\n",
                     mesh->name().c_str(), mesh->vertexCount, mesh->triangleCount, mesh->framesWritten());
    // Each line leaves in one call, so no other thread's output can land inside it.
    for (const auto& mesh : resources.rigidMeshes())
        std::fprintf(out, "summary: prop %s%s (relative to the object)\n", mesh->name().c_str(),
                     placement(mesh->placed, mesh->position, mesh->up, mesh->forward).c_str());
    for (const auto& light : object.lights)
        std::fprintf(out, "summary: light %d%s %s, %d state changes\n", light->number(),
                     placement(light->placed, light->position, light->up, light->forward).c_str(),
                     light->enabled < 0 ? "never switched" : light->enabled ? "on" : "off", light->enableCalls);
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
