// Draws one captured debug render as an SVG or PNG picture with cairo: seen from above (x right,
// y up) or from the side (x right, z up), fitted to the picture, with the ground-model legend
// the library sent through executeJS.
#pragma once

#include <string>
#include <vector>

#include "host/host_debug_draw.h"

namespace VadiZov::host {

enum class DebugView { top, side };
enum class PictureFormat { svg, png };

struct LegendEntry {
    int id = 0;
    std::string name;
    color colour;
};

// Reads one "updateGroundModelDebug({'name':'...','color':{...},'id':N,});" script; false for
// any other text.
bool parseLegendScript(const std::string& script, LegendEntry* entry);

constexpr int kPictureWidth = 800;
constexpr int kPictureHeight = 600;

// False with a reason when the file cannot be written.
bool writeDebugPicture(const HostDebugCapture& capture, const std::vector<LegendEntry>& legend, DebugView view,
                       PictureFormat format, const std::string& path, std::string* error);

} // namespace VadiZov::host
