// The reference host's ground files: the 16-bit PGM height map with the record made from it, and
// the static triangle list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host_static_file.h"
#include "host/host_terrain_file.h"

using namespace VadiZov;
using namespace VadiZov::host;

namespace {

std::string pgm(const std::string& header, const std::vector<uint16_t>& samples)
{
    std::string bytes = header;
    for (uint16_t s : samples) {
        bytes.push_back(char(s >> 8));
        bytes.push_back(char(s & 0xFF));
    }
    return bytes;
}

TEST(PgmHeightMap, SamplesAreBigEndianInFileOrder)
{
    HeightMap map;
    std::string error;
    ASSERT_TRUE(parsePgmHeightMap(pgm("P5\n# a slope\n3 2\n65535\n", {0, 1, 0x1234, 0xFFFF, 0x0100, 7}), &map,
                                  &error))
        << error;
    EXPECT_EQ(map.width, 3);
    EXPECT_EQ(map.height, 2);
    EXPECT_EQ(map.samples, (std::vector<uint16_t>{0, 1, 0x1234, 0xFFFF, 0x0100, 7}));

    // The one whitespace after maxval may be a blank; the sample data may begin with a byte that
    // looks like whitespace.
    ASSERT_TRUE(parsePgmHeightMap(pgm("P5 2 2 65535 ", {0x0A0A, 0x2020, 1, 2}), &map, &error)) << error;
    EXPECT_EQ(map.samples, (std::vector<uint16_t>{0x0A0A, 0x2020, 1, 2}));

    const TerrainConfig config = terrainConfigFor(map, 2.5f, 0.004f);
    EXPECT_EQ(config.heightMap, map.samples.data());
    EXPECT_EQ(config.heightMapSize, 8);
    EXPECT_EQ(config.width, 2);
    EXPECT_EQ(config.height, 2);
    EXPECT_EQ(config.squareSizeX, 2.5f);
    EXPECT_EQ(config.squareSizeY, 2.5f);
    EXPECT_EQ(config.heightScale, 0.004f);
    EXPECT_EQ(config.layerMap, nullptr);
    EXPECT_EQ(config.layerCount, 0);
}

TEST(PgmHeightMap, RejectsWhatIsNotASixteenBitBinaryPgm)
{
    struct Case {
        const char* what;
        std::string bytes;
        const char* reason;
    } const cases[] = {
        {"text PGM", "P2\n2 2\n65535\n0 0 0 0\n", "P5"},
        {"8-bit samples", pgm("P5\n2 2\n255\n", {0, 0}), "maxval must be 65535"},
        {"short data", pgm("P5\n2 2\n65535\n", {1, 2, 3}), "too short"},
        {"no maxval", "P5\n2 2\n", "width, height and maxval"},
        {"zero width", pgm("P5\n0 2\n65535\n", {}), "0 x 2 samples has no cell"},
        {"one row", pgm("P5\n50 1\n65535\n", std::vector<uint16_t>(50, 7)), "50 x 1 samples has no cell"},
        {"one column", pgm("P5\n1 50\n65535\n", std::vector<uint16_t>(50, 7)), "1 x 50 samples has no cell"},
        {"too wide", pgm("P5\n65536 2\n65535\n", {}), "out of range"},
        {"no whitespace after the header", "P5\n2 2\n65535", "whitespace"},
        {"empty", "", "P5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HeightMap map;
        std::string error;
        EXPECT_FALSE(parsePgmHeightMap(c.bytes, &map, &error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

// The host announces the terrain's size: its far corner and top must be finite metres.
TEST(PgmHeightMap, ScalesThatOverflowAreRefused)
{
    HeightMap map;
    map.width = 3;
    map.height = 2;
    const struct {
        float square, heightScale;
        bool fits;
    } cases[] = {
        {1.0f, 0.001f, true}, {1e30f, 1e30f, true}, {1.0f, 3e38f, false}, {3e38f, 1.0f, false},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(checkTerrainScale(map, c.square, c.heightScale, &error), c.fits) << c.square << " " << c.heightScale;
        EXPECT_EQ(error.empty(), c.fits) << error;
    }
}

TEST(StaticTriangleFile, NineNumbersPerLine)
{
    std::vector<HostTriangle> triangles;
    std::string error;
    ASSERT_TRUE(parseStaticTriangles("# a ramp\n"
                                     "0 0 0  10 0 0  0 10 1.5\n"
                                     "\n"
                                     "   -1e1 2 3 4 5 6 7 8 9   \n",
                                     &triangles, &error))
        << error;
    ASSERT_EQ(triangles.size(), 2u);
    EXPECT_EQ(triangles[0].b.x, 10.0f);
    EXPECT_EQ(triangles[0].c.z, 1.5f);
    EXPECT_EQ(triangles[1].a.x, -10.0f);
    EXPECT_EQ(triangles[1].c.z, 9.0f);

    struct Case {
        const char* text;
        const char* line;
    } const bad[] = {
        {"1 2 3 4 5 6 7 8\n", "line 1"},
        {"0 0 0 0 0 0 0 0 0\n1 2 3 4 5 6 7 8 9 10\n", "line 2"},
        {"1 2 3 4 5 6 7 8 x\n", "line 1"},
        {"1 2 3 4 5 6 7 8 nan\n", "line 1"},
        {"1,2,3,4,5,6,7,8,9\n", "line 1"},
    };
    for (const Case& c : bad) {
        SCOPED_TRACE(c.text);
        std::vector<HostTriangle> kept{{}};
        EXPECT_FALSE(parseStaticTriangles(c.text, &kept, &error));
        EXPECT_EQ(error.rfind(c.line, 0), 0u) << error;
        EXPECT_EQ(kept.size(), 1u);  // nothing replaced on failure
    }
}

} // namespace
