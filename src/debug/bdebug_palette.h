// The twelve debug colours shared by beam types (bobject_debug_drawer.h) and ground models.
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

} // namespace VadiZov
