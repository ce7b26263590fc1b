// The ground a host run places before its first frame: the terrain height field and the static
// triangles named on the command line, as read by readGroundFiles.
#pragma once

#include "host/host_input_files.h"
#include "host/host_options.h"
#include "velkor/velkor.h"

namespace VadiZov::host {

// The terrain is centred on the world's origin; the static triangles are one committed batch.
void placeGround(BeamEngine& engine, const HostOptions& options, const GroundFiles& ground);

} // namespace VadiZov::host
