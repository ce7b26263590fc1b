#include "debug/bdebug_palette.h"

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

} // namespace VadiZov
