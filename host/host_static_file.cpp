#include "host/host_static_file.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace VadiZov::host {

namespace {

// Nine whitespace-separated finite numbers and nothing else.
bool parseLine(const std::string& line, float values[9])
{
    const char* p = line.c_str();
    for (int i = 0; i < 9; ++i) {
        char* end = nullptr;
        errno = 0;
        const float v = std::strtof(p, &end);
        if (end == p || errno == ERANGE || !std::isfinite(v))
            return false;
        if (*end != '\0' && !std::isspace(static_cast<unsigned char>(*end)))
            return false;
        values[i] = v;
        p = end;
    }
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    return *p == '\0';
}

} // namespace

bool parseStaticTriangles(const std::string& text, std::vector<HostTriangle>* out, std::string* error)
{
    std::istringstream in(text);
    std::string line;
    int number = 0;
    std::vector<HostTriangle> triangles;
    while (std::getline(in, line)) {
        ++number;
        size_t first = 0;
        while (first < line.size() && std::isspace(static_cast<unsigned char>(line[first])))
            ++first;
        if (first == line.size() || line[first] == '#')
            continue;
        float v[9];
        if (!parseLine(line, v)) {
            *error = "line " + std::to_string(number) + ": expected nine numbers (x y z of three corners)";
            return false;
        }
        triangles.push_back({float3(v[0], v[1], v[2]), float3(v[3], v[4], v[5]), float3(v[6], v[7], v[8])});
    }
    out->swap(triangles);
    return true;
}

} // namespace VadiZov::host
