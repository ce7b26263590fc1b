// The reference host's static collision geometry: a text file of triangles, one per line as
// nine numbers (three corners x y z, in the order given). Blank lines and lines starting with
// '#' are skipped.
#pragma once

#include <string>
#include <vector>

#include "velkor/types.h"

namespace VadiZov::host {

struct HostTriangle {
    float3 a, b, c;
};

// False with the line number and the reason when a line is not nine finite numbers.
bool parseStaticTriangles(const std::string& text, std::vector<HostTriangle>* out, std::string* error);

} // namespace VadiZov::host
