#include "host/host_summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace VadiZov::host {

namespace {

// Into the caller's buffer, which the host keeps on its stack: it reads two texts every frame.
void readStatusText(BeamEngine& engine, int type, char (&text)[256])
{
    std::memset(text, 0, sizeof text);
    if (engine.getStatusText(type, text, int(sizeof text) - 1, nullptr) < 0)
        std::snprintf(text, sizeof text, "(too long)");
}

std::string statusText(BeamEngine& engine, int type)
{
    char text[256];
    readStatusText(engine, type, text);
    return text;
}

// The frame's substeps are the number before " steps" at the end of status text 1.
long framesSubsteps(std::string_view status)
{
    const size_t end = status.rfind(" steps");
    if (end == std::string_view::npos)
        return 0;
    size_t start = end == 0 ? std::string_view::npos : status.rfind(' ', end - 1);
    start = start == std::string_view::npos ? 0 : start + 1;
    char number[32] = {};
    status.substr(start, std::min(end - start, sizeof number - 1)).copy(number, sizeof number - 1);
    return std::strtol(number, nullptr, 10);
}

// The number after `label` in a status text (status 3 gives "bodies: N "); -1 when the label
// or the number is missing, so a changed text counts as unknown rather than as none.
long numberAfter(const char* status, const char* label)
{
    const char* at = std::strstr(status, label);
    if (at == nullptr)
        return -1;
    const char* start = at + std::strlen(label);
    char* end = nullptr;
    const long value = std::strtol(start, &end, 10);
    return end == start ? -1 : value;
}

} // namespace

void RunSummary::afterFrame(BeamEngine& engine)
{
    ++frames_;
    // Status text 1 keeps the last stepped frame's count: a paused engine or one without
    // objects (a script deleted them) stepped nothing this frame.
    if (!engine.getEnabled())
        return;
    char text[256];
    readStatusText(engine, 3, text);
    if (numberAfter(text, "bodies:") == 0)
        return;
    readStatusText(engine, 1, text);
    substeps_ += framesSubsteps(text);
}

void RunSummary::askScript(BeamObject* object)
{
    if (object)
        scriptResult_ = object->queueLuaCommand("if type(summary) == 'function' then return summary() end", true);
}

void RunSummary::print(std::FILE* out, BeamEngine& engine, BeamObject* object, const float3* hostPosition,
                       int deletedAtFrame) const
{
    std::fprintf(out, "summary: frames %d\n", frames_);
    std::fprintf(out, "summary: substeps %lld (%.4f s simulated)\n", substeps_, simulatedSeconds());
    std::fprintf(out, "summary: status 1: %s\n", statusText(engine, 1).c_str());
    std::fprintf(out, "summary: status 3: %s\n", statusText(engine, 3).c_str());
    if (deletedAtFrame > 0)
        std::fprintf(out, "summary: object deleted at frame %d\n", deletedAtFrame);
    // The library hands the host its object's reference node position every frame; a body that
    // blew up has no position to print.
    Vector3 reference[2] = {};
    if (object && hostPosition && object->getReferencePositions(reference) == 2 &&
        !(std::isfinite(reference[0].x) && std::isfinite(reference[0].y) && std::isfinite(reference[0].z)))
        std::fprintf(out, "summary: reference node world position not finite\n");
    else if (object && hostPosition)
        std::fprintf(out, "summary: reference node world position %.4f %.4f %.4f\n", double(hostPosition->x),
                     double(hostPosition->y), double(hostPosition->z));
    const char* report = object && scriptResult_ >= 0 ? object->getLuaResult(scriptResult_) : nullptr;
    for (const char* line = report; line && *line;) {
        const char* end = std::strchr(line, '\n');
        const size_t length = end ? size_t(end - line) : std::strlen(line);
        std::fprintf(out, "summary: %.*s\n", int(length), line);
        line = end ? end + 1 : line + length;
    }
}

} // namespace VadiZov::host
