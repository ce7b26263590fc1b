// The ground a host run places before its first frame: the terrain height field and the static
// triangles named on the command line, read from below the data directory.
#pragma once

#include <string>
#include <vector>

#include "host/host_options.h"
#include "host/host_static_file.h"
#include "host/host_terrain_file.h"
#include "velkor/velkor.h"

namespace VadiZov::host {

struct GroundFiles {
    HeightMap heightMap;  // the engine reads the samples from here for as long as the terrain lives
    std::vector<HostTriangle> staticTriangles;
};

// False with a message when a named file cannot be read or parsed.
bool readGroundFiles(const HostOptions& options, GroundFiles* ground, std::string* error);
// The terrain is centred on the world's origin; the static triangles are one committed batch.
void placeGround(BeamEngine& engine, const HostOptions& options, const GroundFiles& ground);

} // namespace VadiZov::host
