// Scene pieces shared by the contact tests and the contact benchmark: terrain grids and the
// substep parameters for one object stepped on the calling thread.
#pragma once

#include <cstdint>
#include <vector>

#include "object/bcore_parameters.h"
#include "base/bsettings.h"
#include "ground/bstatic_collider.h"
#include "ground/bterrain.h"
#include "velkor/host.h"

namespace VadiZov::testing {

// Samples for a width x height grid; sample (ix, iy) = value(ix, iy).
template <class F>
std::vector<uint16_t> gridSamples(int width, int height, F value)
{
    std::vector<uint16_t> samples(size_t(width) * size_t(height));
    for (int iy = 0; iy < height; ++iy)
        for (int ix = 0; ix < width; ++ix)
            samples[size_t(iy) * size_t(width) + size_t(ix)] = uint16_t(value(ix, iy));
    return samples;
}

// A width x height grid of 1 m squares from the origin over samples, which must outlive it.
inline TerrainConfig unitGridConfig(int width, int height, const std::vector<uint16_t>& samples, float heightScale)
{
    TerrainConfig config;
    config.heightMap = samples.data();
    config.heightMapSize = int32_t(samples.size() * 2);
    config.width = width;
    config.height = height;
    config.squareSizeX = 1.0f;
    config.squareSizeY = 1.0f;
    config.heightScale = heightScale;
    config.depthScale = 0.02f;
    return config;
}

// Parameters for substeps of object alone, in the middle of a long frame (never its first or
// last substep: no frame-start work, no render shift).
inline void bindSingleObject(core_parameters_t& params, BeamObjectRecords* (&slots)[1], BeamObjectRecords* object,
                             StaticCollider* collider, TerrainBlock* terrain)
{
    slots[0] = object;
    params.objects = slots;
    params.objectCount = 1;
    params.dt = kSubstepTime;
    params.invDt = kInvSubstepTime;
    params.substeps = 1000000;
    params.currentSubstep = 1;
    params.collider = collider;
    params.terrain = terrain;
}

} // namespace VadiZov::testing
