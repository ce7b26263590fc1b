// The demo scene, the cart of examples/demo, run in this process exactly as velkor-host runs it
// (same arguments, same ground files, same host objects), so that every node can be watched
// frame by frame: it drives forward, brakes to a stop, drives into the wall, keeps its tires
// inflated and stays above the ground, and a second run ends bit for bit where the first did.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/bengine.h"
#include "ground/bterrain.h"
#include "host/host_flex_buffer.h"
#include "host/host_ground_clearance.h"
#include "object/bflexmesh.h"
#include "object/bobject.h"
#include "tests/support/bit_checksum.h"
#include "tests/support/cart_scene.h"
#include "tests/support/log_capture.h"

using namespace VadiZov;

namespace {

const std::string kDemoDir = std::string(VELKOR_EXAMPLES_DIR) + "/demo";
constexpr float kWallFront = 14.0f;  // y of the wall's face towards the cart (static/wall.txt)
constexpr float kWallBack = 14.6f;  // its far face

// What one frame showed, beyond the script's own log.
struct FrameView {
    float time = 0;
    float3 referencePosition;
    float3 referenceVelocity;
    float lowestAboveGround = 0;      // over every node
    float lowestBodyAboveGround = 0;  // over the nodes that are not part of a wheel
    float lowestMeshNodeAboveGround = 0;  // over the nodes the body mesh's vertices are bound to
    float frontMostY = -1e9f;
    float lowestTirePressure = 0;     // Pa
    bool headlightOn = false;
    // What velkor-host makes of the body mesh the library wrote in this frame, which shows the
    // object as the frame before left it.
    float hostMeshAboveGround = 0;
};

struct CartRun {
    std::vector<FrameView> frames;
    std::vector<FlexVertexBinding> bodyMeshBindings;
    host::MeshClearance::Lowest hostLowest;  // as velkor-host reports it
    std::vector<float3> finalPositions;
    std::vector<float> finalTirePressures;  // Pa
    int brokenBeams = 0;
    int flexmeshes = 0, props = 0;
    std::string summary;
    std::vector<std::string> log;
    std::vector<uint64_t> checkpoints;  // node bits after the frames kCheckpointFrames
};

// Settled, accelerating, braking, charging, after the hit.
constexpr int kCheckpointFrames[] = {60, 240, 420, 600, 900};

uint64_t nodeBits(const BeamObjectImpl& object)
{
    VadiZov::testing::BitChecksum sum;
    for (int i = 0; i < object.node_count; ++i) {
        sum.add(object.nodes[i].pos);
        sum.add(object.nodes[i].worldPos);
        sum.add(object.nodes[i].vel);
    }
    return sum.value();
}

// The group's pressure in pascals: the library keeps a sixth of it.
float pascals(const PressureGroup& g) { return g.pressure * 6.0f; }

class CartScene : public VadiZov::testing::LogCapture {
protected:
    CartRun run()
    {
        CartRun result;
        VadiZov::testing::CartScene scene(kDemoDir);
        std::string error;
        if (!scene.start(&error)) {
            ADD_FAILURE() << error;
            return result;
        }
        BeamObjectImpl& object = scene.object();
        if (object.flexmesh_count != 1 || !object.flexmeshes[0] || scene.resources().flexBuffers().size() != 1) {
            ADD_FAILURE() << "the cart should have one body mesh";
            return result;
        }
        bodyMeshNodes_.clear();
        result.bodyMeshBindings = object.flexmeshes[0]->vertexBindings();
        for (const FlexVertexBinding& b : result.bodyMeshBindings)
            bodyMeshNodes_.push_back(b.ref);
        const host::HostFlexBuffer& bodyMesh = *scene.resources().flexBuffers()[0];
        const host::HostOptions& options = scene.options();
        const host::PlacedHeightMap terrain(scene.ground().heightMap, options.squareSize, options.heightScale);
        host::MeshClearance clearance(terrain);
        const int frames = options.frames;
        int summaryIndex = -1;
        double shownTime = 0;
        for (int frame = 0; frame < frames; ++frame) {
            if (frame == frames - 1)
                summaryIndex = object.queueLuaCommand("return summary()", true);
            scene.frame();
            result.frames.push_back(view(scene.engine(), object, float(frame + 1) * options.dt));
            const auto& lights = scene.hostObject().lights;
            result.frames.back().headlightOn = !lights.empty() && lights[0]->enabled == 1;
            for (int at : kCheckpointFrames)
                if (frame + 1 == at)
                    result.checkpoints.push_back(nodeBits(object));
            const float3 objectPosition = scene.hostObject().position;
            result.frames.back().hostMeshAboveGround = host::lowestAboveTerrain(bodyMesh, objectPosition, terrain);
            clearance.afterFrame(scene.resources().flexBuffers(), objectPosition, shownTime);
            shownTime += double(scene.engine().coreParameters().substeps) * 0.0005;
        }
        if (!clearance.lowest().empty())
            result.hostLowest = clearance.lowest()[0];
        for (int i = 0; i < object.node_count; ++i)
            result.finalPositions.push_back(object.nodes[i].worldPos);
        for (const PressureGroup& g : object.pressureGroups)
            result.finalTirePressures.push_back(pascals(g));
        for (int b = 0; b < object.beam_count; ++b)
            result.brokenBeams += object.beams[b].type == 4;
        const char* text = object.getLuaResult(summaryIndex);
        result.summary = text ? text : "";
        result.flexmeshes = int(scene.resources().flexBuffers().size());
        result.props = object.prop_count;
        result.log = logged();
        return result;
    }

    FrameView view(BeamEngineImpl& engine, const BeamObjectImpl& object, float time) const
    {
        FrameView v;
        v.time = time;
        v.referencePosition = object.nodes[object.refNode].worldPos;
        v.referenceVelocity = object.nodes[object.refNode].vel;
        v.lowestAboveGround = v.lowestBodyAboveGround = 1e9f;
        for (int i = 0; i < object.node_count; ++i) {
            const float3 p = object.nodes[i].worldPos;
            const float above = p.z - engine.terrain()->getHeight(p);
            v.lowestAboveGround = std::min(v.lowestAboveGround, above);
            if (object.nodeProperties[i].wheelId == kNoWheel)
                v.lowestBodyAboveGround = std::min(v.lowestBodyAboveGround, above);
            v.frontMostY = std::max(v.frontMostY, p.y);
        }
        v.lowestMeshNodeAboveGround = 1e9f;
        for (int node : bodyMeshNodes_) {
            const float3 p = object.nodes[node].worldPos;
            v.lowestMeshNodeAboveGround = std::min(v.lowestMeshNodeAboveGround, p.z - engine.terrain()->getHeight(p));
        }
        v.lowestTirePressure = 1e9f;
        for (const PressureGroup& g : object.pressureGroups)
            v.lowestTirePressure = std::min(v.lowestTirePressure, pascals(g));
        return v;
    }

    std::vector<int> bodyMeshNodes_;
};

float speed(const float3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// "cart: <phase> at T s, V m/s, D m driven", the line the script logs on entering a phase.
bool phaseLine(const std::vector<std::string>& log, const std::string& phase, float* t, float* v, float* d)
{
    const std::string prefix = "cart: " + phase + " at ";
    for (const std::string& line : log)
        if (line.rfind(prefix, 0) == 0)
            return std::sscanf(line.c_str() + prefix.size(), "%f s, %f m/s, %f m driven", t, v, d) == 3;
    return false;
}

const FrameView& frameAt(const CartRun& run, float time)
{
    for (const FrameView& f : run.frames)
        if (f.time >= time - 1e-4f)
            return f;
    return run.frames.back();
}

// Both runs are made once: each takes a while under the sanitizers.
class CartOutcome : public CartScene {
protected:
    static void SetUpTestSuite() {}
    void SetUp() override
    {
        CartScene::SetUp();
        if (!first)
            first = std::make_unique<CartRun>(run());
    }
    static std::unique_ptr<CartRun> first;
};
std::unique_ptr<CartRun> CartOutcome::first;

TEST_F(CartOutcome, IsBuiltAsDescribedAndReportsItsSummary)
{
    const CartRun& r = *first;
    ASSERT_FALSE(r.frames.empty());
    for (const std::string& line : r.log) {
        EXPECT_EQ(line.find("Lua function '"), std::string::npos) << line;
        EXPECT_EQ(line.find("FATAL LUA ERROR"), std::string::npos) << line;
        EXPECT_EQ(line.find("invalid"), std::string::npos) << line;
        EXPECT_EQ(line.find("No ground model"), std::string::npos) << line;
    }
    EXPECT_NE(r.summary.find("cart: 295 nodes, 1865 beams, 4 wheels, 4 pressure groups"), std::string::npos)
        << r.summary;
    // the script's estimate of each tire's pressure from its measured surface agrees with the
    // library's own figure
    const size_t at = r.summary.find("cart: tire pressures ");
    ASSERT_NE(at, std::string::npos) << r.summary;
    std::istringstream reported(r.summary.substr(at + std::strlen("cart: tire pressures ")));
    ASSERT_EQ(r.finalTirePressures.size(), 4u);
    for (float library : r.finalTirePressures) {
        float bar = 0;
        ASSERT_TRUE(reported >> bar) << r.summary;
        EXPECT_NEAR(bar * 1e5f, library, 0.01f * library);
    }
}

TEST_F(CartOutcome, ShowsItsBodyMeshBeaconAndAHeadlightLitWhileDriving)
{
    const CartRun& r = *first;
    for (const std::string& line : r.log)
        EXPECT_EQ(line.find("error creating"), std::string::npos) << line;
    EXPECT_EQ(r.flexmeshes, 1);
    EXPECT_EQ(r.props, 2);
    float t = 0, v = 0, d = 0;
    ASSERT_TRUE(phaseLine(r.log, "hold", &t, &v, &d));
    EXPECT_TRUE(frameAt(r, t + 0.5f).headlightOn);
    ASSERT_TRUE(phaseLine(r.log, "stopped", &t, &v, &d));
    EXPECT_FALSE(frameAt(r, t + 0.5f).headlightOn);
    ASSERT_TRUE(phaseLine(r.log, "charge", &t, &v, &d));
    EXPECT_TRUE(frameAt(r, t + 0.5f).headlightOn);
    EXPECT_FALSE(r.frames.back().headlightOn);  // put out after the hit
}

TEST_F(CartOutcome, DrivesForwardUnderTorqueAndStopsUnderBrakes)
{
    const CartRun& r = *first;
    float t = 0, v = 0, d = 0;
    // settled and at rest before the drive
    ASSERT_TRUE(phaseLine(r.log, "accelerate", &t, &v, &d));
    EXPECT_LT(v, 0.3f);
    // 2.5 s of torque: forward (+y), several metres, at walking pace or more
    ASSERT_TRUE(phaseLine(r.log, "hold", &t, &v, &d));
    EXPECT_GT(d, 2.0f);
    EXPECT_GT(v, 3.0f);
    EXPECT_GT(frameAt(r, t).referenceVelocity.y, 3.0f);
    ASSERT_TRUE(phaseLine(r.log, "brake", &t, &v, &d));
    const float brakeStart = t, brakeSpeed = v, brakeDistance = d;
    EXPECT_GT(brakeSpeed, 3.0f);
    // the brakes bring it to a stop within a few seconds and a few metres, and it stays stopped
    ASSERT_TRUE(phaseLine(r.log, "stopped", &t, &v, &d));
    EXPECT_LT(t - brakeStart, 3.0f);
    EXPECT_LT(d - brakeDistance, 10.0f);
    EXPECT_GT(d - brakeDistance, 0.5f);
    // it rocks on its springs but goes nowhere
    const float3 stoppedAt = frameAt(r, t).referencePosition;
    for (const FrameView& f : r.frames) {
        if (f.time > t && f.time < t + 0.95f) {
            EXPECT_NEAR(f.referencePosition.y, stoppedAt.y, 0.05f) << "at " << f.time << " s";
        }
    }
}

TEST_F(CartOutcome, HitsTheWallWithoutPassingThroughAndLosesItsBumper)
{
    const CartRun& r = *first;
    float t = 0, v = 0, d = 0;
    ASSERT_TRUE(phaseLine(r.log, "hit", &t, &v, &d));
    float impact = 0;
    for (const FrameView& f : r.frames) {
        if (f.time > t - 1.0f && f.time <= t)
            impact = std::max(impact, speed(f.referenceVelocity));
    }
    EXPECT_GT(impact, 5.0f);  // a hard hit, not a touch
    float frontMost = -1e9f;
    for (const FrameView& f : r.frames)
        frontMost = std::max(frontMost, f.frontMostY);
    EXPECT_GT(frontMost, kWallFront - 0.2f);  // it reached the wall
    EXPECT_LT(frontMost, kWallBack);          // and no node came out of its far side
    // every bumper bracket broke, and little else did
    EXPECT_NE(r.summary.find("(bumper brackets 32 of 32)"), std::string::npos) << r.summary;
    EXPECT_GE(r.brokenBeams, 32);
    EXPECT_LT(r.brokenBeams, 200);
    // after the hit it comes to rest in front of the wall
    EXPECT_LT(speed(r.frames.back().referenceVelocity), 0.5f);
}

TEST_F(CartOutcome, NeverSinksBelowTheGroundAndKeepsItsTiresInflated)
{
    const CartRun& r = *first;
    float hitAt = 0, v = 0, d = 0;
    ASSERT_TRUE(phaseLine(r.log, "hit", &hitAt, &v, &d));
    float lowest = 1e9f, lowestBody = 1e9f, lowestPressure = 1e9f;
    for (const FrameView& f : r.frames) {
        lowest = std::min(lowest, f.lowestAboveGround);
        if (f.time < hitAt)
            lowestBody = std::min(lowestBody, f.lowestBodyAboveGround);
        lowestPressure = std::min(lowestPressure, f.lowestTirePressure);
        // tire nodes press a few millimetres into the ground, and so does the bumper once it
        // lies there; until the hit the body never touches it
        EXPECT_GT(f.lowestAboveGround, -0.03f) << "at " << f.time << " s";
        if (f.time < hitAt) {
            EXPECT_GT(f.lowestBodyAboveGround, 0.05f) << "at " << f.time << " s";
        }
        // built at 2.2 bar absolute; never near atmospheric
        EXPECT_GT(f.lowestTirePressure, 1.8e5f) << "at " << f.time << " s";
    }
    std::printf("lowest node %.3f m above ground, lowest body node before the hit %.3f m, lowest tire pressure %.3f bar\n",
                double(lowest), double(lowestBody), double(lowestPressure) / 1e5);
}

// The body mesh has one vertex on each chassis node (nodes 1 to 88, placed right after the
// reference node), bound to it without offset: its lowest vertex is the body's lowest node.
TEST_F(CartOutcome, BodyMeshHasAVertexOnEachChassisNode)
{
    const CartRun& r = *first;
    ASSERT_EQ(r.bodyMeshBindings.size(), 88u);
    std::set<int> nodes;
    for (const FlexVertexBinding& b : r.bodyMeshBindings) {
        nodes.insert(b.ref);
        EXPECT_LT(std::fabs(b.localPos.x) + std::fabs(b.localPos.y) + std::fabs(b.localPos.z), 1e-5f)
            << "vertex on node " << b.ref;
    }
    ASSERT_EQ(nodes.size(), 88u);
    EXPECT_EQ(*nodes.begin(), 1);
    EXPECT_EQ(*nodes.rbegin(), 88);
}

// velkor-host adds the object position it was sent to the vertices the library wrote and takes
// the terrain height from its own copy of the map: every frame it finds what the nodes showed at
// the end of the frame before, and over the run the same lowest point at the same time.
TEST_F(CartOutcome, HostFindsTheLowestBodyNodeThroughTheBodyMesh)
{
    const CartRun& r = *first;
    ASSERT_FALSE(r.frames.empty());
    float nodesLowest = 1e9f;
    float nodesLowestAt = 0;
    // The first frame shows the cart as built where the host placed it, before any substep; the
    // nodes' world positions are only placed by that frame.
    for (size_t k = 1; k < r.frames.size(); ++k) {
        const FrameView& shown = r.frames[k - 1];
        EXPECT_NEAR(r.frames[k].hostMeshAboveGround, shown.lowestMeshNodeAboveGround, 1e-4f) << "frame " << k + 1;
        if (shown.lowestMeshNodeAboveGround < nodesLowest) {
            nodesLowest = shown.lowestMeshNodeAboveGround;
            nodesLowestAt = shown.time;
        }
    }
    EXPECT_EQ(r.hostLowest.mesh, "cart_body");
    EXPECT_EQ(r.hostLowest.framesSeen, long(r.frames.size()));
    EXPECT_FALSE(r.hostLowest.nonFinite);
    EXPECT_NEAR(r.hostLowest.above, nodesLowest, 1e-4f);
    EXPECT_NEAR(r.hostLowest.time, nodesLowestAt, 1e-3);
    // it rides on its tires, well clear of the ground
    EXPECT_GT(nodesLowest, 0.05f);
    std::printf("lowest body node %.4f m above ground at %.3f s; velkor-host: %.4f m at %.3f s\n",
                double(nodesLowest), double(nodesLowestAt), double(r.hostLowest.above), r.hostLowest.time);
}

TEST_F(CartOutcome, ASecondRunEndsWithTheSameNodePositionsBitForBit)
{
    const CartRun second = run();
    ASSERT_EQ(second.finalPositions.size(), first->finalPositions.size());
    ASSERT_FALSE(second.finalPositions.empty());
    EXPECT_EQ(std::memcmp(second.finalPositions.data(), first->finalPositions.data(),
                          second.finalPositions.size() * sizeof(float3)),
              0);
    EXPECT_EQ(second.summary, first->summary);
}

} // namespace

// The contact stages are tuned for speed; every node of the cart must still end on the bits it
// had before. The values were recorded with the first complete cart scene; a change that means
// to alter results must record them anew and say why.
TEST_F(CartOutcome, EveryNodeKeepsTheRecordedBitsAtEachCheckpoint)
{
    const uint64_t expected[] = {0x55b6dfcc3c25f027ull, 0xd885a51d20b39de6ull, 0x293dbf6f7400c22bull,
                                 0x1b3c59120732187cull, 0x97e2f99db66717f1ull};
    const CartRun& r = *first;
    ASSERT_EQ(r.checkpoints.size(), std::size(expected));
    for (size_t i = 0; i < r.checkpoints.size(); ++i)
        EXPECT_EQ(r.checkpoints[i], expected[i])
            << "after frame " << kCheckpointFrames[i] << ": 0x" << std::hex << r.checkpoints[i];
}
