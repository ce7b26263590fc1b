// The summary lines about what the object showed the host: its props' meshes, its lights and
// its last camera record.
#pragma once

#include <cstdio>

#include "velkor/velkor.h"

namespace VadiZov::host {

class HostObjectRecord;
class HostResources;

void printSceneSummary(std::FILE* out, BeamObject& beamObject, const HostObjectRecord& object,
                       const HostResources& resources);

} // namespace VadiZov::host
