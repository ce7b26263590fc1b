// --debug-svg, --debug-png and --debug-view: after the last frame the host asks the engine to
// render the object's debug drawing and draws what it receives as pictures.
#pragma once

#include <string>

#include "host/host_debug_picture.h"
#include "velkor/velkor.h"

namespace VadiZov::host {

class HostGameEngine;

struct DebugPictureOptions {
    std::string svgFile;  // empty: no SVG
    std::string pngFile;  // empty: no PNG
    DebugView view = DebugView::top;
    bool viewGiven = false;
    bool wanted() const { return !svgFile.empty() || !pngFile.empty(); }
};

// Takes argv[i] (and its value) when it is one of the debug picture options: true with i moved
// past the value. On a bad value *error is set and true is returned.
bool parseDebugPictureOption(int argc, char** argv, int& i, DebugPictureOptions* options, std::string* error);

// Renders the object's collector (focus: the object's position) and writes the pictures asked
// for; false after printing a reason on stderr.
bool writeDebugPictures(BeamEngine& engine, BeamObject* object, const float3& focus, HostGameEngine& gameEngine,
                        const DebugPictureOptions& options);

} // namespace VadiZov::host
