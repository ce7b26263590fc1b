#include "ground/bterrain.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ground/bground_models.h"
#include "base/blog.h"
#include "base/bmath.h"
#include "velkor/host.h"

namespace VadiZov {

float terrainDepthScale = 0.02f;

namespace {

// The processor's estimate (~12 bits), not refined: only the debug and script normals use it.
// The name slots of the record; a layer count above this never reads past them.
constexpr int32_t kLayerNameSlots = 32;

// Truncates toward zero like an integer conversion, but only for values that fit: false for
// values at or below -1 (their cell would be negative), too large or NaN.
bool truncatedIndex(float u, int32_t& index)
{
    if (!(u > -1.0f && u < 2147483648.0f))
        return false;
    index = int32_t(u);
    return true;
}

} // namespace

TerrainBlock::TerrainBlock() = default;

void TerrainBlock::freeBuffers()
{
    heights_.reset();
    cellWords_.reset();
}

void TerrainBlock::reset()
{
    freeBuffers();
    lastCellX_ = 0;
    lastCellY_ = 0;
    rowStride_ = 1;
    rows_ = 1;
    inverseSquareSizeX_ = 1.0f;
    inverseSquareSizeY_ = 1.0f;
    squareSizeX_ = 1.0f;
    squareSizeY_ = 1.0f;
    heightScale_ = 1.0f;
    heightScaleTimesSquareSizeY_ = 1.0f;
    heightScaleTimesSquareSizeX_ = 1.0f;
    squareArea_ = 1.0f;
}

void TerrainBlock::clear()
{
    reset();
    origin_ = float3();
    std::fill(std::begin(layerTable_), std::end(layerTable_), 0);
    received_ = ReceivedRecord();
}

void TerrainBlock::setTerrainData(const TerrainConfig& config, const GroundModelNames& names)
{
    clear();

    received_.heightScale = config.heightScale;
    received_.squareSizeX = config.squareSizeX;
    received_.squareSizeY = config.squareSizeY;
    received_.width = config.width;
    received_.height = config.height;
    received_.layerCount = config.layerCount;
    received_.heightMapSize = config.heightMapSize;
    received_.layerMapSize = config.layerMapSize;
    received_.depthMapSize = config.secondMapSize;
    received_.reserved1 = config.reserved1;
    received_.reserved2 = config.reserved2;
    terrainDepthScale = config.depthScale;

    // In 64 bits so that no product wraps; a negative size describes no samples at all.
    const int64_t sampleCount =
        (config.width > 0 && config.height > 0) ? int64_t(config.width) * int64_t(config.height) : 0;

    if (config.heightMap) {
        if (int64_t(config.heightMapSize) != sampleCount * 2) {
            logError("strange terrain config: sent height map data is sized incorrectly.");
            reset();
            return;
        }
        // One spare byte so that a record of no samples is not taken for a failed allocation.
        heights_.reset(static_cast<uint16_t*>(std::malloc(size_t(sampleCount) * sizeof(uint16_t) + 1)));
        if (!heights_) {
            logError("failed to allocate heightmap buffer: memory full?");
            reset();
            return;
        }
        std::memcpy(heights_.get(), config.heightMap, size_t(sampleCount) * sizeof(uint16_t));
    }

    const int32_t namedLayers = std::min(config.layerCount, kLayerNameSlots);
    for (int32_t i = 0; i < namedLayers && config.layerMaterialNames[i]; ++i) {
        const char* name = config.layerMaterialNames[i];
        const int number = names.findGroundModel(toUpper(name));
        if (number >= 0)
            layerTable_[i] = number;
        else
            logFormat(LOG_ERROR, "no ground material for layer found: %s", name);
    }

    cellWords_.reset(static_cast<uint16_t*>(std::calloc(size_t(sampleCount) + 1, sizeof(uint16_t))));
    if (!cellWords_) {
        logError("failed to allocate layer map buffer: memory full?");
        reset();
        return;
    }

    const auto sizeFits = [&](int32_t size) { return size == 0 || int64_t(size) == sampleCount; };
    if (!sizeFits(config.layerMapSize) || !sizeFits(config.secondMapSize)) {
        logError("wrong layer map data size");
        reset();
        return;
    }

    // A map is read only when it is there and sized: the check above then bounds every read.
    const bool hasLayerMap = config.layerMap && config.layerMapSize != 0;
    const bool hasDepthMap = config.secondMap && config.secondMapSize != 0;
    if (hasLayerMap) {
        uint16_t* words = cellWords_.get();
        for (int64_t i = 0; i < sampleCount; ++i) {
            const uint16_t groundModel = uint16_t(layerTable_[config.layerMap[i]] & 0xFF);
            // The host sends depth inverted: 255 means "the ground model's own depth".
            const uint16_t depth = hasDepthMap ? uint16_t(uint8_t(~config.secondMap[i])) : 0;
            words[i] = uint16_t(groundModel | uint16_t(depth << 8));
        }
    }

    // Without samples, or without a single cell, there is nothing to stand on.
    if (!heights_ || config.width < 2 || config.height < 2) {
        reset();
        return;
    }

    lastCellX_ = config.width - 1;
    lastCellY_ = config.height - 1;
    rowStride_ = config.width;
    rows_ = config.height;
    heightScale_ = config.heightScale;
    squareSizeX_ = config.squareSizeX;
    squareSizeY_ = config.squareSizeY;
    inverseSquareSizeX_ = 1.0f / squareSizeX_;
    inverseSquareSizeY_ = 1.0f / squareSizeY_;
    squareArea_ = squareSizeX_ * squareSizeY_;
    heightScaleTimesSquareSizeY_ = heightScale_ * squareSizeY_;
    heightScaleTimesSquareSizeX_ = heightScale_ * squareSizeX_;
}

bool TerrainBlock::locate(const float3& p, CellHit& hit) const
{
    const float u = (p.x - origin_.x) * inverseSquareSizeX_;
    const float v = (p.y - origin_.y) * inverseSquareSizeY_;
    int32_t ix = 0;
    int32_t iy = 0;
    if (!truncatedIndex(u, ix) || !truncatedIndex(v, iy))
        return false;
    // Both indices are >= 0 here; an empty grid has no cell, so this rejects every point.
    if (uint32_t(ix) >= uint32_t(lastCellX_) || uint32_t(iy) >= uint32_t(lastCellY_))
        return false;
    hit.fu = u - float(ix);
    hit.fv = v - float(iy);
    hit.base = iy * rowStride_ + ix;
    hit.lowerRight = hit.fu > hit.fv;
    return true;
}

float TerrainBlock::heightAt(const CellHit& hit) const
{
    const uint16_t* h = heights_.get();
    const int32_t h00 = h[hit.base];
    const int32_t h10 = h[hit.base + 1];
    const int32_t h01 = h[hit.base + rowStride_];
    const int32_t h11 = h[hit.base + rowStride_ + 1];
    float height;
    if (hit.lowerRight)
        height = hit.fv * float(h11 - h10) + (hit.fu * float(h10 - h00) + float(h00));
    else
        height = hit.fv * float(h01 - h00) + (hit.fu * float(h11 - h01) + float(h00));
    return height * heightScale_ + origin_.z;
}

float3 TerrainBlock::unnormalisedNormalAt(const CellHit& hit) const
{
    const uint16_t* h = heights_.get();
    const int32_t h00 = h[hit.base];
    const int32_t h10 = h[hit.base + 1];
    const int32_t h01 = h[hit.base + rowStride_];
    const int32_t h11 = h[hit.base + rowStride_ + 1];
    if (hit.lowerRight)
        return float3(float(h00 - h10) * heightScaleTimesSquareSizeY_,
                      float(h10 - h11) * heightScaleTimesSquareSizeX_, squareArea_);
    return float3(float(h01 - h11) * heightScaleTimesSquareSizeY_,
                  float(h00 - h01) * heightScaleTimesSquareSizeX_, squareArea_);
}

float TerrainBlock::getHeight(const float3& p) const
{
    CellHit hit;
    if (!locate(p, hit))
        return 0.0f;
    return heightAt(hit);
}

void TerrainBlock::getNormalAndGroundModel(const float3& p, float3& normal, uint16_t& cellWord) const
{
    CellHit hit;
    if (!locate(p, hit)) {
        normal = float3(0.0f, 0.0f, 1.0f);
        cellWord = 0;
        return;
    }
    const float3 n = unnormalisedNormalAt(hit);
    const float k = 1.0f / std::sqrt(n.squaredLength());
    normal = n * k;
    cellWord = cellWords_.get()[hit.base];
}

void TerrainBlock::getNormal(const float3& p, float3& normal) const
{
    CellHit hit;
    if (!locate(p, hit)) {
        normal = float3(0.0f, 0.0f, 1.0f);
        return;
    }
    const float3 n = unnormalisedNormalAt(hit);
    normal = n * approxRsqrt(n.squaredLength());
}

int TerrainBlock::getTerrainGroundmodel(const float3& p) const
{
    CellHit hit;
    if (!locate(p, hit))
        return 0;
    return cellWords_.get()[hit.base] & 0xFF;
}

float TerrainBlock::getTerrainHeightAndGroundmodel(const float3& p, uint16_t& cellWord) const
{
    CellHit hit;
    if (!locate(p, hit)) {
        cellWord = 0;
        return 0.0f;
    }
    cellWord = cellWords_.get()[hit.base];
    return heightAt(hit);
}

void TerrainBlock::getTerrainNormal(float3& p) const
{
    const float d = kNormalProbeStep;
    const float behind = getHeight(float3(p.x - d, p.y, 0.0f));
    const float ahead = getHeight(float3(p.x, p.y + d, 0.0f));
    const float3 n(d * (behind - p.z), d * (p.z - ahead), d * d);
    p = n * approxRsqrt(n.squaredLength());
}

} // namespace VadiZov
