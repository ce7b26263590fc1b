#include "host/host_debug_output.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "host/host_debug_draw.h"
#include "host/host_game_engine.h"

namespace VadiZov::host {

bool parseDebugPictureOption(int argc, char** argv, int& i, DebugPictureOptions* options, std::string* error)
{
    const char* arg = argv[i];
    const bool svg = std::strcmp(arg, "--debug-svg") == 0;
    const bool png = std::strcmp(arg, "--debug-png") == 0;
    const bool view = std::strcmp(arg, "--debug-view") == 0;
    if (!svg && !png && !view)
        return false;
    if (i + 1 >= argc) {
        *error = std::string(arg) + " needs a value";
        return true;
    }
    const char* value = argv[++i];
    if (view) {
        if (std::strcmp(value, "top") == 0)
            options->view = DebugView::top;
        else if (std::strcmp(value, "side") == 0)
            options->view = DebugView::side;
        else
            *error = "--debug-view takes top or side";
        options->viewGiven = true;
    } else if (*value == '\0') {
        *error = std::string(arg) + " needs a file name";
    } else {
        (svg ? options->svgFile : options->pngFile) = value;
    }
    return true;
}

bool writeDebugPictures(BeamEngine& engine, BeamObject* object, const float3& focus, HostGameEngine& gameEngine,
                        const DebugPictureOptions& options)
{
    HostDebugCapture capture;
    const size_t scriptsBefore = gameEngine.javaScript.size();
    if (object)
        engine.renderObjectDebug(&capture, focus, object);
    std::vector<LegendEntry> legend;
    for (size_t i = scriptsBefore; i < gameEngine.javaScript.size(); ++i) {
        LegendEntry entry;
        if (parseLegendScript(gameEngine.javaScript[i], &entry))
            legend.push_back(entry);
    }
    std::printf("velkor-host: debug render: %zu lines, %zu triangles, %zu texts, %zu spheres, %zu beams, %zu ground "
                "models\n",
                capture.linePoints.size() / 2, capture.trianglePoints.size() / 3, capture.texts.size(),
                capture.spheres.size(), capture.beams.size(), legend.size());
    bool ok = true;
    const struct {
        const std::string& file;
        PictureFormat format;
    } outputs[] = {{options.svgFile, PictureFormat::svg}, {options.pngFile, PictureFormat::png}};
    for (const auto& out : outputs) {
        if (out.file.empty())
            continue;
        std::string error;
        if (!writeDebugPicture(capture, legend, options.view, out.format, out.file, &error)) {
            std::fprintf(stderr, "velkor-host: %s\n", error.c_str());
            ok = false;
        }
    }
    return ok;
}

} // namespace VadiZov::host
