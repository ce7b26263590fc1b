// The library's own copy of the host's terrain: a regular grid of 16-bit height samples with a
// ground-model number and a depth byte per sample, and the height, normal and ground queries the
// physics, the debug drawing and the scripts make of it.
//
// The engine keeps one TerrainBlock for its whole life (every Lua state holds a pointer to it)
// and reloads or clears it in place. The queries take no lock and allocate nothing; the engine
// changes the data only while no physics frame runs.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "velkor/types.h"

namespace VadiZov {

struct TerrainConfig;
class GroundModelNames;

// Metres per step of a cell's depth byte; set from each terrain record the host sends.
extern float terrainDepthScale;

class TerrainBlock {
public:
    // Step of the finite differences of getTerrainNormal, in metres.
    static constexpr float kNormalProbeStep = 0.1f;
    static constexpr int kLayerTableSize = 256;

    // Empty terrain at the origin: every point is outside.
    TerrainBlock();
    TerrainBlock(const TerrainBlock&) = delete;
    TerrainBlock& operator=(const TerrainBlock&) = delete;

    // Replaces the whole terrain with the record's (the state of a new block, then loaded). Layer
    // names are looked up, upper-cased, in names. A record that fails a check is logged and
    // leaves the terrain empty; one without height samples, or narrower or shorter than two
    // samples, leaves it empty silently.
    void setTerrainData(const TerrainConfig& config, const GroundModelNames& names);
    // Back to the state of a new block: empty, origin (0, 0, 0), layer table all 0.
    void clear();
    // Empty grid (frees the buffers); the origin and the layer table stay.
    void reset();
    void freeBuffers();
    void setOrigin(const float3& origin) { origin_ = origin; }

    // Height at (p.x, p.y) on the cell's triangle; 0 outside.
    float getHeight(const float3& p) const;
    // Unit upward normal (exact square root) and the cell word; (0, 0, 1) and 0 outside.
    void getNormalAndGroundModel(const float3& p, float3& normal, uint16_t& cellWord) const;
    // Unit upward normal from the reciprocal-square-root estimate (debug drawing).
    void getNormal(const float3& p, float3& normal) const;
    // Byte 0 of the cell word: the ground-model number; 0 outside.
    int getTerrainGroundmodel(const float3& p) const;
    // The height as getHeight gives it and the whole cell word (0 outside).
    float getTerrainHeightAndGroundmodel(const float3& p, uint16_t& cellWord) const;
    // p.x, p.y: where; p.z: the height to use there. Overwrites p with the estimated normal of
    // the plane through p and the terrain one probe step behind in x and ahead in y.
    void getTerrainNormal(float3& p) const;

    const float3& origin() const { return origin_; }
    int32_t lastCellX() const { return lastCellX_; }
    int32_t lastCellY() const { return lastCellY_; }
    float squareSizeX() const { return squareSizeX_; }
    float squareSizeY() const { return squareSizeY_; }
    float heightScale() const { return heightScale_; }
    int32_t layerGroundModel(int layer) const { return layerTable_[layer & 0xFF]; }
    bool hasSamples() const { return heights_ != nullptr; }

private:
    struct FreeDeleter {
        void operator()(void* p) const { std::free(p); }
    };

    // The cell of p and the point's place in it; false when p is outside the grid.
    struct CellHit {
        int32_t base;  // index of corner (ix, iy)
        float fu, fv;  // fractions along x and y, with the sign of the offset
        bool lowerRight;  // fu > fv: triangle (ix, iy), (ix+1, iy), (ix+1, iy+1)
    };
    bool locate(const float3& p, CellHit& hit) const;
    float heightAt(const CellHit& hit) const;
    float3 unnormalisedNormalAt(const CellHit& hit) const;

    int32_t lastCellX_ = 0;
    int32_t lastCellY_ = 0;
    int32_t rowStride_ = 1;
    int32_t rows_ = 1;
    float inverseSquareSizeX_ = 1.0f;
    float inverseSquareSizeY_ = 1.0f;
    float squareSizeX_ = 1.0f;
    float squareSizeY_ = 1.0f;
    float heightScale_ = 1.0f;
    float heightScaleTimesSquareSizeY_ = 1.0f;
    float heightScaleTimesSquareSizeX_ = 1.0f;
    float squareArea_ = 1.0f;
    float3 origin_;
    int32_t layerTable_[kLayerTableSize] = {};
    std::unique_ptr<uint16_t, FreeDeleter> heights_;
    std::unique_ptr<uint16_t, FreeDeleter> cellWords_;  // low byte ground model, high byte depth

    // The record's values as received.
    struct ReceivedRecord {
        float heightScale = 1.0f;
        float squareSizeX = 1.0f, squareSizeY = 1.0f;
        int32_t width = 0, height = 0, layerCount = 0;
        int32_t heightMapSize = 0, layerMapSize = 0, depthMapSize = 0;
        uint32_t reserved1 = 0, reserved2 = 0;
    } received_;
};

} // namespace VadiZov
