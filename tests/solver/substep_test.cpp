// Numeric scenarios of one object's substep, driven stage by stage on the test's thread:
// integration, the floating frame and render snapshot, and the beam laws with yield and break.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>

#include "solver/bbeam_events.h"
#include "solver/bbeam_forces.h"
#include "solver/bsubstep.h"
#include "solver/bsubstep_context.h"
#include "base/blog.h"
#include "base/bmath.h"
#include "object/bobject.h"
#include "base/bglobals.h"
#include "base/bsettings.h"
#include "tests/support/bit_checksum.h"
#include "tests/support/recording_host.h"
#include "tests/support/recording_script.h"
#include "tests/support/scoped_settings.h"

using namespace VadiZov;

namespace {

struct Substeps : ::testing::Test {
    void SetUp() override
    {
        resetLogStateForTests();
        g_logSink = &sink;
        Settings::gravity = -9.81f;
        object = std::make_unique<BeamObjectImpl>();
        object->setScript(&script);
        slots[0] = object.get();
        params.objects = slots;
        params.objectCount = 1;
        params.dt = kSubstepTime;
        params.invDt = kInvSubstepTime;
    }
    void TearDown() override
    {
        object->setScript(nullptr);
        g_logSink = nullptr;
    }
    // One frame of n substeps as the core thread runs it.
    void frame(int n)
    {
        params.substeps = n;
        params.frameTime = float(n) * kSubstepTime;
        for (int i = 0; i < n; ++i) {
            params.currentSubstep = i;
            params.lastSubstep = i == n - 1;
            BeamSubstep::beginSubstep(*object, params, nullptr);
            BeamSubstep::forceStage(*object, context, params);
            BeamSubstep::contactStage(*object, context, params);
        }
    }
    int node(float x, float y, float z, float mass = 1.0f, bool collides = true)
    {
        return object->setNode(-1, float3(x, y, z), mass, 0, 1.0f, -1, false, collides);
    }

    VadiZov::testing::RecordingLogSink sink;
    VadiZov::testing::RecordingScript script;
    std::unique_ptr<BeamObjectImpl> object;
    BeamObjectRecords* slots[1] = {};
    SubstepContext context;  // what the object's core thread would own
    VadiZov::testing::ScopedSettings settings;
    core_parameters_t params;
};

TEST_F(Substeps, FreeFallStartsOneSubstepLateAndIntegratesVelocityFirst)
{
    node(0.0f, 0.0f, 10.0f, 2.0f);
    const float g = -9.81f, dt = 0.0005f;
    frame(1);  // a freshly built node carries no force: nothing moves
    EXPECT_EQ(object->nodes[0].vel.z, 0.0f);
    EXPECT_EQ(object->nodes[0].pos.z, 0.0f);  // shifted: the reference node sits at the origin
    EXPECT_EQ(object->nodes[0].force.z, 2.0f * g);

    object->nodes[0].pos = float3(0.0f, 0.0f, 10.0f);
    frame(1);
    // v = F x dt/m, then x += v x dt (semi-implicit): after one step both have moved.
    const float v1 = (2.0f * g) * (dt / 2.0f);
    EXPECT_EQ(object->nodes[0].vel.z, v1);
    EXPECT_FLOAT_EQ(object->nodes[0].worldPos.z, 10.0f + v1 * dt);

    // After n more steps the velocity is (n + 1) g dt, well within float rounding.
    object->refNode = 0;
    const int n = 1999;
    for (int i = 0; i < n; ++i) {
        params.currentSubstep = 1;
        params.lastSubstep = false;
        BeamSubstep::beginSubstep(*object, params, nullptr);
    }
    EXPECT_NEAR(object->nodes[0].vel.z, g * dt * float(n + 1), 1e-4f);
    EXPECT_EQ(object->substepCount, 2001);
    EXPECT_NEAR(object->simTime, 2001 * dt, 1e-4f);  // a float sum of 2001 steps
}

TEST_F(Substeps, ZeroDtOnlyResetsTheForces)
{
    node(1.0f, 2.0f, 3.0f, 4.0f);
    object->nodes[0].vel = float3(1.0f, 1.0f, 1.0f);
    object->nodes[0].force = float3(5.0f, 5.0f, 5.0f);
    BeamSubstep::integrateNodes(*object, 0.0f, nullptr);
    EXPECT_EQ(object->nodes[0].pos.x, 1.0f);
    EXPECT_EQ(object->nodes[0].vel.x, 1.0f);
    EXPECT_EQ(object->nodes[0].force.x, 0.0f);
    EXPECT_EQ(object->nodes[0].force.z, 4.0f * -9.81f);
}

TEST_F(Substeps, CollidingNodesWriteTheirKeysInNodeOrder)
{
    object->originOffset = float3(100.0f, -5.0f, 0.0f);
    node(1.0f, 1.0f, 1.0f, 1.0f, true);
    node(-300.0f, 0.0f, 2.0f, 1.0f, false);  // no slot
    node(-200.0f, 7.0f, -1.0f, 1.0f, true);
    TreeSlot slots[3];
    std::memset(slots, 0x55, sizeof slots);
    BeamSubstep::integrateNodes(*object, kSubstepTime, slots, 3);
    EXPECT_EQ(slots[0].key[0], sortableKey(101.0f));
    EXPECT_EQ(slots[0].key[1], sortableKey(-4.0f));
    EXPECT_EQ(slots[1].key[0], sortableKey(-100.0f));
    EXPECT_EQ(slots[1].key[2], sortableKey(-1.0f));
    EXPECT_LT(slots[1].key[0], slots[0].key[0]);
    EXPECT_EQ(slots[2].key[0], 0x55555555);  // untouched: only two nodes collide
}

TEST_F(Substeps, LastSubstepShiftsToTheReferenceNodeAndSnapshots)
{
    object->originOffset = float3(10.0f, 20.0f, 30.0f);
    node(1.0f, 2.0f, 3.0f);
    node(2.0f, 4.0f, 5.0f);
    node(3.0f, 1.0f, 4.0f);
    object->refNode = 1;
    Settings::gravity = 0.0f;
    object->setGravity(0.0f);
    params.renderBuffer = 1;
    frame(3);
    const NodeCore* n = object->nodes;
    EXPECT_EQ(n[1].pos.x, 0.0f);
    EXPECT_EQ(n[1].pos.y, 0.0f);
    EXPECT_EQ(n[1].pos.z, 0.0f);
    EXPECT_EQ(n[0].pos.x, -1.0f);
    EXPECT_EQ(n[2].pos.y, -3.0f);
    // World positions are those before the shift: the frame step moves originOffset after.
    EXPECT_EQ(n[1].worldPos.x, 12.0f);
    EXPECT_EQ(n[1].worldPos.z, 35.0f);
    const RenderPosition& r = object->renderPositions[1][2];
    EXPECT_EQ(r.x, 1.0f);
    EXPECT_EQ(r.spare, 0.0f);
    EXPECT_EQ(r.y, -3.0f);
    EXPECT_EQ(r.z, -1.0f);
    // Every node lies at or below the reference in z, yet the box still holds the origin.
    EXPECT_EQ(object->boundingBoxMin.x, -1.0f);
    EXPECT_EQ(object->boundingBoxMax.x, 1.0f);
    EXPECT_EQ(object->boundingBoxMin.z, -2.0f);
    EXPECT_EQ(object->boundingBoxMax.z, 0.0f);
    EXPECT_EQ(object->renderPositions[0][2].y, 1.0f);  // the other buffer keeps the built positions
}

TEST_F(Substeps, LuaStepsRunOnTheirSubstepsAndFailuresAreLogged)
{
    node(0.0f, 0.0f, 0.0f);
    frame(1);
    frame(3);
    std::vector<std::string> names;
    for (const auto& c : script.calls)
        names.push_back(c.name);
    const std::vector<std::string> expected = {"updateCore",       "graphicsStepLocal", "physicsStep", "updateCore",
                                               "graphicsStepLocal", "physicsStep",       "physicsStep", "physicsStep"};
    EXPECT_EQ(names, expected);
    EXPECT_FLOAT_EQ(float(script.calls[1].a), 0.0005f);  // frame time of a one-substep frame
    EXPECT_FLOAT_EQ(float(script.calls[4].a), 0.0015f);
    EXPECT_FLOAT_EQ(float(script.calls[2].a), 0.0005f);

    script.failWith = "boom in physicsStep";
    frame(1);
    ASSERT_FALSE(sink.lines.empty());
    EXPECT_EQ(sink.lines.back().level, LOG_ERROR);
    EXPECT_EQ(sink.lines.back().text, "boom in physicsStep");
}

// ---- beams

struct Beams : Substeps {
    // Two nodes of 1 kg along x, no gravity; returns the beam id.
    int pair(float length, float restFactor, float strength, float spring, float damp, float deform)
    {
        Settings::gravity = 0.0f;
        node(0.0f, 0.0f, 0.0f);
        node(length, 0.0f, 0.0f);
        return object->setBeam(-1, 0, 1, strength, spring, damp, deform, restFactor).id();
    }
    float forceOnFirstNode()
    {
        for (int i = 0; i < object->node_count; ++i)
            object->nodes[i].force = float3();
        BeamSubstep::computeBeamForces(*object, context);
        return object->nodes[0].force.x;  // > 0: pulled towards node 1 at +x
    }
};

TEST_F(Beams, NormalBeamAtRestGivesNoForceAndStretchedPullsBack)
{
    pair(1.0f, 1.0f, 1e9f, 1000.0f, 10.0f, 1e9f);
    EXPECT_EQ(forceOnFirstNode(), 0.0f);
    object->beams[0].restLength = 0.9f;  // stretched by 0.1 m: 100 N pulling the nodes together
    EXPECT_NEAR(forceOnFirstNode(), 100.0f, 1e-3f);
    EXPECT_EQ(object->nodes[1].force.x, -object->nodes[0].force.x);
    object->nodes[1].vel = float3(2.0f, 0.0f, 0.0f);  // lengthening at 2 m/s: damping adds 20 N
    EXPECT_NEAR(forceOnFirstNode(), 120.0f, 1e-3f);
    object->beams[0].type = BEAM_HYDRO;  // types without their own law follow the normal one
    EXPECT_NEAR(forceOnFirstNode(), 120.0f, 1e-3f);
}

TEST_F(Beams, TwoNodeSpringOscillatesWithItsPeriodAndKeepsMomentumExactly)
{
    // Reduced mass 0.5 kg, k = 2000 N/m: period 2 pi sqrt(0.5 / 2000) = 0.0993 s.
    pair(1.1f, 1.0f / 1.1f, 1e9f, 2000.0f, 0.0f, 1e9f);
    object->nodes[0].force = float3();
    object->nodes[1].force = float3();
    float previous = 1.1f;
    int crossings = 0, firstCrossing = -1, lastCrossing = -1;
    for (int i = 1; i <= 2000; ++i) {  // one second
        params.currentSubstep = 1;
        params.lastSubstep = false;
        BeamSubstep::beginSubstep(*object, params, nullptr);
        BeamSubstep::forceStage(*object, context, params);
        ASSERT_EQ(object->nodes[0].vel.x, -object->nodes[1].vel.x) << "substep " << i;
        const float len = object->nodes[1].pos.x - object->nodes[0].pos.x;
        ASSERT_GT(len, 0.85f);
        ASSERT_LT(len, 1.15f);
        if ((previous - 1.0f) * (len - 1.0f) < 0.0f) {
            if (firstCrossing < 0)
                firstCrossing = i;
            lastCrossing = i;
            ++crossings;
        }
        previous = len;
    }
    // Half a period between crossings of the rest length.
    const float period = 2.0f * float(lastCrossing - firstCrossing) * kSubstepTime / float(crossings - 1);
    EXPECT_NEAR(period, 0.0993f, 0.0005f);
}

TEST_F(Beams, BrokenBeamReportsItsEnergyAndCarriesNoForce)
{
    pair(1.2f, 1.0f / 1.2f, 150.0f, 1000.0f, 0.0f, 1e9f);  // 200 N > 150 N strength
    EXPECT_EQ(forceOnFirstNode(), 0.0f);
    EXPECT_EQ(object->beams[0].type, BEAM_BROKEN);
    ASSERT_EQ(script.count("beamBroken"), 1);
    EXPECT_EQ(script.calls.back().a, 0.0);
    EXPECT_NEAR(script.calls.back().b, 0.5 * 1000.0 * 0.2 * 0.2, 1e-3);  // 20 J
    EXPECT_EQ(forceOnFirstNode(), 0.0f);
    EXPECT_EQ(script.count("beamBroken"), 1);  // broken once only
    breakBeam(*object, 0);
    breakBeam(*object, 7);  // out of range: ignored
    EXPECT_EQ(script.count("beamBroken"), 1);
}

// deformBeam on a beam of spring 10000 N/m, rest 1 m, deformation limit 100 N, by length.
struct YieldCase {
    const char* what;
    float length;
    float strength;
    float expectRest;
    float expectForce;  // transmitted force value (negative pulls)
    float expectCompress, expectTension, expectStrength, expectLimit;
    bool breaks;
};

TEST_F(Beams, YieldHardensWeakensAndBreaksByTheTable)
{
    const YieldCase cases[] = {
        // Stretched 5 cm: 500 N pull; new rest 1.04, force halfway to the limit (300 N), tension
        // limit hardened by 1.04, strength lowered by the excess (0.04 m x 10000 N/m).
        {"tension yield", 1.05f, 1000.0f, 1.04f, -300.0f, 100.0f, -104.0f, 600.0f, 100.0f, false},
        // The weakened strength falls below the blended force: the beam breaks.
        {"tension yield then break", 1.05f, 650.0f, 1.04f, 0.0f, 100.0f, -104.0f, 250.0f, 100.0f, true},
        // Compressed 10 cm: 1000 N push; new rest 0.91, 550 N, compression limit x 1/0.91.
        {"compression yield", 0.9f, 1000.0f, 0.91f, 550.0f, 109.89011f, -100.0f, 1000.0f, 100.0f, false},
        {"compression yield then break", 0.9f, 500.0f, 0.91f, 0.0f, 109.89011f, -100.0f, 500.0f, 100.0f, true},
    };
    for (const YieldCase& c : cases) {
        SCOPED_TRACE(c.what);
        object = std::make_unique<BeamObjectImpl>();
        object->setScript(&script);
        script.calls.clear();
        pair(1.0f, 1.0f, c.strength, 10000.0f, 0.0f, 100.0f);
        object->beamParams[0].deformTriggerRatio = 0.005f;
        object->nodes[1].pos.x = c.length;
        const float fx = forceOnFirstNode();
        const BeamCore& b = object->beams[0];
        const BeamParams& p = object->beamParams[0];
        EXPECT_NEAR(b.restLength, c.expectRest, 1e-5f);
        EXPECT_NEAR(-fx, c.expectForce, 1e-2f);
        EXPECT_NEAR(p.deformCompress, c.expectCompress, 1e-3f);
        EXPECT_NEAR(p.deformTension, c.expectTension, 1e-3f);
        EXPECT_NEAR(p.strength, c.expectStrength, 1e-2f);
        EXPECT_NEAR(b.limitForce, c.expectLimit, 1e-3f);
        EXPECT_EQ(b.type == BEAM_BROKEN, c.breaks);
        ASSERT_EQ(script.count("beamDeformed"), 1);
        EXPECT_NEAR(script.calls[0].b, std::fabs(c.expectRest - 1.0f), 1e-5);
        EXPECT_NEAR(p.lastNotifiedLength, c.expectRest, 1e-6f);
    }
}

TEST_F(Beams, ShortYieldIsRefusedButTheBeamStillBreaks)
{
    // Rest 2 cm squeezed to 1 mm: the rest length would fall below 1 cm, so it does not yield.
    for (float strength : {1000.0f, 100.0f}) {
        object = std::make_unique<BeamObjectImpl>();
        object->setScript(&script);
        pair(0.02f, 1.0f, strength, 10000.0f, 0.0f, 1.0f);
        object->nodes[1].pos.x = 0.001f;
        const float fx = forceOnFirstNode();
        EXPECT_EQ(object->beams[0].restLength, 0.02f);
        EXPECT_EQ(object->beamParams[0].deformCompress, 1.0f);
        if (strength > 190.0f) {
            EXPECT_NEAR(-fx, 190.0f, 1e-2f);  // the full spring force passes
            EXPECT_NE(object->beams[0].type, BEAM_BROKEN);
        } else {
            EXPECT_EQ(fx, 0.0f);
            EXPECT_EQ(object->beams[0].type, BEAM_BROKEN);
        }
    }
}

TEST_F(Beams, AnisotropicBeamUsesItsExtensionLawAndBreaksBeyondItsElongation)
{
    const int id = pair(1.0f, 1.0f, 1e9f, 1000.0f, 0.0f, 1e9f);
    beam(object.get(), id).makeAnisotropic(5000.0f, 0.0f, 0.1f);  // breaks 10 cm beyond rest
    object->nodes[1].pos.x = 0.9f;  // compressed: the normal spring, 100 N push
    EXPECT_NEAR(forceOnFirstNode(), -100.0f, 1e-3f);
    object->nodes[1].pos.x = 1.05f;  // stretched: the extension spring, 250 N pull
    EXPECT_NEAR(forceOnFirstNode(), 250.0f, 1e-2f);
    object->nodes[1].pos.x = 1.11f;
    EXPECT_EQ(forceOnFirstNode(), 0.0f);
    EXPECT_EQ(object->beams[0].type, BEAM_BROKEN);
    EXPECT_EQ(script.count("beamBroken"), 1);
}

TEST_F(Beams, PressuredBeamPushesWithItsGasAndGuardsAnEmptyVolume)
{
    // 3 bar absolute over 0.01 m2, half the length is gas volume, bursts at 5 bar.
    const int id = pair(1.0f, 1.0f, 1e9f, 1000.0f, 0.0f, 1e9f);
    beam(object.get(), id).makePressured(300000.0f, 0.01f, 0.5f, 500000.0f);
    auto gas = [](float len) { return 0.01f * (300000.0f * 1.0f / (0.5f * len + 0.5f) - 101325.0f); };
    object->nodes[1].pos.x = 0.8f;  // compressed: gas only
    EXPECT_NEAR(-forceOnFirstNode(), gas(0.8f), 0.05f);
    object->nodes[1].pos.x = 1.1f;  // stretched: spring and gas
    EXPECT_NEAR(-forceOnFirstNode(), gas(1.1f) - 100.0f, 0.05f);
    EXPECT_NE(object->beams[0].type, BEAM_BROKEN);
    EXPECT_EQ(object->beamParams[0].deformCompress, FLT_MAX);  // never yields in compression

    // A volume coefficient above 1 can bring the gas volume to zero: no infinite gas force,
    // which would turn into NaN in the yield step.
    object->beamParams[0].p0 = 2.0f;
    object->beamParams[0].p2 = -1.0f;
    object->nodes[1].pos.x = 0.5f;
    EXPECT_EQ(forceOnFirstNode(), 0.0f);
    EXPECT_EQ(object->beams[0].restLength, 1.0f);
    EXPECT_NE(object->beams[0].type, BEAM_BROKEN);

    // Squeezed hard the gas force passes the burst force.
    object->beamParams[0].p0 = 0.5f;
    object->beamParams[0].p2 = 0.5f;
    object->nodes[1].pos.x = 0.05f;
    EXPECT_EQ(forceOnFirstNode(), 0.0f);
    EXPECT_EQ(object->beams[0].type, BEAM_BROKEN);
}

TEST_F(Beams, BoundedBeamStiffensBeyondItsBoundsAndDampsWithoutDividingByZero)
{
    const int id = pair(1.0f, 1.0f, 1e9f, 100.0f, 0.0f, 1e9f);
    // Bounds at +10 % and -10 %; 10000 N/m reached one metre beyond them; no damping.
    beam(object.get(), id).makeBounded(0.1f, 0.1f, 10100.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
    object->nodes[1].pos.x = 1.05f;  // inside: the beam's own spring, 5 N
    EXPECT_NEAR(forceOnFirstNode(), 5.0f, 1e-4f);
    object->nodes[1].pos.x = 1.2f;  // 0.1 m beyond: k' = 100 + 10000 x 0.1 = 1100, h = -220
    EXPECT_NEAR(forceOnFirstNode(), 220.0f, 1e-2f);
    object->nodes[1].pos.x = 0.8f;  // 0.1 m short of the short bound
    EXPECT_NEAR(forceOnFirstNode(), -220.0f, 1e-2f);

    // A negative cut-off speed at rest must not divide 0 by 0.
    object->nodes[1].pos.x = 1.0f;
    object->beams[0].damp = -1.0f;
    object->beamParams[0].p4 = 50.0f;
    EXPECT_EQ(forceOnFirstNode(), 0.0f);
    // Above the cut-off the damping blends towards the fast slope: s = 2, vc = 1,
    // D = (10 x 1 + 30 x 1) / 2 = 20 while lengthening: 40 N.
    object->beams[0].damp = 1.0f;
    object->beamParams[0].p5 = 10.0f;
    object->beamParams[0].p7 = 30.0f;
    object->nodes[1].vel = float3(2.0f, 0.0f, 0.0f);
    EXPECT_NEAR(forceOnFirstNode(), 40.0f, 1e-3f);
}

// Damping is capped at the ends' reduced mass over the substep: alone it can at most stop their
// relative motion in one substep, and a stiff spring with the damping at its cap stays bounded
// (a cap at the lighter end's mass let one substep reverse the motion of equal ends, and every
// such beam rang up until it blew apart).
struct DampingCap : Substeps {
    struct Ends {
        const char* what;
        float mass1, mass2;
        float damp;  // asked for
    };
    static constexpr Ends kEnds[] = {
        {"equal ends, damping far above the cap", 1.0f, 1.0f, 1e9f},
        {"equal ends, 99 % of the lighter end's mass over the substep", 1.0f, 1.0f, 0.99f * 1.0f / 0.0005f},
        {"a light end on a heavy one", 0.2f, 3.0f, 1e9f},
        {"a heavy end on a light one", 10.0f, 1.0f, 0.99f * 1.0f / 0.0005f},
    };
    // Two weightless ends 1 m apart along x, joined by one beam.
    void build(const Ends& e, float spring)
    {
        object = std::make_unique<BeamObjectImpl>();
        object->setScript(&script);
        slots[0] = object.get();
        Settings::gravity = 0.0f;
        node(0.0f, 0.0f, 0.0f, e.mass1);
        node(1.0f, 0.0f, 0.0f, e.mass2);
        object->setBeam(-1, 0, 1, 1e12f, spring, e.damp, 1e12f, 1.0f);
    }
    float relativeSpeed() const { return object->nodes[1].vel.x - object->nodes[0].vel.x; }
    void substep()
    {
        params.currentSubstep = 1;
        params.lastSubstep = false;
        BeamSubstep::beginSubstep(*object, params, nullptr);
        BeamSubstep::forceStage(*object, context, params);
    }
};

TEST_F(DampingCap, DampingAloneAtTheCapStopsTheEndsInOneSubstepWithoutReversingThem)
{
    for (const Ends& e : kEnds) {
        build(e, 0.0f);
        const float reduced = e.mass1 * e.mass2 / (e.mass1 + e.mass2);
        EXPECT_LE(object->beams[0].damp, reduced / 0.0005f * 1.000001f) << e.what;
        EXPECT_GE(object->beams[0].damp, reduced / 0.0005f * 0.999999f) << e.what;
        object->nodes[1].vel = float3(3.0f, 0.0f, 0.0f);  // lengthening at 3 m/s
        substep();  // forces of the moving ends
        substep();  // integrated: the ends now move together
        EXPECT_LE(std::fabs(relativeSpeed()), 3e-5f) << e.what;
    }
}

TEST_F(DampingCap, StiffBeamWithItsDampingAtTheCapStaysBounded)
{
    for (const Ends& e : kEnds) {
        build(e, 1e5f);
        object->nodes[1].pos.x = 1.01f;  // stretched by a centimetre
        float longest = 0.0f;
        for (int i = 0; i < 4000; ++i) {  // 2 s
            substep();
            const float stretch = std::fabs(object->nodes[1].pos.x - object->nodes[0].pos.x - 1.0f);
            longest = std::max(longest, std::isfinite(stretch) ? stretch : FLT_MAX);
        }
        EXPECT_LE(longest, 0.0101f) << e.what;
        EXPECT_LT(std::fabs(relativeSpeed()), 1e-3f) << e.what << ": damped out";
    }
}

// Damping below the cap is stored as given, and a damped pair below it moves as it did when the
// cap was the lighter end's mass over the substep (value recorded then).
TEST_F(DampingCap, BeamBelowTheCapKeepsItsValueAndItsBits)
{
    build(Ends{"below", 1.0f, 4.0f, 700.0f}, 5e4f);
    EXPECT_EQ(object->beams[0].damp, 700.0f);
    object->nodes[1].pos.x = 1.02f;
    object->nodes[0].vel = float3(0.0f, 0.5f, -1.0f);
    VadiZov::testing::BitChecksum sum;
    for (int i = 0; i < 2000; ++i) {
        substep();
        for (int n = 0; n < 2; ++n) {
            sum.add(object->nodes[n].pos);
            sum.add(object->nodes[n].vel);
        }
    }
    EXPECT_EQ(sum.value(), 0x98931491127d6a30ull) << "0x" << std::hex << sum.value();
}

TEST_F(Beams, ZeroLengthBeamGivesNoForce)
{
    pair(1.0f, 1.0f, 1e9f, 1000.0f, 10.0f, 1e9f);
    object->nodes[1].pos = object->nodes[0].pos;
    object->nodes[1].vel = float3(1.0f, 0.0f, 0.0f);
    EXPECT_EQ(forceOnFirstNode(), 0.0f);
    EXPECT_EQ(object->nodes[0].force.y, 0.0f);
}

} // namespace
