// The summary lines about what the object showed the host: its props' meshes, its lights and
// its last camera record.
#pragma once

#include <cstdio>

#include "velkor/velkor.h"

namespace VadiZov::host {

class HostObjectRecord;
class HostResources;

// beamObject is null once the engine deleted the object: what the host kept of it is still shown.
void printSceneSummary(std::FILE* out, BeamObject* beamObject, const HostObjectRecord& object,
                       const HostResources& resources);

} // namespace VadiZov::host
