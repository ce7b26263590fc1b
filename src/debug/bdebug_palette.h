// The twelve debug colours shared by beam types and ground models, and the beam-type rule.
#pragma once

#include <cstdint>

#include "velkor/types.h"

namespace VadiZov {

constexpr int kDebugPaletteSize = 12;

struct PaletteEntry {
    uint8_t r, g, b;
};

extern const PaletteEntry kDebugPalette[kDebugPaletteSize];

// Palette entry `index` (taken modulo the palette size) with the given alpha.
color paletteColor(int index, uint8_t alpha);

// The colour a beam of this type is drawn in: broken beams are always opaque red; every other
// type keeps the caller's alpha (its low 8 bits).
color beamTypeColor(int beamType, int alpha);

} // namespace VadiZov
