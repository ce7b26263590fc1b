#include "debug/bdebug_palette.h"

#include "object/bobject_records.h"

namespace VadiZov {

const PaletteEntry kDebugPalette[kDebugPaletteSize] = {
    {255, 0, 0},   {0, 255, 0},    {0, 0, 255},   {255, 255, 0}, {255, 0, 255},  {0, 255, 255},
    {96, 128, 200}, {196, 8, 0},   {120, 0, 196}, {90, 255, 255}, {63, 102, 190}, {235, 135, 63},
};

color paletteColor(int index, uint8_t alpha)
{
    const int i = ((index % kDebugPaletteSize) + kDebugPaletteSize) % kDebugPaletteSize;
    const PaletteEntry& e = kDebugPalette[i];
    return color{e.r, e.g, e.b, alpha};
}

namespace {

// Bounded beams get yellow: no other beam type uses it, so they stand out among the rest.
constexpr int kBoundedBeamPalette = 3;

int paletteOfBeamType(int beamType)
{
    switch (beamType) {
    case BEAM_NORMAL: return 1;
    case BEAM_ANISOTROPIC: return 4;
    case BEAM_BOUNDED: return kBoundedBeamPalette;
    case BEAM_PRESSURED: return 6;
    case BEAM_BROKEN: return 0;
    case BEAM_HYDRO: return 10;
    case BEAM_SUPPORT: return 11;
    default: return 5;
    }
}

} // namespace

color beamTypeColor(int beamType, int alpha)
{
    const uint8_t a = beamType == BEAM_BROKEN ? uint8_t(255) : uint8_t(unsigned(alpha) & 0xFFu);
    return paletteColor(paletteOfBeamType(beamType), a);
}

} // namespace VadiZov
