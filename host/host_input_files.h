// The host's own input files below DATA_DIR (--terrain, --static) and the check that --log
// never replaces one of the inputs.
#pragma once

#include <string>
#include <vector>

#include "host/host_options.h"
#include "host/host_static_file.h"
#include "host/host_terrain_file.h"

namespace VadiZov::host {

struct GroundFiles {
    HeightMap heightMap;
    std::vector<HostTriangle> staticTriangles;
};

// Reads and checks the terrain and static files the options name. False with the reason.
bool readGroundFiles(const HostOptions& options, GroundFiles* ground, std::string* error);

// Why a file at `path` below DATA_DIR would replace one of the run's inputs: below "lua/" (the
// scripts) or "meshes/", in an object's folder (one holding init.lua), or a ground file. Empty
// when it would not.
std::string inputPlaceReason(const HostOptions& options, const std::string& path);

// False with the reason when the object folder or a ground file lies below the folder scripts
// write into (written/): a script could change them there.
bool checkInputPlaces(const HostOptions& options, std::string* error);

// False with the reason when --log would leave DATA_DIR or overwrite something that is not a
// log: a file below "lua/" or in an object's folder, a ground file, an existing non-log file.
bool checkLogFile(const HostOptions& options, std::string* error);

} // namespace VadiZov::host
