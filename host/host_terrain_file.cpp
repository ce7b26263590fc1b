#include "host/host_terrain_file.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>

namespace VadiZov::host {

namespace {

constexpr long kMaxSide = 65535;

// Header tokens are separated by whitespace; a '#' starts a comment up to the end of the line.
bool nextHeaderNumber(const std::string& bytes, size_t* at, long* value)
{
    size_t i = *at;
    for (;;) {
        while (i < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[i])))
            ++i;
        if (i < bytes.size() && bytes[i] == '#') {
            while (i < bytes.size() && bytes[i] != '\n')
                ++i;
            continue;
        }
        break;
    }
    long v = 0;
    const size_t start = i;
    while (i < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[i])) && i - start < 9) {
        v = v * 10 + (bytes[i] - '0');
        ++i;
    }
    if (i == start || (i < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[i]))))
        return false;
    *value = v;
    *at = i;
    return true;
}

} // namespace

bool parsePgmHeightMap(const std::string& bytes, HeightMap* out, std::string* error)
{
    if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '5') {
        *error = "not a binary PGM (no \"P5\" at the start)";
        return false;
    }
    size_t at = 2;
    long width = 0, height = 0, maxval = 0;
    if (!nextHeaderNumber(bytes, &at, &width) || !nextHeaderNumber(bytes, &at, &height) ||
        !nextHeaderNumber(bytes, &at, &maxval)) {
        *error = "PGM header must give width, height and maxval";
        return false;
    }
    if (maxval != 65535) {
        *error = "PGM maxval must be 65535 (16-bit samples), not " + std::to_string(maxval);
        return false;
    }
    // A height field is made of cells between four samples: fewer than two a side has none.
    if (width < 2 || height < 2) {
        *error = "PGM of " + std::to_string(width) + " x " + std::to_string(height) +
                 " samples has no cell: at least 2 x 2 are needed";
        return false;
    }
    if (width > kMaxSide || height > kMaxSide || width * height > INT_MAX / 2) {
        *error = "PGM size out of range: " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    // Exactly one whitespace character ends the header.
    if (at >= bytes.size() || !std::isspace(static_cast<unsigned char>(bytes[at]))) {
        *error = "PGM header does not end in whitespace";
        return false;
    }
    ++at;
    const size_t count = size_t(width) * size_t(height);
    if (bytes.size() - at < count * 2) {
        *error = "PGM data too short: " + std::to_string(count) + " samples needed";
        return false;
    }
    out->width = int32_t(width);
    out->height = int32_t(height);
    out->samples.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const auto hi = static_cast<unsigned char>(bytes[at + 2 * i]);
        const auto lo = static_cast<unsigned char>(bytes[at + 2 * i + 1]);
        out->samples[i] = uint16_t((hi << 8) | lo);
    }
    return true;
}

bool checkTerrainScale(const HeightMap& map, float squareSize, float heightScale, std::string* error)
{
    // The highest sample and the far corner must stay finite numbers of metres.
    const float top = 65535.0f * heightScale;
    const float across = float(std::max(map.width, map.height) - 1) * squareSize;
    if (!std::isfinite(top) || !std::isfinite(across)) {
        *error = "--square or --height-scale too large: the terrain would not have a finite size";
        return false;
    }
    return true;
}

TerrainConfig terrainConfigFor(const HeightMap& map, float squareSize, float heightScale)
{
    TerrainConfig config;
    config.heightMap = map.samples.data();
    config.heightMapSize = int32_t(map.samples.size() * 2);
    config.width = map.width;
    config.height = map.height;
    config.squareSizeX = squareSize;
    config.squareSizeY = squareSize;
    config.heightScale = heightScale;
    config.depthScale = 0.02f;  // the library's own default: no depth map is sent
    config.completion = 1;
    return config;
}

PlacedHeightMap::PlacedHeightMap(const HeightMap& map, float squareSize, float heightScale)
    : map_(map), inverseSquareSize_(1.0f / squareSize), heightScale_(heightScale)
{
    const float halfX = float(map.width - 1) * squareSize * 0.5f;
    const float halfY = float(map.height - 1) * squareSize * 0.5f;
    origin_ = float3(-halfX, -halfY, 0.0f);
}

// The library's terrain height (src/ground/bterrain.cpp) again, on purpose: the host checks it.
float PlacedHeightMap::heightAt(float x, float y) const
{
    const float u = (x - origin_.x) * inverseSquareSize_;
    const float v = (y - origin_.y) * inverseSquareSize_;
    // At or below -1, beyond the int range, or NaN: no cell (truncation would land on cell 0).
    if (!(u > -1.0f && u < 2147483648.0f && v > -1.0f && v < 2147483648.0f))
        return 0.0f;
    const int32_t ix = int32_t(u);
    const int32_t iy = int32_t(v);
    if (ix >= map_.width - 1 || iy >= map_.height - 1)
        return 0.0f;
    const float fu = u - float(ix);
    const float fv = v - float(iy);
    const uint16_t* row = map_.samples.data() + size_t(iy) * size_t(map_.width) + size_t(ix);
    const int32_t h00 = row[0];
    const int32_t h10 = row[1];
    const int32_t h01 = row[map_.width];
    const int32_t h11 = row[map_.width + 1];
    float height;
    if (fu > fv)
        height = fv * float(h11 - h10) + (fu * float(h10 - h00) + float(h00));
    else
        height = fv * float(h01 - h00) + (fu * float(h11 - h01) + float(h00));
    return height * heightScale_ + origin_.z;
}

} // namespace VadiZov::host
