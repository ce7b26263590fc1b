// Building rails and slide nodes: link lists of open and looped rails, refused ids, where a
// node attaches (nearest segment, ties, past the end, broken segments) and snapping.
#include "object_test_support.h"

#include <cfloat>
#include <functional>

#include "object/bobject_rails.h"

namespace VadiZov::test {
namespace {

using Rails = ObjectTest;

std::vector<int> linkNodes(const Rail& rail)
{
    std::vector<int> nodes;
    for (const RailLink& l : rail.links)
        nodes.push_back(l.node);
    return nodes;
}

TEST_F(Rails, LinksOfOpenAndLoopedRails)
{
    for (int i = 0; i < 4; ++i)
        node(float(i), 0.0f, 0.0f);
    struct Case {
        int looped;
        std::vector<int> links;
    };
    const Case cases[] = {{1, {1, 2, 3, 1}}, {0, {1, 2, 3}}, {7, {1, 2, 3}}};  // only 1 means looped
    for (const Case& c : cases) {
        const int rail = addRail(*obj, c.looped);
        EXPECT_EQ(addRailLink(*obj, rail, 1, 0, 0), 0);
        EXPECT_EQ(addRailLink(*obj, rail, 2, 1, 0), 1);
        EXPECT_EQ(addRailLink(*obj, rail, 3, 0, 1), 2);
        EXPECT_EQ(linkNodes(obj->rails[size_t(rail)]), c.links) << "looped " << c.looped;
        EXPECT_EQ(linkNodes(obj->builtRails[size_t(rail)]), c.links);
        EXPECT_TRUE(obj->rails[size_t(rail)].links[1].isStop);
        EXPECT_TRUE(obj->rails[size_t(rail)].links[2].broken);
    }
    EXPECT_EQ(obj->rails.size(), 3u);
    EXPECT_TRUE(takeErrors().empty());
}

TEST_F(Rails, RefusedIdsAreLoggedAndChangeNothing)
{
    node(0.0f, 0.0f, 0.0f);
    node(1.0f, 0.0f, 0.0f);
    addRail(*obj, 0);
    addRailLink(*obj, 0, 0, 0, 0);
    addRailLink(*obj, 0, 1, 0, 0);
    const int slide = addSlidenode(*obj, 1, 0, 0, 0, 0.0f, 100.0f, 100.0f, 0.0f);
    takeErrors();

    struct Case {
        const char* what;
        std::function<int()> call;
        int result;
        const char* message;
    };
    const Case cases[] = {
        {"link on rail == count", [&] { return addRailLink(*obj, 1, 0, 0, 0); }, -1, "*** addRailLink: invalid railId"},
        {"link on rail -1", [&] { return addRailLink(*obj, -1, 0, 0, 0); }, -1, "*** addRailLink: invalid railId"},
        {"link to node -1", [&] { return addRailLink(*obj, 0, -1, 0, 0); }, -1, "*** addRailLink: invalid nodeId"},
        {"link to node 2000", [&] { return addRailLink(*obj, 0, 2000, 0, 0); }, -1, "*** addRailLink: invalid nodeId"},
        {"slide node for node 2000", [&] { return addSlidenode(*obj, 2000, 0, 1, 0, 0, 1, 1, 1); }, -1,
         "*** addSlidenode: invalid nodeId"},
        {"slide node on rail -2", [&] { return addSlidenode(*obj, 0, -2, 1, 0, 0, 1, 1, 1); }, -1,
         "*** addSlidenode: invalid railId"},
        {"slide node on rail == count", [&] { return addSlidenode(*obj, 0, 1, 1, 0, 0, 1, 1, 1); }, -1,
         "*** addSlidenode: invalid railId"},
        {"slide node for node -1", [&] { return addSlidenode(*obj, -1, 0, 1, 0, 0, 1, 1, 1); }, -1,
         "*** addSlidenode: invalid nodeId"},
        {"attach slide node == count", [&] { return attachSlidenode(*obj, slide + 1, 0); }, 0,
         "*** addSlidenode: invalid railId"},
        {"attach on rail 5", [&] { return attachSlidenode(*obj, slide, 5); }, 0, "*** addSlidenode: invalid railId"},
        {"detach slide node -1", [&] { detachSlidenode(*obj, -1); return 0; }, 0, "*** addSlidenode: invalid railId"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.call(), c.result) << c.what;
        EXPECT_EQ(takeErrors(), std::vector<std::string>{c.message}) << c.what;
    }
    EXPECT_EQ(obj->rails[0].links.size(), 2u);
    EXPECT_EQ(obj->slideNodes.size(), 1u);
    EXPECT_EQ(obj->builtSlideNodes.size(), 1u);
    EXPECT_EQ(obj->slideNodes[0].segment, -1);
    breakRails(*obj, 0);  // no beams: ignored without a word
    EXPECT_TRUE(takeErrors().empty());
}

// A script may declare its rails and slide nodes before it defines their nodes: the links are
// kept, and once the nodes exist the slide node attaches and is held on the rail.
TEST_F(Rails, RailsDeclaredBeforeTheirNodesWorkOnceTheNodesExist)
{
    const int rail = addRail(*obj, 0);
    EXPECT_EQ(addRailLink(*obj, rail, 0, 0, 0), 0);
    EXPECT_EQ(addRailLink(*obj, rail, 1, 0, 0), 1);
    EXPECT_EQ(addRailLink(*obj, rail, 1999, 0, 0), 2);  // the last id the capacity holds
    const int slide = addSlidenode(*obj, 2, rail, 0, 0, 0.0f, 1000.0f, 1e9f, 0.0f);
    EXPECT_EQ(slide, 0);
    EXPECT_TRUE(takeErrors().empty());
    ASSERT_EQ(obj->rails[0].links.size(), 3u);
    EXPECT_EQ(obj->builtRails[0].links[1].node, 1);

    node(0.0f, 0.0f, 0.0f);
    node(2.0f, 0.0f, 0.0f);
    node(1.5f, 0.1f, 0.0f);
    EXPECT_EQ(attachSlidenode(*obj, slide, rail), 1);
    EXPECT_EQ(obj->slideNodes[0].segment, 0);  // nearest the first segment, from node 0 to node 1
}

TEST_F(Rails, NegativeSpringAndForcesBecomeZero)
{
    node(0.0f, 0.0f, 0.0f);
    addSlidenode(*obj, 0, -1, 0, 0, -0.5f, -100.0f, -5.0f, -7.0f);
    const SlideNode& s = obj->slideNodes[0];
    EXPECT_EQ(s.rail, -1);
    EXPECT_EQ(s.spring, 0.0f);
    EXPECT_EQ(s.stopSpring, 0.0f);
    EXPECT_EQ(s.breakForce, 0.0f);
    EXPECT_EQ(s.stopBreakForce, 0.0f);
    EXPECT_EQ(s.slack, -0.5f);  // kept as given
}

struct RailAttach : ObjectTest {
    // Rail 0 along y = 1 and rail 1 along y = -1, both from x = 0 to 2 through x = 1.
    void SetUp() override
    {
        ObjectTest::SetUp();
        for (const float y : {1.0f, -1.0f}) {
            const int rail = addRail(*obj, 0);
            for (int i = 0; i < 3; ++i)
                addRailLink(*obj, rail, node(float(i), y, 0.0f), 0, 0);
        }
    }
};

TEST_F(RailAttach, NearestSegmentWinsAndTiesGoToTheEarlierRail)
{
    struct Case {
        float3 at;
        int rail, segment;
    };
    const Case cases[] = {
        {float3(0.5f, 0.0f, 0.0f), 0, 0},    // equal distance to both rails: the lower index
        {float3(1.5f, -0.5f, 0.0f), 1, 1},   // nearer rail 1, second segment
        {float3(1.0f, 0.75f, 0.0f), 0, 0},   // on the shared link: the earlier segment
        {float3(3.0f, 1.0f, 0.0f), 0, 1},    // past the open end: the last segment
        {float3(-2.0f, -1.2f, 0.0f), 1, 0},  // before the start
    };
    for (const Case& c : cases) {
        const int id = addSlidenode(*obj, node(c.at.x, c.at.y, c.at.z), -1, 1, 0, 0.0f, 1.0f, 1.0f, 1.0f);
        EXPECT_EQ(obj->slideNodes[size_t(id)].rail, c.rail) << c.at.x << "," << c.at.y;
        EXPECT_EQ(obj->slideNodes[size_t(id)].segment, c.segment) << c.at.x << "," << c.at.y;
        EXPECT_EQ(obj->builtSlideNodes[size_t(id)].segment, c.segment);
    }
}

TEST_F(RailAttach, PastTheOpenEndTheParameterIsOne)
{
    const int n = node(2.5f, 1.0f, 0.0f);
    RailSearch search;
    search.best = FLT_MAX;
    ASSERT_TRUE(findNearestRailSegment(*obj, n, 0, search));
    EXPECT_EQ(search.segment, 1);
    EXPECT_EQ(search.parameter, 1.0f);
    EXPECT_FLOAT_EQ(search.best, 0.5f);
    // A later rail no nearer does not replace it.
    EXPECT_FALSE(findNearestRailSegment(*obj, n, 1, search));
    EXPECT_EQ(search.segment, 1);
}

TEST_F(RailAttach, SnapMovesTheNodeToItsSlackButNotCloser)
{
    struct Case {
        float slack;
        float expectedY;  // the node starts at y = 1.5, half a metre from rail 0
    };
    const Case cases[] = {{0.0f, 1.0f}, {0.2f, 1.2f}, {0.6f, 1.5f}};
    for (const Case& c : cases) {
        const int n = node(0.5f, 1.5f, 0.0f);
        addSlidenode(*obj, n, 0, 1, 1, c.slack, 1.0f, 1.0f, 1.0f);
        EXPECT_FLOAT_EQ(obj->nodes[n].pos.y, c.expectedY) << c.slack;
        EXPECT_FLOAT_EQ(obj->nodes[n].pos.x, 0.5f);
        EXPECT_FLOAT_EQ(obj->nodes[n].worldPos.y, c.expectedY);
        EXPECT_FLOAT_EQ(obj->nodeProperties[n].spawnPos.y, c.expectedY);
        EXPECT_FLOAT_EQ(obj->renderPositions[0][n].y, c.expectedY);
        EXPECT_FLOAT_EQ(obj->renderPositions[1][n].y, c.expectedY);
    }
}

TEST_F(RailAttach, BrokenSegmentIsSkippedUntilAReset)
{
    const int beamOnRail = obj->setBeam(-1, 0, 1, 1e9f, 1000.0f, 0.0f, 1e9f, 1.0f).id();
    const int n = node(0.4f, 1.1f, 0.0f);
    const int slide = addSlidenode(*obj, n, 0, 1, 0, 0.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(obj->slideNodes[size_t(slide)].segment, 0);

    breakRails(*obj, beamOnRail);
    EXPECT_TRUE(obj->rails[0].links[0].broken);
    EXPECT_FALSE(obj->builtRails[0].links[0].broken);
    EXPECT_FALSE(obj->rails[1].links[0].broken);  // other rail, other nodes
    EXPECT_EQ(attachSlidenode(*obj, slide, 0), 1);
    EXPECT_EQ(obj->slideNodes[size_t(slide)].segment, 1);

    obj->reset(false);
    EXPECT_FALSE(obj->rails[0].links[0].broken);
    EXPECT_EQ(attachSlidenode(*obj, slide, 0), 1);
    EXPECT_EQ(obj->slideNodes[size_t(slide)].segment, 0);
}

TEST_F(Rails, RailWithoutSegmentsAttachesNothing)
{
    const int n = node(0.0f, 0.0f, 0.0f);
    const int empty = addRail(*obj, 0);
    const int single = addRail(*obj, 0);
    addRailLink(*obj, single, n, 0, 0);
    const int slide = addSlidenode(*obj, n, empty, 1, 0, 0.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(obj->slideNodes[size_t(slide)].segment, -1);
    EXPECT_EQ(attachSlidenode(*obj, slide, single), 0);
    EXPECT_EQ(attachSlidenode(*obj, slide, -1), 0);
    EXPECT_EQ(obj->slideNodes[size_t(slide)].segment, -1);
    EXPECT_TRUE(takeErrors().empty());
}

TEST_F(RailAttach, DetachLeavesTheBuiltRecord)
{
    const int slide = addSlidenode(*obj, node(0.5f, 1.0f, 0.0f), 0, 1, 0, 0.0f, 1.0f, 1.0f, 1.0f);
    detachSlidenode(*obj, slide);
    EXPECT_EQ(obj->slideNodes[size_t(slide)].segment, -1);
    EXPECT_EQ(obj->builtSlideNodes[size_t(slide)].segment, 0);
    obj->reset(false);
    EXPECT_EQ(obj->slideNodes[size_t(slide)].segment, 0);
}

} // namespace
} // namespace VadiZov::test
