#include "host/host_ground_clearance.h"

#include <cmath>

#include "host/host_flex_buffer.h"

namespace VadiZov::host {

float lowestAboveTerrain(const HostFlexBuffer& mesh, const float3& objectPosition, const PlacedHeightMap& terrain)
{
    float lowest = INFINITY;
    for (const float3& vertex : mesh.positions()) {
        const float3 p = objectPosition + vertex;
        // NaN would lose every comparison and hide itself; a lost x or y would read as off the map
        if (!(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)))
            return NAN;
        const float above = p.z - terrain.heightAt(p.x, p.y);
        if (above < lowest)
            lowest = above;
    }
    return lowest;
}

MeshClearance::Lowest& MeshClearance::entryFor(const std::string& mesh)
{
    for (Lowest& entry : lowest_)
        if (entry.mesh == mesh)
            return entry;
    lowest_.push_back(Lowest{});
    lowest_.back().mesh = mesh;
    framesWrittenSeen_.push_back(0);
    return lowest_.back();
}

void MeshClearance::afterFrame(const std::vector<std::unique_ptr<HostFlexBuffer>>& meshes,
                               const float3& objectPosition, double time)
{
    for (const auto& mesh : meshes) {
        Lowest& entry = entryFor(mesh->name());
        long& seen = framesWrittenSeen_[size_t(&entry - lowest_.data())];
        if (mesh->framesWritten() == seen || mesh->positions().empty())
            continue;
        seen = mesh->framesWritten();
        const float above = lowestAboveTerrain(*mesh, objectPosition, terrain_);
        if (!std::isfinite(above)) {
            if (!entry.nonFinite)
                entry.nonFiniteTime = time;
            entry.nonFinite = true;
            continue;
        }
        if (entry.framesSeen == 0 || above < entry.above) {
            entry.above = above;
            entry.time = time;
        }
        ++entry.framesSeen;
    }
}

void MeshClearance::print(std::FILE* out) const
{
    for (const Lowest& entry : lowest_) {
        if (entry.framesSeen > 0)
            std::fprintf(out, "summary: flexmesh %s: lowest vertex %.3f m above the terrain at %.3f s\n",
                         entry.mesh.c_str(), double(entry.above), entry.time);
        if (entry.nonFinite)
            std::fprintf(out, "summary: flexmesh %s: vertices not finite from %.3f s\n", entry.mesh.c_str(),
                         entry.nonFiniteTime);
    }
}

} // namespace VadiZov::host
