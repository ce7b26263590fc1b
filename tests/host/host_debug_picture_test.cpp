// The host's debug picture: a small captured scene drawn to SVG (element counts and colours) and
// PNG (size and pixels), the legend scripts read back, and velkor-host run with the options.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "object/bobject_debug_drawer.h"
#include "host/host_debug_picture.h"

namespace fs = std::filesystem;
using namespace VadiZov;
using namespace VadiZov::host;

namespace {

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

size_t countOf(const std::string& text, const std::string& fragment)
{
    size_t n = 0;
    for (size_t at = text.find(fragment); at != std::string::npos; at = text.find(fragment, at + 1))
        ++n;
    return n;
}

class DebugPicture : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("velkor-debug-picture-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    void line(float3 a, float3 b, color c)
    {
        capture.linePoints.insert(capture.linePoints.end(), {a, b});
        capture.lineColors.insert(capture.lineColors.end(), {c, c});
    }
    void triangle(float3 a, float3 b, float3 c, color colour)
    {
        capture.trianglePoints.insert(capture.trianglePoints.end(), {a, b, c});
        capture.triangleColors.insert(capture.triangleColors.end(), 3, colour);
    }

    // Packed ARGB of the pixel, alpha premultiplied as cairo keeps it.
    static uint32_t pixel(cairo_surface_t* image, int x, int y)
    {
        const unsigned char* data = cairo_image_surface_get_data(image);
        const int stride = cairo_image_surface_get_stride(image);
        return *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
    }

    fs::path dir;
    HostDebugCapture capture;
};

TEST_F(DebugPicture, SvgHoldsOneElementPerPrimitiveInItsColour)
{
    line(float3(0, 0, 0), float3(10, 0, 0), color{0, 255, 0, 255});
    line(float3(0, 0, 0), float3(0, 10, 0), color{0, 255, 0, 255});
    line(float3(0, 10, 0), float3(10, 10, 0), color{0, 255, 0, 128});
    triangle(float3(1, 1, 0), float3(4, 1, 0), float3(1, 4, 0), color{0, 0, 255, 255});
    capture.spheres.push_back({1.0f, float3(5, 5, 0), color{255, 0, 0, 255}});
    capture.beams.push_back({float3(2, 8, 0), float3(8, 8, 0), 0.2f, color{255, 255, 0, 255}});
    capture.texts.push_back({float3(3, 3, 0), color{255, 255, 255, 255}, "ab"});
    capture.texts.push_back({float3(6, 3, 0), color{255, 255, 255, 255}, "c"});
    const std::vector<LegendEntry> legend = {{7, "grass", color{255, 0, 255, 180}}};

    const fs::path file = dir / "scene.svg";
    std::string error;
    ASSERT_TRUE(writeDebugPicture(capture, legend, DebugView::top, PictureFormat::svg, file.string(), &error)) << error;
    const std::string svg = readFile(file);
    ASSERT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("width=\"800pt\""), std::string::npos);
    EXPECT_EQ(countOf(svg, "stroke:rgb(0%,100%,0%)"), 3u);
    EXPECT_EQ(countOf(svg, "stroke:rgb(0%,100%,0%);stroke-opacity:0.50"), 1u);
    EXPECT_EQ(countOf(svg, "fill:rgb(0%,0%,100%)"), 1u);
    EXPECT_EQ(countOf(svg, "stroke:rgb(100%,0%,0%)"), 1u);     // the sphere's circle
    EXPECT_EQ(countOf(svg, "stroke:rgb(100%,100%,0%)"), 1u);   // the 3-D beam
    EXPECT_EQ(countOf(svg, "fill:rgb(100%,0%,100%)"), 1u);     // the legend's swatch
    EXPECT_EQ(countOf(svg, "<use xlink:href=\"#glyph"), 3u + std::string("7 grass").size());  // a glyph a character
}

TEST_F(DebugPicture, PngHasThePicturesSizeAndTheSceneWhereTheViewPutsIt)
{
    // A red triangle seen from above; a thick vertical white beam seen from the side.
    triangle(float3(-10, -10, 0), float3(10, -10, 0), float3(0, 10, 0), color{255, 0, 0, 255});
    capture.beams.push_back({float3(0, 0, -10), float3(0, 0, 10), 0.5f, color{255, 255, 255, 255}});

    const struct {
        DebugView view;
        int x, y;
        uint32_t expected;
    } probes[] = {
        {DebugView::top, 400, 450, 0xFFFF0000u},   // inside the triangle
        {DebugView::top, 5, 595, 0xFF181818u},     // background
        {DebugView::side, 400, 100, 0xFFFFFFFFu},  // the vertical line, seen from the side
        {DebugView::side, 200, 100, 0xFF181818u},
    };
    for (const auto& p : probes) {
        const fs::path file = dir / (p.view == DebugView::top ? "top.png" : "side.png");
        std::string error;
        ASSERT_TRUE(writeDebugPicture(capture, {}, p.view, PictureFormat::png, file.string(), &error)) << error;
        cairo_surface_t* image = cairo_image_surface_create_from_png(file.c_str());
        ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
        EXPECT_EQ(cairo_image_surface_get_width(image), 800);
        EXPECT_EQ(cairo_image_surface_get_height(image), 600);
        EXPECT_EQ(pixel(image, p.x, p.y), p.expected) << p.x << "," << p.y << std::hex << " got " << pixel(image, p.x, p.y);
        cairo_surface_destroy(image);
    }
}

TEST_F(DebugPicture, UnwritablePathIsReported)
{
    std::string error;
    EXPECT_FALSE(writeDebugPicture(capture, {}, DebugView::top, PictureFormat::png, (dir / "no/such/x.png").string(),
                                   &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
}

TEST(DebugLegend, ScriptsFromTheLibraryReadBackWithTheirNames)
{
    const char* names[] = {"asphalt", "", "mud's \\edge", "a\nb", "');alert(1);('"};
    for (const char* name : names) {
        LegendEntry e;
        ASSERT_TRUE(parseLegendScript(groundModelLegendScript(11, name), &e)) << name;
        EXPECT_EQ(e.name, name);
        EXPECT_EQ(e.id, 11);
        EXPECT_EQ(e.colour.r, 255);
        EXPECT_EQ(e.colour.g, 0);
        EXPECT_EQ(e.colour.a, 180);
    }
    LegendEntry e;
    EXPECT_FALSE(parseLegendScript("alert(1);", &e));
    EXPECT_FALSE(parseLegendScript("updateGroundModelDebug({'name':'unterminated", &e));
    EXPECT_FALSE(parseLegendScript("updateGroundModelDebug({'name':'x','color':{'r':1},'id':2,});", &e));
}

class HostDebugRun : public DebugPicture {
protected:
    int run(const std::string& args)
    {
        const std::string command = std::string(VELKOR_HOST_PATH) + " " + args + " >" + (dir / "out.txt").string() +
                                    " 2>" + (dir / "err.txt").string();
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(HostDebugRun, DemoBoxIsDrawnWithItsBeamsAndNodeNumbers)
{
    const std::string demo = std::string(VELKOR_EXAMPLES_DIR) + "/box";
    const fs::path svg = dir / "box.svg", png = dir / "box.png";
    ASSERT_EQ(run("--frames 3 --object vehicles/box --at 0,0,2 --debug-svg " + svg.string() + " --debug-png " +
                  png.string() + " --debug-view side " + demo),
              0)
        << readFile(dir / "err.txt");
    EXPECT_NE(readFile(dir / "out.txt").find("debug render: 28 lines, 0 triangles, 8 texts"), std::string::npos)
        << readFile(dir / "out.txt");
    EXPECT_EQ(countOf(readFile(svg), "stroke:rgb(0%,100%,0%)"), 28u);
    EXPECT_TRUE(fs::file_size(png) > 0);
}

TEST_F(HostDebugRun, BadDebugOptionsPrintUsageAndExit2)
{
    const std::string data = std::string(VELKOR_EXAMPLES_DIR) + "/demo";
    const std::string cases[] = {"--debug-view top " + data, "--debug-svg x.svg --debug-view front " + data,
                                 "--debug-png " + data, "--debug-svg \"\" " + data};
    for (const std::string& args : cases) {
        EXPECT_EQ(run(args), 2) << args;
        EXPECT_NE(readFile(dir / "err.txt").find("usage: velkor-host"), std::string::npos) << args;
    }
}

} // namespace
