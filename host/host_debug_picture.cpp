#include "host/host_debug_picture.h"

#include <cairo-svg.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "host/host_output_file.h"

namespace VadiZov::host {

namespace {

constexpr double kMargin = 30.0;
constexpr double kLineWidth = 1.5;
constexpr double kFontSize = 11.0;
constexpr double kMinimumExtent = 1.0;  // metres shown at least, so a single point is not magnified forever
constexpr double kBackground = 24.0 / 255.0;

struct Bounds {
    double minU = std::numeric_limits<double>::infinity(), minV = minU;
    double maxU = -std::numeric_limits<double>::infinity(), maxV = maxU;
    void add(double u, double v, double r = 0.0)
    {
        if (!std::isfinite(u) || !std::isfinite(v) || !std::isfinite(r))
            return;
        minU = std::min(minU, u - r);
        maxU = std::max(maxU, u + r);
        minV = std::min(minV, v - r);
        maxV = std::max(maxV, v + r);
    }
    bool empty() const { return !(minU <= maxU); }
};

// World to picture: the view's two axes, fitted into the picture with equal scale.
class Projection {
public:
    Projection(const HostDebugCapture& c, DebugView view) : view_(view)
    {
        Bounds b;
        for (const float3& p : c.linePoints)
            b.add(u(p), v(p));
        for (const float3& p : c.trianglePoints)
            b.add(u(p), v(p));
        for (const CapturedText& t : c.texts)
            b.add(u(t.position), v(t.position));
        for (const CapturedSphere& s : c.spheres)
            b.add(u(s.centre), v(s.centre), s.radius);
        for (const CapturedBeam& beam : c.beams) {
            b.add(u(beam.first), v(beam.first), beam.radius);
            b.add(u(beam.second), v(beam.second), beam.radius);
        }
        if (b.empty())
            b.add(0.0, 0.0);
        const double extentU = std::max(b.maxU - b.minU, kMinimumExtent);
        const double extentV = std::max(b.maxV - b.minV, kMinimumExtent);
        scale_ = std::min((kPictureWidth - 2 * kMargin) / extentU, (kPictureHeight - 2 * kMargin) / extentV);
        centreU_ = 0.5 * (b.minU + b.maxU);
        centreV_ = 0.5 * (b.minV + b.maxV);
    }

    double x(const float3& p) const { return kPictureWidth * 0.5 + (u(p) - centreU_) * scale_; }
    double y(const float3& p) const { return kPictureHeight * 0.5 - (v(p) - centreV_) * scale_; }
    double length(double metres) const { return metres * scale_; }

private:
    double u(const float3& p) const { return p.x; }
    double v(const float3& p) const { return view_ == DebugView::top ? p.y : p.z; }

    DebugView view_;
    double scale_ = 1.0, centreU_ = 0.0, centreV_ = 0.0;
};

void setColour(cairo_t* cr, const color& c)
{
    cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
}

bool finite(const float3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

void drawTriangles(cairo_t* cr, const HostDebugCapture& c, const Projection& pr)
{
    for (size_t i = 0; i + 2 < c.trianglePoints.size(); i += 3) {
        const float3* t = &c.trianglePoints[i];
        if (!finite(t[0]) || !finite(t[1]) || !finite(t[2]))
            continue;
        cairo_move_to(cr, pr.x(t[0]), pr.y(t[0]));
        cairo_line_to(cr, pr.x(t[1]), pr.y(t[1]));
        cairo_line_to(cr, pr.x(t[2]), pr.y(t[2]));
        cairo_close_path(cr);
        setColour(cr, c.triangleColors[i]);
        cairo_fill(cr);
    }
}

void drawSegment(cairo_t* cr, const Projection& pr, const float3& a, const float3& b, const color& colour, double width)
{
    if (!finite(a) || !finite(b))
        return;
    cairo_move_to(cr, pr.x(a), pr.y(a));
    cairo_line_to(cr, pr.x(b), pr.y(b));
    cairo_set_line_width(cr, width);
    setColour(cr, colour);
    cairo_stroke(cr);
}

void drawLines(cairo_t* cr, const HostDebugCapture& c, const Projection& pr)
{
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (size_t i = 0; i + 1 < c.linePoints.size(); i += 2)
        drawSegment(cr, pr, c.linePoints[i], c.linePoints[i + 1], c.lineColors[i], kLineWidth);
    for (const CapturedBeam& b : c.beams)
        drawSegment(cr, pr, b.first, b.second, b.colour, std::max(kLineWidth, pr.length(2.0 * b.radius)));
}

void drawSpheres(cairo_t* cr, const HostDebugCapture& c, const Projection& pr)
{
    for (const CapturedSphere& s : c.spheres) {
        if (!finite(s.centre) || !std::isfinite(s.radius))
            continue;
        cairo_new_sub_path(cr);
        cairo_arc(cr, pr.x(s.centre), pr.y(s.centre), std::max(2.0, pr.length(std::fabs(s.radius))), 0.0, 2 * M_PI);
        cairo_set_line_width(cr, kLineWidth);
        setColour(cr, s.colour);
        cairo_stroke(cr);
    }
}

void drawTexts(cairo_t* cr, const HostDebugCapture& c, const Projection& pr)
{
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kFontSize);
    for (const CapturedText& t : c.texts) {
        if (!finite(t.position))
            continue;
        cairo_move_to(cr, pr.x(t.position) + 3.0, pr.y(t.position) - 3.0);
        setColour(cr, t.colour);
        cairo_show_text(cr, t.text.c_str());
        cairo_new_path(cr);
    }
}

void drawLegend(cairo_t* cr, const std::vector<LegendEntry>& legend)
{
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kFontSize);
    double y = 10.0;
    for (const LegendEntry& e : legend) {
        cairo_rectangle(cr, 10.0, y, 12.0, 12.0);
        setColour(cr, color{e.colour.r, e.colour.g, e.colour.b, 255});
        cairo_fill(cr);
        char label[300];
        std::snprintf(label, sizeof label, "%d %s", e.id, e.name.empty() ? "(unnamed)" : e.name.c_str());
        cairo_move_to(cr, 28.0, y + 10.0);
        cairo_set_source_rgb(cr, 0.9, 0.9, 0.9);
        cairo_show_text(cr, label);
        cairo_new_path(cr);
        y += 16.0;
    }
}

void drawScene(cairo_t* cr, const HostDebugCapture& capture, const std::vector<LegendEntry>& legend, DebugView view)
{
    cairo_set_source_rgb(cr, kBackground, kBackground, kBackground);
    cairo_paint(cr);
    const Projection projection(capture, view);
    drawTriangles(cr, capture, projection);
    drawLines(cr, capture, projection);
    drawSpheres(cr, capture, projection);
    drawTexts(cr, capture, projection);
    drawLegend(cr, legend);
}

// The text of a single-quoted JavaScript string starting at `p`, unescaped; `p` ends after it.
bool readQuoted(const char*& p, std::string* out)
{
    out->clear();
    for (; *p; ++p) {
        if (*p == '\'') {
            ++p;
            return true;
        }
        if (*p != '\\') {
            *out += *p;
            continue;
        }
        ++p;
        switch (*p) {
        case 'n': *out += '\n'; break;
        case 'r': *out += '\r'; break;
        case 't': *out += '\t'; break;
        case 'x': {
            unsigned value = 0;
            if (std::sscanf(p + 1, "%2x", &value) != 1)
                return false;
            *out += char(value);
            p += 2;
            break;
        }
        case 'u': *out += '?'; p += 4; break;  // only line separators are written this way
        case '\0': return false;
        default: *out += *p; break;
        }
        if (!*p)
            return false;
    }
    return false;
}

// cairo's output goes through the host's own file, which keeps the cause of a failed write.
cairo_status_t writeToFile(void* file, const unsigned char* data, unsigned int length)
{
    return static_cast<OutputFile*>(file)->write(data, length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

} // namespace

// The legend line of src/debug/bdebug_terrain_view.cpp read back, on purpose: it is all the host gets.
bool parseLegendScript(const std::string& script, LegendEntry* entry)
{
    static const char kStart[] = "updateGroundModelDebug({'name':'";
    if (script.compare(0, sizeof kStart - 1, kStart) != 0)
        return false;
    const char* p = script.c_str() + sizeof kStart - 1;
    LegendEntry e;
    if (!readQuoted(p, &e.name))
        return false;
    int r = 0, g = 0, b = 0, a = 0, id = 0, used = 0;
    if (std::sscanf(p, ",'color':{'r':%d,'g':%d,'b':%d,'a':%d},'id':%d,});%n", &r, &g, &b, &a, &id, &used) != 5 ||
        used == 0)
        return false;
    e.colour = color{uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a)};
    e.id = id;
    *entry = e;
    return true;
}

bool writeDebugPicture(const HostDebugCapture& capture, const std::vector<LegendEntry>& legend, DebugView view,
                       PictureFormat format, const std::string& path, std::string* error)
{
    OutputFile file;
    if (!file.open(path, error))
        return false;
    cairo_surface_t* surface =
        format == PictureFormat::svg
            ? cairo_svg_surface_create_for_stream(&writeToFile, &file, kPictureWidth, kPictureHeight)
            : cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kPictureWidth, kPictureHeight);
    cairo_t* cr = cairo_create(surface);
    drawScene(cr, capture, legend, view);
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    if (status == CAIRO_STATUS_SUCCESS && format == PictureFormat::png)
        status = cairo_surface_write_to_png_stream(surface, &writeToFile, &file);
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS)
        status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    // Nothing of cairo is alive now: give back its and fontconfig's caches, which would
    // otherwise stay until the process ends and show up as leaks.
    cairo_debug_reset_static_data();
    FcFini();
    // cairo knows only that a write failed; the file knows why.
    std::string closeError;
    const bool closed = file.close(&closeError);
    if (!closed && (status == CAIRO_STATUS_SUCCESS || status == CAIRO_STATUS_WRITE_ERROR)) {
        *error = closeError;
        return false;
    }
    if (status != CAIRO_STATUS_SUCCESS) {
        *error = "cannot write " + path + ": " + cairo_status_to_string(status);
        return false;
    }
    return true;
}

} // namespace VadiZov::host
