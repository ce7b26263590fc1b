// The reference host's terrain: a height map in a 16-bit binary PGM file ("P5", maxval 65535),
// turned into the record the engine builds its terrain from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "velkor/host.h"

namespace VadiZov::host {

// Samples in file order: file row r is terrain row r (y), column c is x; each sample is two
// bytes, most significant first, as PGM stores them.
struct HeightMap {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint16_t> samples;
};

// False with a reason when the bytes are not a 16-bit binary PGM.
bool parsePgmHeightMap(const std::string& bytes, HeightMap* out, std::string* error);

// False with a reason when the map's far corner or highest sample would not be a finite
// number of metres.
bool checkTerrainScale(const HeightMap& map, float squareSize, float heightScale, std::string* error);

// Square grid cells of squareSize metres, heightScale metres per sample unit, no ground layers.
// The record points into map, which must outlive the engine's setTerrain call.
TerrainConfig terrainConfigFor(const HeightMap& map, float squareSize, float heightScale);

// The map where the host puts it, centred on the world's origin in x and y with sample value 0 at
// z = 0, answering height queries the way the library answers them from the same record: each
// cell split along its diagonal from corner (ix, iy) to (ix+1, iy+1), the height that of the
// triangle's plane, in the same float operations so that both give the same bits. The map must
// outlive this.
class PlacedHeightMap {
public:
    PlacedHeightMap(const HeightMap& map, float squareSize, float heightScale);

    const float3& origin() const { return origin_; }
    // 0 off the map, as the library gives there.
    float heightAt(float x, float y) const;

private:
    const HeightMap& map_;
    float inverseSquareSize_;
    float heightScale_;
    float3 origin_;
};

} // namespace VadiZov::host
