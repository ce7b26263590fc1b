#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ground/bground_models.h"
#include "ground/bterrain.h"
#include "tests/support/log_capture.h"
#include "velkor/host.h"

using namespace VadiZov;

namespace {

// Heights of the sloped 2 x 2 grid, row by row: (0,0) (1,0) / (0,1) (1,1).
const std::vector<uint16_t> kSlope = {0, 100, 40, 200};
constexpr float kHeightScale = 0.5f;
constexpr float kSquareX = 2.0f;
constexpr float kSquareY = 4.0f;
const float3 kOrigin(10.0f, 20.0f, 5.0f);

TerrainConfig gridConfig(const std::vector<uint16_t>& heights, int width, int height)
{
    TerrainConfig c;
    c.heightMap = heights.data();
    c.heightMapSize = int32_t(heights.size() * 2);
    c.width = width;
    c.height = height;
    c.squareSizeX = kSquareX;
    c.squareSizeY = kSquareY;
    c.heightScale = kHeightScale;
    c.depthScale = 0.05f;
    return c;
}

// The world point at grid coordinates (u, v) of the test grids.
float3 at(float u, float v) { return float3(kOrigin.x + u * kSquareX, kOrigin.y + v * kSquareY, 0.0f); }

float3 unit(double x, double y, double z)
{
    const double l = std::sqrt(x * x + y * y + z * z);
    return float3(float(x / l), float(y / l), float(z / l));
}

void expectNear(const float3& got, const float3& want, float tolerance, const std::string& where)
{
    EXPECT_NEAR(got.x, want.x, tolerance) << where;
    EXPECT_NEAR(got.y, want.y, tolerance) << where;
    EXPECT_NEAR(got.z, want.z, tolerance) << where;
}

class Terrain : public VadiZov::testing::LogCapture {
protected:
    void loadSlope()
    {
        terrain.setTerrainData(gridConfig(kSlope, 2, 2), names);
        terrain.setOrigin(kOrigin);
    }
    void expectEmpty(const std::string& where)
    {
        // Points that would be inside a loaded grid.
        for (const float3& p : {at(0.25f, 0.75f), at(0.0f, 0.0f), at(1.5f, 1.5f)}) {
            EXPECT_EQ(terrain.getHeight(p), 0.0f) << where;
            float3 n;
            uint16_t word = 0xFFFF;
            terrain.getNormalAndGroundModel(p, n, word);
            EXPECT_EQ(n.z, 1.0f) << where;
            EXPECT_EQ(word, 0) << where;
            EXPECT_EQ(terrain.getTerrainGroundmodel(p), 0) << where;
        }
    }

    GroundModelTable names;
    TerrainBlock terrain;
};

} // namespace

// The slope rises 25 m per metre along x on the lower-right triangle (ix,iy),(ix+1,iy),(ix+1,iy+1)
// and 40 m per metre on the other; both meet on the diagonal.
TEST_F(Terrain, SlopedCellHeightsOnBothTrianglesTheDiagonalAndTheExtrapolatedEdge)
{
    loadSlope();
    struct Case {
        float u, v, height;
        const char* what;
    };
    const Case cases[] = {
        {0.75f, 0.25f, 55.0f, "lower-right triangle"},
        {0.25f, 0.75f, 40.0f, "upper-left triangle"},
        {0.5f, 0.5f, 55.0f, "diagonal"},
        {0.0f, 0.0f, 5.0f, "corner (0, 0)"},
        {0.875f, 0.0f, 48.75f, "on the edge towards corner (1, 0)"},
        {-0.5f, 0.25f, -30.0f, "half a square before the origin: extended plane"},
        {0.25f, -0.5f, 5.0f + 0.5f * (0.25f * 100.0f - 0.5f * 100.0f), "before the origin in y"},
        {-1.5f, 0.25f, 0.0f, "a square and a half before: outside"},
        {1.0f, 0.25f, 0.0f, "far border in x: outside"},
        {0.25f, 1.0f, 0.0f, "far border in y: outside"},
        {1e30f, 0.5f, 0.0f, "far away"},
        {NAN, 0.5f, 0.0f, "not a number"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(terrain.getHeight(at(c.u, c.v)), c.height) << c.what;
}

TEST_F(Terrain, SlopedCellNormalsAreTheUnitUpwardNormalsOfEachTriangle)
{
    loadSlope();
    // Lower-right plane: z rises 25 per metre in x, 12.5 in y; upper-left: 40 and 5.
    const float3 lowerRight = unit(-25.0, -12.5, 1.0);
    const float3 upperLeft = unit(-40.0, -5.0, 1.0);
    struct Case {
        float u, v;
        float3 normal;
        const char* what;
    };
    const Case cases[] = {
        {0.75f, 0.25f, lowerRight, "lower-right triangle"},
        {0.25f, 0.75f, upperLeft, "upper-left triangle"},
        {0.5f, 0.5f, upperLeft, "diagonal belongs to the upper-left triangle"},
        {-0.5f, 0.25f, upperLeft, "extended plane before the origin"},
        {0.25f, -0.5f, lowerRight, "extended plane before the origin in y"},
        {1.0f, 0.5f, float3(0.0f, 0.0f, 1.0f), "outside"},
    };
    for (const Case& c : cases) {
        float3 exact;
        uint16_t word = 0xFFFF;
        terrain.getNormalAndGroundModel(at(c.u, c.v), exact, word);
        expectNear(exact, c.normal, 1e-6f, c.what);
        EXPECT_NEAR(exact.squaredLength(), 1.0f, 1e-6f) << c.what;
        EXPECT_EQ(word, 0) << c.what;

        float3 estimated;
        terrain.getNormal(at(c.u, c.v), estimated);
        expectNear(estimated, c.normal, 1e-3f, c.what);
    }
}

TEST_F(Terrain, FlatTerrainHeightIsSamplesTimesScalePlusOriginZ)
{
    const std::vector<uint16_t> flat(9, 100);
    terrain.setTerrainData(gridConfig(flat, 3, 3), names);
    terrain.setOrigin(float3(0.0f, 0.0f, 10.0f));
    for (const float3& p : {float3(0.1f, 0.1f, 0.0f), float3(3.9f, 7.9f, 0.0f), float3(2.0f, 4.0f, 0.0f)}) {
        EXPECT_EQ(terrain.getHeight(p), 60.0f);
        float3 n;
        uint16_t word = 1;
        terrain.getNormalAndGroundModel(p, n, word);
        EXPECT_EQ(n.x, 0.0f);
        EXPECT_EQ(n.y, 0.0f);
        EXPECT_EQ(n.z, 1.0f);
    }
    EXPECT_EQ(terrain.getHeight(float3(-5.0f, 1.0f, 0.0f)), 0.0f);  // outside gives 0, not origin z

    float3 probe(1.0f, 1.0f, 60.0f);
    terrain.getTerrainNormal(probe);
    expectNear(probe, float3(0.0f, 0.0f, 1.0f), 1e-3f, "flat probe");
}

TEST_F(Terrain, ProbedNormalFollowsTheSlopeFromTheGivenHeight)
{
    loadSlope();
    // Both probe points stay on the upper-left triangle.
    float3 p = at(0.25f, 0.75f);
    p.z = terrain.getHeight(p);
    terrain.getTerrainNormal(p);
    expectNear(p, unit(-40.0, -5.0, 1.0), 2e-3f, "probe on the slope");
}

TEST_F(Terrain, GroundModelAndDepthBytePerCell)
{
    names.setGroundModel(groundModel(), "Asphalt");
    names.setGroundModel(groundModel(), "Grass");
    names.setGroundModel(groundModel(), "Mud");
    // 3 x 3 samples, 2 x 2 cells; a cell takes the word of its corner (ix, iy).
    const std::vector<uint16_t> heights(9, 0);
    const std::vector<uint8_t> layers = {1, 0, 2, 2, 3, 0, 0, 0, 0};
    const std::vector<uint8_t> depths = {255, 0, 0, 200, 55, 0, 0, 0, 0};
    TerrainConfig c = gridConfig(heights, 3, 3);
    c.layerMap = layers.data();
    c.layerMapSize = int32_t(layers.size());
    c.secondMap = depths.data();
    c.secondMapSize = int32_t(depths.size());
    const char* layerNames[] = {"grass", "MUD", "asphalt", "Sand"};
    for (int i = 0; i < 4; ++i)
        c.layerMaterialNames[i] = layerNames[i];
    c.layerCount = 4;
    c.depthScale = 0.03f;
    terrain.setTerrainData(c, names);
    terrain.setOrigin(kOrigin);

    // The unknown layer is reported and maps to model 0; the terrain still loads.
    EXPECT_EQ(logged(), std::vector<std::string>{"no ground material for layer found: Sand"});
    EXPECT_EQ(loggedLevels(), std::vector<int>{LOG_ERROR});
    EXPECT_EQ(terrainDepthScale, 0.03f);
    EXPECT_EQ(terrain.layerGroundModel(0), 1);
    EXPECT_EQ(terrain.layerGroundModel(1), 2);
    EXPECT_EQ(terrain.layerGroundModel(2), 0);
    EXPECT_EQ(terrain.layerGroundModel(3), 0);

    struct Case {
        float u, v;
        int model, depthByte;
    };
    const Case cases[] = {
        {0.3f, 0.6f, 2, 0},   // layer 1 "MUD", depth 255 -> own depth of the model
        {1.6f, 0.3f, 1, 255}, // layer 0 "grass", depth 0 -> deepest
        {0.6f, 1.3f, 0, 55},  // layer 2 "asphalt", depth 200
        {1.5f, 1.5f, 0, 200}, // layer 3 unknown -> model 0, depth 55
    };
    for (const Case& k : cases) {
        const std::string where = "cell at " + std::to_string(k.u) + ", " + std::to_string(k.v);
        const uint16_t want = uint16_t(k.model | (k.depthByte << 8));
        float3 n;
        uint16_t word = 0;
        terrain.getNormalAndGroundModel(at(k.u, k.v), n, word);
        EXPECT_EQ(word, want) << where;
        EXPECT_EQ(terrain.getTerrainGroundmodel(at(k.u, k.v)), k.model) << where;
        word = 0;
        EXPECT_EQ(terrain.getTerrainHeightAndGroundmodel(at(k.u, k.v), word), 5.0f) << where;
        EXPECT_EQ(word, want) << where;
    }
    uint16_t word = 0xFFFF;
    EXPECT_EQ(terrain.getTerrainHeightAndGroundmodel(at(2.0f, 0.5f), word), 0.0f);
    EXPECT_EQ(word, 0);
}

TEST_F(Terrain, WithoutALayerMapEveryWordIsZeroAndTheDepthMapIsIgnored)
{
    names.setGroundModel(groundModel(), "Grass");
    const std::vector<uint8_t> depths = {0, 0, 0, 0};
    TerrainConfig c = gridConfig(kSlope, 2, 2);
    c.secondMap = depths.data();
    c.secondMapSize = 4;
    c.layerMaterialNames[0] = "grass";
    c.layerCount = 1;
    terrain.setTerrainData(c, names);
    terrain.setOrigin(kOrigin);
    float3 n;
    uint16_t word = 0xFFFF;
    terrain.getNormalAndGroundModel(at(0.5f, 0.25f), n, word);
    EXPECT_EQ(word, 0);
    EXPECT_EQ(terrain.getHeight(at(0.75f, 0.25f)), 55.0f);
    EXPECT_TRUE(logged().empty());
}

TEST_F(Terrain, RecordsFailingACheckAreReportedAndLeaveNoTerrain)
{
    const std::vector<uint8_t> four(4, 0);
    const std::vector<uint8_t> three(3, 0);
    struct Case {
        const char* what;
        void (*spoil)(TerrainConfig&, const std::vector<uint8_t>&, const std::vector<uint8_t>&);
        const char* message;
    };
    const Case cases[] = {
        {"height map one sample short",
         [](TerrainConfig& c, const auto&, const auto&) { c.heightMapSize = 6; },
         "strange terrain config: sent height map data is sized incorrectly."},
        {"height map sized for another width",
         [](TerrainConfig& c, const auto&, const auto&) { c.width = 3; },
         "strange terrain config: sent height map data is sized incorrectly."},
        {"negative sizes whose product would match",
         [](TerrainConfig& c, const auto&, const auto&) { c.width = -2; c.height = -2; },
         "strange terrain config: sent height map data is sized incorrectly."},
        {"sizes whose 32-bit product wraps to the sent size",
         [](TerrainConfig& c, const auto&, const auto&) {
             c.width = 65536;
             c.height = 32768;
             c.heightMapSize = 0;
         },
         "strange terrain config: sent height map data is sized incorrectly."},
        {"layer map of the wrong size",
         [](TerrainConfig& c, const auto&, const auto& bad) { c.layerMap = bad.data(); c.layerMapSize = 3; },
         "wrong layer map data size"},
        {"depth map of the wrong size",
         [](TerrainConfig& c, const auto& good, const auto& bad) {
             c.layerMap = good.data();
             c.layerMapSize = 4;
             c.secondMap = bad.data();
             c.secondMapSize = 3;
         },
         "wrong layer map data size"},
    };
    for (const Case& k : cases) {
        resetLogStateForTests();
        sink.lines.clear();
        terrainDepthScale = 0.02f;
        loadSlope();
        ASSERT_EQ(terrain.getHeight(at(0.75f, 0.25f)), 55.0f);

        TerrainConfig c = gridConfig(kSlope, 2, 2);
        c.depthScale = 0.07f;
        k.spoil(c, four, three);
        terrain.setTerrainData(c, names);
        terrain.setOrigin(kOrigin);
        EXPECT_EQ(logged(), std::vector<std::string>{k.message}) << k.what;
        EXPECT_EQ(loggedLevels(), std::vector<int>{LOG_ERROR}) << k.what;
        EXPECT_EQ(terrainDepthScale, 0.07f) << k.what;  // taken before any check
        EXPECT_FALSE(terrain.hasSamples()) << k.what;
        expectEmpty(k.what);
    }
}

// The engine's terrain has no ground while a record has no samples or no whole cell; nothing is
// logged and no sample is read.
TEST_F(Terrain, RecordsWithoutACellLeaveAnEmptyTerrainSilently)
{
    const std::vector<uint16_t> one(1, 100);
    const std::vector<uint16_t> row(5, 100);
    const std::vector<uint16_t> none;
    struct Case {
        const char* what;
        TerrainConfig config;
    };
    TerrainConfig noHeights = gridConfig(kSlope, 2, 2);
    noHeights.heightMap = nullptr;
    noHeights.heightMapSize = 0;
    const Case cases[] = {
        {"one sample", gridConfig(one, 1, 1)},
        {"one row", gridConfig(row, 5, 1)},
        {"one column", gridConfig(row, 1, 5)},
        {"no samples at all", gridConfig(none, 0, 0)},
        {"no height map", noHeights},
    };
    for (const Case& k : cases) {
        resetLogStateForTests();
        sink.lines.clear();
        terrain.setTerrainData(k.config, names);
        terrain.setOrigin(kOrigin);
        EXPECT_TRUE(logged().empty()) << k.what;
        expectEmpty(k.what);
        EXPECT_EQ(terrain.getHeight(at(0.1f, 0.1f)), 0.0f) << k.what;
    }
}

#if !defined(__SANITIZE_ADDRESS__)
// Under the address sanitizer an impossible allocation aborts instead of failing.
TEST_F(Terrain, AnImpossibleCellBufferIsReportedAsMemoryFull)
{
    TerrainConfig c = gridConfig(kSlope, 2, 2);
    c.heightMap = nullptr;
    c.heightMapSize = 0;
    c.width = 0x7FFFFFFF;
    c.height = 0x7FFFFFFF;
    terrain.setTerrainData(c, names);
    EXPECT_EQ(logged(), std::vector<std::string>{"failed to allocate layer map buffer: memory full?"});
    expectEmpty("memory full");
}
#endif

TEST_F(Terrain, LayerNamesAreReadFromTheRecordsThirtyTwoSlotsAtMost)
{
    std::vector<std::string> layerNames;
    TerrainConfig c = gridConfig(kSlope, 2, 2);
    for (int i = 0; i < 32; ++i)
        layerNames.push_back("layer" + std::to_string(i));
    for (int i = 0; i < 32; ++i)
        c.layerMaterialNames[i] = layerNames[size_t(i)].c_str();
    c.layerCount = 40;
    terrain.setTerrainData(c, names);
    const std::vector<std::string> lines = logged();
    ASSERT_EQ(lines.size(), 32u);
    EXPECT_EQ(lines.front(), "no ground material for layer found: layer0");
    EXPECT_EQ(lines.back(), "no ground material for layer found: layer31");

    // A null name ends the list before the count does.
    resetLogStateForTests();
    sink.lines.clear();
    c.layerMaterialNames[2] = nullptr;
    terrain.setTerrainData(c, names);
    EXPECT_EQ(logged().size(), 2u);
}

TEST_F(Terrain, ReloadAndClearWorkInPlaceAndStartFromANewBlock)
{
    names.setGroundModel(groundModel(), "Grass");
    names.setGroundModel(groundModel(), "Mud");
    const TerrainBlock* const address = &terrain;
    const std::vector<uint8_t> layers = {0, 0, 0, 0};
    TerrainConfig first = gridConfig(kSlope, 2, 2);
    first.layerMap = layers.data();
    first.layerMapSize = 4;
    first.layerMaterialNames[0] = "mud";
    first.layerCount = 1;
    terrain.setTerrainData(first, names);
    terrain.setOrigin(float3(100.0f, 0.0f, 0.0f));
    EXPECT_EQ(terrain.getTerrainGroundmodel(float3(101.0f, 1.0f, 0.0f)), 1);

    // A second record replaces everything, the origin included.
    const std::vector<uint16_t> flat(4, 10);
    terrain.setTerrainData(gridConfig(flat, 2, 2), names);
    EXPECT_EQ(&terrain, address);
    EXPECT_EQ(terrain.origin().x, 0.0f);
    EXPECT_EQ(terrain.layerGroundModel(0), 0);
    EXPECT_EQ(terrain.getHeight(float3(1.0f, 1.0f, 0.0f)), 5.0f);
    EXPECT_EQ(terrain.getHeight(float3(101.0f, 1.0f, 0.0f)), 0.0f);

    terrain.setOrigin(float3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(terrain.getHeight(float3(2.0f, 3.0f, 0.0f)), 8.0f);
    terrain.clear();
    EXPECT_FALSE(terrain.hasSamples());
    EXPECT_EQ(terrain.origin().z, 0.0f);
    EXPECT_EQ(terrain.getHeight(float3(0.5f, 0.5f, 0.0f)), 0.0f);
}
