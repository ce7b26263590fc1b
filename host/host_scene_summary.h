// The summary lines about what the object showed the host: its props' meshes, its lights and
// its last camera record.
#pragma once

#include <cstdio>

namespace VadiZov::host {

class HostObjectRecord;
class HostResources;

void printSceneSummary(std::FILE* out, const HostObjectRecord& object, const HostResources& resources);

} // namespace VadiZov::host
