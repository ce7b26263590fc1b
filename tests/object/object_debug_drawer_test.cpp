// The object's debug drawer on a small object: ids, beam colours, beam selection, texts
// and their distance filter, collision triangles, and the collector's clear.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "object/bobject_debug_drawer.h"
#include "debug/bdebug_palette.h"
#include "object/bobject.h"
#include "tests/support/recording_debug_draw.h"

using namespace VadiZov;
using VadiZov::testing::sameColor;

namespace {

constexpr color kWhite{255, 255, 255, 255};

// Four nodes on the x axis at 0, 1, 2, 3 and three beams 0-1, 1-2, 2-3.
class Collector : public ::testing::Test {
protected:
    void SetUp() override
    {
        object = std::make_unique<BeamObjectImpl>();
        for (int i = 0; i < 4; ++i)
            object->setNode(-1, float3(float(i), 0.0f, 0.0f), 1.0f, 0, 1.0f, -1, false, false);
        for (int i = 0; i < 3; ++i)
            object->setBeam(-1, i, i + 1, 1e9f, 1000.0f, 10.0f, 1e9f, 1.0f);
        // Node positions as the solver leaves them: world positions.
        for (int i = 0; i < 4; ++i)
            object->nodes[i].worldPos = float3(float(i), 0.0f, 0.0f);
        drawer = object->ownDebugDrawer();
    }

    std::unique_ptr<BeamObjectImpl> object;
    debugdrawer* drawer = nullptr;
};

TEST_F(Collector, ObjectOwnsItsCollectorFromConstruction)
{
    ASSERT_NE(drawer, nullptr);
    EXPECT_EQ(object->debugDrawProxy, drawer);
    EXPECT_EQ(&drawer->owner(), object.get());
    EXPECT_FALSE(drawer->enabled);
    EXPECT_FALSE(drawer->drawCollisionTris);
    EXPECT_FALSE(drawer->drawTerrainDebug);
}

TEST_F(Collector, NodeLinesNeedTwoValidIds)
{
    struct Case {
        int a, b;
        size_t points;
    } cases[] = {{0, 4, 0}, {-1, 0, 0}, {4, 0, 0}, {0, -1, 0}, {0, 3, 2}, {2, 2, 2}};
    for (const Case& c : cases) {
        drawer->clear();
        drawer->drawNodeLine(c.a, c.b, kWhite);
        EXPECT_EQ(drawer->linePoints.size(), c.points) << c.a << "," << c.b;
        EXPECT_EQ(drawer->lineColors.size(), c.points) << c.a << "," << c.b;
    }
    drawer->clear();
    drawer->drawNodeLine(3, 1, color{1, 2, 3, 4});
    ASSERT_EQ(drawer->linePoints.size(), 2u);
    EXPECT_EQ(drawer->linePoints[0].x, 3.0f);
    EXPECT_EQ(drawer->linePoints[1].x, 1.0f);
    EXPECT_TRUE(sameColor(drawer->lineColors[1], color{1, 2, 3, 4}));
}

TEST_F(Collector, BeamColoursFollowTheBeamType)
{
    struct Case {
        int type, alpha;
        color expected;
    } cases[] = {
        {BEAM_NORMAL, 255, {0, 255, 0, 255}},
        {BEAM_ANISOTROPIC, 128, {255, 0, 255, 128}},
        {BEAM_BOUNDED, 255, {255, 255, 0, 255}},
        {BEAM_PRESSURED, 255, {96, 128, 200, 255}},
        {BEAM_BROKEN, 10, {255, 0, 0, 255}},  // broken is always opaque
        {BEAM_HYDRO, 255, {63, 102, 190, 255}},
        {BEAM_SUPPORT, 1, {235, 135, 63, 1}},
        {7, 255, {0, 255, 255, 255}},
        {BEAM_NORMAL, 300, {0, 255, 0, 44}},  // low 8 bits of the alpha
        {BEAM_NORMAL, -1, {0, 255, 0, 255}},
    };
    for (const Case& c : cases) {
        object->beams[1].type = int16_t(c.type);
        drawer->clear();
        drawer->drawBeamAlpha(1, c.alpha);
        ASSERT_EQ(drawer->lineColors.size(), 2u) << c.type;
        const color got = drawer->lineColors[0];
        EXPECT_TRUE(sameColor(got, c.expected))
            << "type " << c.type << " alpha " << c.alpha << ": " << int(got.r) << "," << int(got.g) << ","
            << int(got.b) << "," << int(got.a);
        EXPECT_EQ(drawer->linePoints[0].x, 1.0f);
        EXPECT_EQ(drawer->linePoints[1].x, 2.0f);
    }
}

TEST_F(Collector, BoundedBeamsHaveAColourNoOtherTypeUses)
{
    const color bounded = beamTypeColor(BEAM_BOUNDED, 255);
    for (int type : {0, 1, 3, 4, 5, 6, 7, 100}) {
        const color other = beamTypeColor(type, 255);
        EXPECT_FALSE(bounded.r == other.r && bounded.g == other.g && bounded.b == other.b) << type;
    }
}

TEST_F(Collector, InvalidBeamIdsAppendNothing)
{
    for (int id : {-1, 3, 10000}) {
        drawer->drawBeam(id);
        drawer->drawBeamAlpha(id, 255);
        drawer->drawBeamColor(id, kWhite);
        drawer->drawBeam3d(id, 0.1f, kWhite);
    }
    EXPECT_TRUE(drawer->linePoints.empty());
    EXPECT_TRUE(drawer->beams3d.empty());
    drawer->drawBeam3d(2, 0.25f, kWhite);
    ASSERT_EQ(drawer->beams3d.size(), 1u);
    EXPECT_EQ(drawer->beams3d[0].radius, 0.25f);
    EXPECT_EQ(drawer->beams3d[0].first.x, 2.0f);
    EXPECT_EQ(drawer->beams3d[0].second.x, 3.0f);
}

TEST_F(Collector, DrawBeamsSelectsByMode)
{
    object->beams[1].type = BEAM_BROKEN;
    struct Case {
        int mode;
        std::vector<float> firstEnds;  // x of each segment's first point
    } cases[] = {{0, {0, 1, 2}}, {2, {0, 1, 2}}, {-5, {0, 1, 2}}, {1, {0, 2}}, {3, {1}}};
    for (const Case& c : cases) {
        drawer->clear();
        drawer->drawBeams(c.mode);
        std::vector<float> got;
        for (size_t i = 0; i < drawer->linePoints.size(); i += 2)
            got.push_back(drawer->linePoints[i].x);
        EXPECT_EQ(got, c.firstEnds) << "mode " << c.mode;
    }
}

TEST_F(Collector, TextsAreCutTo63Characters)
{
    const std::string seventy(70, 'x');
    drawer->drawText(float3(1, 2, 3), kWhite, seventy.c_str());
    drawer->drawText(float3(), kWhite, std::string(63, 'y').c_str());
    drawer->drawText(float3(), kWhite, nullptr);
    ASSERT_EQ(drawer->texts.size(), 3u);
    EXPECT_EQ(std::string(drawer->texts[0].text), std::string(63, 'x'));
    EXPECT_EQ(drawer->texts[0].position.z, 3.0f);
    EXPECT_EQ(std::string(drawer->texts[1].text), std::string(63, 'y'));
    EXPECT_EQ(std::string(drawer->texts[2].text), "");
}

TEST_F(Collector, NodeTextsPassTheDistanceFilterAroundTheLastFocus)
{
    drawer->lastFocusPos = float3(0.0f, 0.0f, 0.0f);
    struct Case {
        float maxDistance;
        std::vector<std::string> labels;
    } cases[] = {{0.0f, {"0", "1", "2", "3"}}, {-1.0f, {"0", "1", "2", "3"}}, {2.0f, {"0", "1", "2"}},
                 {1.5f, {"0", "1"}}, {0.5f, {"0"}}};
    for (const Case& c : cases) {
        drawer->clear();
        drawer->drawNodeNumbers(kWhite, c.maxDistance);
        std::vector<std::string> got;
        for (const DebugText& t : drawer->texts)
            got.push_back(t.text);
        EXPECT_EQ(got, c.labels) << "max " << c.maxDistance;
    }

    // The offset moves the text, not the node the filter measures.
    drawer->clear();
    drawer->drawNodeTextWithOffset(1, kWhite, float3(10.0f, 0.0f, 0.0f), "near", 1.0f);
    drawer->drawNodeTextWithOffset(3, kWhite, float3(-3.0f, 0.0f, 0.0f), "far", 1.0f);
    drawer->drawNodeText(3, kWhite, "far", 2.9f);
    drawer->drawNodeText(3, kWhite, "edge", 3.0f);
    drawer->drawNodeText(4, kWhite, "no node", 0.0f);
    ASSERT_EQ(drawer->texts.size(), 2u);
    EXPECT_STREQ(drawer->texts[0].text, "near");
    EXPECT_EQ(drawer->texts[0].position.x, 11.0f);
    EXPECT_STREQ(drawer->texts[1].text, "edge");
}

TEST_F(Collector, SpheresAtNodesAndAnywhere)
{
    drawer->drawNodeSphere(2, 0.5f, kWhite);
    drawer->drawNodeSphere(9, 0.5f, kWhite);
    drawer->drawSphere(2.0f, float3(7, 8, 9), color{9, 8, 7, 6});
    ASSERT_EQ(drawer->spheres.size(), 2u);
    EXPECT_EQ(drawer->spheres[0].centre.x, 2.0f);
    EXPECT_EQ(drawer->spheres[1].radius, 2.0f);
    EXPECT_EQ(drawer->spheres[1].centre.y, 8.0f);
    EXPECT_TRUE(sameColor(drawer->spheres[1].colour, color{9, 8, 7, 6}));
}

TEST_F(Collector, CollisionTrianglesDrawIntactOnesInModeZeroOnly)
{
    object->setCollisionTriangle(-1, 0, 1, 2, 0, 0, -1, 0, nullptr);
    object->setCollisionTriangle(-1, 1, 2, 3, 0, 0, -1, 1, nullptr);  // broken
    object->setCollisionTriangle(-1, 0, 2, 3, 0, 0, -1, 0, nullptr);
    ASSERT_EQ(object->getTriangleCount(), 3);
    const color edge{1, 1, 1, 1}, face{2, 2, 2, 2};

    drawer->drawColTris(1, edge, face);
    EXPECT_TRUE(drawer->linePoints.empty());
    EXPECT_TRUE(drawer->trianglePoints.empty());

    drawer->drawColTris(0, edge, face);
    ASSERT_EQ(drawer->linePoints.size(), 12u);
    ASSERT_EQ(drawer->trianglePoints.size(), 6u);
    // A-B, B-C, C-A of the first triangle, then the third triangle.
    const float expectedLines[] = {0, 1, 1, 2, 2, 0, 0, 2, 2, 3, 3, 0};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(drawer->linePoints[size_t(i)].x, expectedLines[i]) << i;
    EXPECT_EQ(drawer->trianglePoints[3].x, 0.0f);
    EXPECT_EQ(drawer->trianglePoints[5].x, 3.0f);
    EXPECT_TRUE(sameColor(drawer->lineColors[11], edge));
    EXPECT_TRUE(sameColor(drawer->triangleColors[5], face));
}

TEST_F(Collector, ClearEmptiesTheListsButKeepsFlagsAndFocus)
{
    drawer->drawCollisionTris = true;
    drawer->lastFocusPos = float3(1, 2, 3);
    drawer->drawBeams(0);
    drawer->addSquare(float3(), kWhite, 1.0f);
    drawer->drawText(float3(), kWhite, "t");
    drawer->drawSphere(1.0f, float3(), kWhite);
    drawer->addBeam3d(float3(), float3(), 1.0f, kWhite);
    drawer->clear();
    EXPECT_TRUE(drawer->linePoints.empty() && drawer->lineColors.empty() && drawer->trianglePoints.empty() &&
                drawer->triangleColors.empty() && drawer->texts.empty() && drawer->spheres.empty() &&
                drawer->beams3d.empty());
    EXPECT_TRUE(drawer->drawCollisionTris);
    EXPECT_EQ(drawer->lastFocusPos.z, 3.0f);
}

TEST_F(Collector, SquaresAreTwoTrianglesAtTheCentresHeight)
{
    drawer->addSquare(float3(10.0f, 20.0f, 5.0f), kWhite, 0.5f);
    ASSERT_EQ(drawer->trianglePoints.size(), 6u);
    const float expected[6][2] = {{10.5f, 20.5f}, {10.5f, 19.5f}, {9.5f, 19.5f},
                                  {10.5f, 20.5f}, {9.5f, 19.5f}, {9.5f, 20.5f}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(drawer->trianglePoints[size_t(i)].x, expected[i][0]) << i;
        EXPECT_EQ(drawer->trianglePoints[size_t(i)].y, expected[i][1]) << i;
        EXPECT_EQ(drawer->trianglePoints[size_t(i)].z, 5.0f) << i;
    }
}

TEST_F(Collector, DestroyedObjectKeepsAUsableEmptyCollector)
{
    drawer->drawBeams(0);
    object->destroy();
    EXPECT_EQ(object->ownDebugDrawer(), drawer);
    EXPECT_TRUE(drawer->linePoints.empty());
    // Scripts that still hold the collector may draw; nothing reads freed memory.
    drawer->drawBeams(0);
    drawer->drawText(float3(), kWhite, "after");
    EXPECT_EQ(drawer->texts.size(), 1u);
}

} // namespace
