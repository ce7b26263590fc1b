// A collector rendered into a recording host: the order and content of the host calls, the
// static-collision view with its selection and per-pass caps, the terrain ground-model view with
// its legend, and the bound on the terrain grid while the collector is disabled.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "object/bobject_debug_drawer.h"
#include "ground/bground_models.h"
#include "ground/bstatic_collider.h"
#include "ground/bterrain.h"
#include "object/bobject.h"
#include "tests/support/recording_debug_draw.h"
#include "tests/support/recording_host.h"

using namespace VadiZov;
using VadiZov::testing::RecordingDebugDraw;
using VadiZov::testing::sameColor;

namespace {

constexpr color kWhite{255, 255, 255, 255};

class LegendRecorder final : public VadiZov::testing::NullGameEngine {
public:
    void executeJS(const char* script, int value) override
    {
        scripts.push_back(script);
        values.push_back(value);
    }
    std::vector<std::string> scripts;
    std::vector<int> values;
};

class Render : public ::testing::Test {
protected:
    void SetUp() override
    {
        object = std::make_unique<BeamObjectImpl>();
        drawer = object->ownDebugDrawer();
        world.collider = &collider;
        world.gameEngine = &legend;
        world.groundModels = &models;
    }

    // A horizontal triangle whose centroid is `centroid`, wound so its normal is -z.
    void addFlatTriangle(const float3& centroid)
    {
        collider.addTriangle(centroid + float3(-1.0f, -1.0f, 0.0f), centroid + float3(2.0f, -1.0f, 0.0f),
                             centroid + float3(-1.0f, 2.0f, 0.0f));
    }

    std::unique_ptr<BeamObjectImpl> object;
    debugdrawer* drawer = nullptr;
    StaticCollider collider;
    GroundModelTable models;
    LegendRecorder legend;
    DebugWorld world;
    RecordingDebugDraw host;
};

TEST_F(Render, EmptyCollectorWithoutFlagsOnlyTakesTheFocus)
{
    addFlatTriangle(float3());
    collider.commit(true);
    drawer->render(host, float3(4, 5, 6), world);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(legend.scripts.empty());
    EXPECT_EQ(drawer->lastFocusPos.x, 4.0f);
    EXPECT_EQ(drawer->lastFocusPos.z, 6.0f);
}

TEST_F(Render, CallsComeInTheirOrderWithWhatWasCollectedAndNothingIsEmptied)
{
    drawer->drawText(float3(1, 0, 0), color{1, 2, 3, 4}, "first");
    drawer->addBeam3d(float3(0, 0, 0), float3(0, 0, 1), 0.3f, kWhite);
    drawer->drawSphere(0.5f, float3(2, 2, 2), kWhite);
    drawer->drawText(float3(2, 0, 0), kWhite, "second");
    drawer->addSquare(float3(), color{9, 9, 9, 9}, 1.0f);
    drawer->drawLine(float3(0, 0, 0), float3(1, 1, 1), color{5, 6, 7, 8});

    for (int round = 0; round < 2; ++round) {
        host.calls.clear();
        drawer->render(host, float3(), world);
        const std::vector<std::string> expected = {"lines", "triangles", "sphere", "beam3d", "text", "text"};
        ASSERT_EQ(host.ops(), expected) << "round " << round;
        EXPECT_EQ(host.calls[0].points.size(), 2u);
        EXPECT_TRUE(sameColor(host.calls[0].colours[1], color{5, 6, 7, 8}));
        EXPECT_EQ(host.calls[1].points.size(), 6u);
        EXPECT_EQ(host.calls[2].radius, 0.5f);
        EXPECT_EQ(host.calls[3].radius, 0.3f);
        EXPECT_EQ(host.calls[3].points[1].z, 1.0f);
        EXPECT_EQ(host.calls[4].text, "first");
        EXPECT_TRUE(sameColor(host.calls[4].colours[0], color{1, 2, 3, 4}));
        EXPECT_EQ(host.calls[5].text, "second");
    }
}

TEST_F(Render, StaticTrianglesAreSelectedStrictlyWithinTwentyOfTheFocus)
{
    addFlatTriangle(float3(20.0f, 0.0f, 0.0f));   // exactly 20: not drawn
    addFlatTriangle(float3(0.0f, 19.99f, 0.0f));  // drawn
    addFlatTriangle(float3(0.0f, 0.0f, -25.0f));  // z counts too
    collider.commit(true);
    drawer->drawCollisionTris = true;
    drawer->render(host, float3(), world);
    ASSERT_EQ(host.ops(), (std::vector<std::string>{"triangles", "lines", "lines"}));
    ASSERT_EQ(host.calls[0].points.size(), 3u);
    ASSERT_EQ(host.calls[1].points.size(), 6u);
    ASSERT_EQ(host.calls[2].points.size(), 2u);

    // Corners shrunk to 0.95 towards the centroid and lifted 0.06 along the unit normal (-z).
    const float3 c(0.0f, 19.99f, 0.0f);
    const float3& a = host.calls[0].points[0];
    EXPECT_FLOAT_EQ(a.x, c.x - 0.95f);
    EXPECT_FLOAT_EQ(a.y, c.y - 0.95f);
    EXPECT_FLOAT_EQ(a.z, -0.06f);
    EXPECT_TRUE(sameColor(host.calls[0].colours[2], color{0, 255, 0, 60}));
    // Edges A'B', B'C', C'A'.
    EXPECT_EQ(host.calls[1].points[0].x, host.calls[1].points[5].x);
    EXPECT_EQ(host.calls[1].points[1].x, host.calls[1].points[2].x);
    EXPECT_TRUE(sameColor(host.calls[1].colours[0], color{255, 0, 0, 230}));
    // Normal from the unshrunk centroid, 0.6 long.
    EXPECT_FLOAT_EQ(host.calls[2].points[0].y, 19.99f);
    EXPECT_FLOAT_EQ(host.calls[2].points[0].z, 0.0f);
    EXPECT_FLOAT_EQ(host.calls[2].points[1].z, -0.6f);
    EXPECT_TRUE(sameColor(host.calls[2].colours[1], color{255, 255, 0, 255}));
}

TEST_F(Render, EachStaticPassStopsAtSixtyThousandPoints)
{
    for (int i = 0; i < 30000; ++i)
        addFlatTriangle(float3(float(i % 100) * 0.1f, float(i / 100) * 0.05f, 0.0f));
    addFlatTriangle(float3(100.0f, 0.0f, 0.0f));  // far: never selected
    collider.commit(true);
    drawer->drawCollisionTris = true;
    drawer->render(host, float3(5.0f, 5.0f, 0.0f), world);
    ASSERT_EQ(host.ops(), (std::vector<std::string>{"triangles", "lines", "lines"}));
    EXPECT_EQ(host.calls[0].points.size(), 60000u);  // 20000 faces
    EXPECT_EQ(host.calls[1].points.size(), 60000u);  // 10000 triangles' edges
    EXPECT_EQ(host.calls[2].points.size(), 60000u);  // all 30000 normals
    // The normals pass reaches the last triangle: its centroid starts the final segment.
    EXPECT_FLOAT_EQ(host.calls[2].points[59998].x, 9.9f);
    EXPECT_FLOAT_EQ(host.calls[2].points[59998].y, 14.95f);
}

TEST_F(Render, WithoutAKeptStaticCopyThereIsNothingToDraw)
{
    addFlatTriangle(float3());
    collider.commit(false);
    drawer->drawCollisionTris = true;
    drawer->render(host, float3(), world);
    EXPECT_TRUE(host.calls.empty());
    world.collider = nullptr;
    drawer->render(host, float3(), world);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(Render, TerrainViewOutsideTheTerrainShowsGroundModelZero)
{
    TerrainBlock terrain;  // empty: every point is outside
    world.terrain = &terrain;
    drawer->drawTerrainDebug = true;
    drawer->enabled = true;
    drawer->render(host, float3(100.0f, 100.0f, 50.0f), world);

    ASSERT_EQ(host.ops(), (std::vector<std::string>{"lines", "triangles"}));
    const size_t lines = host.calls[0].points.size(), triangles = host.calls[1].points.size();
    const size_t gridPoints = lines / 2;
    EXPECT_TRUE(gridPoints == 25 * 25 || gridPoints == 26 * 26) << gridPoints;
    EXPECT_EQ(triangles, gridPoints * 12);
    for (const color& c : host.calls[1].colours)
        ASSERT_TRUE(sameColor(c, color{0, 255, 0, 180}));
    for (size_t i = 0; i < lines; i += 2) {
        ASSERT_FLOAT_EQ(host.calls[0].points[i].z, 0.1f);      // base at height 0.1
        ASSERT_FLOAT_EQ(host.calls[0].points[i + 1].z, 0.1f);  // no depth
    }
    EXPECT_FLOAT_EQ(host.calls[0].points[0].x, 97.5f);
    EXPECT_FLOAT_EQ(host.calls[0].points[0].y, 97.5f);
    ASSERT_EQ(legend.scripts.size(), 1u);
    EXPECT_EQ(legend.scripts[0],
              "updateGroundModelDebug({'name':'','color':{'r':0,'g':255,'b':0,'a':180},'id':0,});");
    EXPECT_EQ(legend.values[0], 0);
}

TEST_F(Render, TerrainViewShowsTheCellsModelAndDepth)
{
    models.setGroundModel(groundModel(), "ASPHALT");
    models.setGroundModel(groundModel(), "mud's \\edge");
    const std::vector<uint16_t> heights(9, 100);
    const std::vector<uint8_t> layers(9, 1);
    const std::vector<uint8_t> depths(9, 255 - 50);  // the host sends depth inverted
    TerrainConfig config;
    config.heightMap = heights.data();
    config.heightMapSize = int32_t(heights.size() * 2);
    config.layerMap = layers.data();
    config.layerMapSize = 9;
    config.secondMap = depths.data();
    config.secondMapSize = 9;
    const char* names[] = {"asphalt", "MUD'S \\EDGE"};
    config.layerMaterialNames[0] = names[0];
    config.layerMaterialNames[1] = names[1];
    config.layerCount = 2;
    config.width = 3;
    config.height = 3;
    config.squareSizeX = config.squareSizeY = 10.0f;
    config.heightScale = 0.01f;
    config.depthScale = 0.02f;
    TerrainBlock terrain;
    terrain.setTerrainData(config, models);
    world.terrain = &terrain;
    drawer->drawTerrainDebug = true;
    drawer->render(host, float3(10.0f, 10.0f, 0.0f), world);

    ASSERT_EQ(host.ops(), (std::vector<std::string>{"lines", "triangles"}));
    // Height 1 m, base 0.1 above it, the line up by 50 depth steps of 0.02.
    EXPECT_FLOAT_EQ(host.calls[0].points[0].z, 1.1f);
    EXPECT_FLOAT_EQ(host.calls[0].points[1].z, 2.1f);
    EXPECT_TRUE(sameColor(host.calls[0].colours[0], color{0, 0, 255, 180}));  // model 1: palette 2
    ASSERT_EQ(legend.scripts.size(), 1u);
    EXPECT_EQ(legend.scripts[0], "updateGroundModelDebug({'name':'mud\\'s \\\\edge','color':{'r':0,'g':0,'b':255,"
                                 "'a':180},'id':1,});");
}

TEST_F(Render, LegendTextsTakeThePaletteEntryAfterTheModelAndEscapeNames)
{
    struct Case {
        int model;
        const char* name;
        std::string expected;
    } cases[] = {
        {3, nullptr, "updateGroundModelDebug({'name':'','color':{'r':255,'g':0,'b':255,'a':180},'id':3,});"},
        {11, "ICE", "updateGroundModelDebug({'name':'ICE','color':{'r':255,'g':0,'b':0,'a':180},'id':11,});"},
        {200, "", "updateGroundModelDebug({'name':'','color':{'r':90,'g':255,'b':255,'a':180},'id':200,});"},
        {0, "');alert(1);('",
         "updateGroundModelDebug({'name':'\\');alert(1);(\\'','color':{'r':0,'g':255,'b':0,'a':180},'id':0,});"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(groundModelLegendScript(c.model, c.name), c.expected) << c.model;

    struct Escape {
        const char* in;
        std::string out;
    } escapes[] = {{"plain", "plain"},   {"a'b", "a\\'b"},         {"back\\slash", "back\\\\slash"},
                   {"q\"q", "q\\\"q"},   {"line\nbreak\r", "line\\nbreak\\r"}, {"\x01", "\\x01"},
                   {"sep\xE2\x80\xA8", "sep\\u2028"}, {"caf\xC3\xA9", "caf\xC3\xA9"}};
    for (const Escape& e : escapes)
        EXPECT_EQ(escapeForJavaScriptString(e.in), e.out) << e.in;
}

TEST_F(Render, WithoutAGameEngineThePatchesStillComeButNoLegend)
{
    world.gameEngine = nullptr;
    drawer->drawTerrainDebug = true;
    drawer->render(host, float3(), world);
    EXPECT_EQ(host.ops(), (std::vector<std::string>{"lines", "triangles"}));
}

TEST_F(Render, EnabledCollectorGetsOneGridPerRenderUntilTheFrameClears)
{
    drawer->drawTerrainDebug = true;
    drawer->enabled = true;
    drawer->render(host, float3(), world);
    const size_t oneGrid = drawer->trianglePoints.size();
    drawer->render(host, float3(), world);
    EXPECT_EQ(drawer->trianglePoints.size(), 2 * oneGrid);
    EXPECT_EQ(legend.scripts.size(), 2u);
    drawer->clear();
    drawer->render(host, float3(), world);
    EXPECT_EQ(drawer->trianglePoints.size(), oneGrid);
}

TEST_F(Render, DisabledCollectorKeepsOnlyTheLatestGridAndWhatScriptsDrew)
{
    drawer->drawTerrainDebug = true;
    drawer->drawLine(float3(-1, 0, 0), float3(-2, 0, 0), kWhite);
    drawer->render(host, float3(), world);
    const size_t lines = drawer->linePoints.size(), triangles = drawer->trianglePoints.size();
    drawer->drawLine(float3(-3, 0, 0), float3(-4, 0, 0), kWhite);
    for (int i = 0; i < 50; ++i)
        drawer->render(host, float3(float(i) * 0.01f, 0.0f, 0.0f), world);
    EXPECT_EQ(drawer->linePoints.size(), lines + 2);
    EXPECT_EQ(drawer->lineColors.size(), lines + 2);
    EXPECT_EQ(drawer->trianglePoints.size(), triangles);
    EXPECT_EQ(drawer->triangleColors.size(), triangles);
    // What the script drew stays, in its order, around the grid that moved with the focus.
    EXPECT_EQ(drawer->linePoints[0].x, -1.0f);
    EXPECT_EQ(drawer->linePoints[2].x, -3.0f);
    EXPECT_FLOAT_EQ(drawer->linePoints[4].x, 0.49f - 2.5f);
}

} // namespace
