// How high each flexible mesh stayed above the terrain over a run, seen from the host: the
// library writes a mesh's vertices relative to the object every frame, the host adds the
// object's position it received in that frame and subtracts the height of the map it loaded.
// A mesh whose vertices sit on nodes thus tells the host how low those nodes came.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host/host_terrain_file.h"

namespace VadiZov::host {

class HostFlexBuffer;

// The lowest of the mesh's vertices above the terrain; non-finite if one of them is.
float lowestAboveTerrain(const HostFlexBuffer& mesh, const float3& objectPosition, const PlacedHeightMap& terrain);

class MeshClearance {
public:
    explicit MeshClearance(const PlacedHeightMap& terrain) : terrain_(terrain) {}

    // After a frame whose graphics update showed the object as it was `time` seconds into the
    // run; meshes the library did not write in this frame are left out.
    void afterFrame(const std::vector<std::unique_ptr<HostFlexBuffer>>& meshes, const float3& objectPosition,
                    double time);
    void print(std::FILE* out) const;

    // Per mesh name, in the order the meshes first showed up.
    struct Lowest {
        std::string mesh;
        long framesSeen = 0;  // frames that wrote the mesh, as this counts them
        float above = 0.0f;
        double time = 0.0;
        bool nonFinite = false;  // some frame left a vertex without a finite position
        double nonFiniteTime = 0.0;  // the first such frame's time
    };
    const std::vector<Lowest>& lowest() const { return lowest_; }

private:
    Lowest& entryFor(const std::string& mesh);

    const PlacedHeightMap& terrain_;
    std::vector<Lowest> lowest_;
    std::vector<long> framesWrittenSeen_;  // per entry of lowest_, the buffer's count last seen
};

} // namespace VadiZov::host
