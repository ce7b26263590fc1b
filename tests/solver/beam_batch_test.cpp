// The batched beam-force loop against the sequential one, bit for bit: a perturbed lattice whose
// beams yield and break while script callbacks rewrite later beams and nodes mid-loop, and
// arbitrary float inputs (zero lengths, infinities, NaNs, subnormals) for both batch kernels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "solver/bbeam_batch.h"
#include "solver/bbeam_forces.h"
#include "solver/bsubstep.h"
#include "solver/bsubstep_context.h"
#include "object/bobject.h"
#include "object/bobject_script.h"
#include "base/bsettings.h"
#include "tests/support/lattice_object.h"

using namespace VadiZov;

namespace {

uint32_t bitsOf(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// Its callbacks change beams just after the one that broke or yielded and kick nodes of beams
// further on, so any force computed before the callback would be stale. They also read the
// forces summed so far and add forces of their own, as a script's applyForce would: both
// must see and extend exactly the sums of the plain loop.
class MeddlingScript final : public ObjectScript {
public:
    explicit MeddlingScript(BeamObjectImpl& o) : object(o) {}
    bool vehicleDestroy(std::string&) override { return true; }
    bool vehicleResetted(bool, std::string&) override { return true; }
    bool beamBroken(int beam, float, std::string&) override
    {
        events.push_back(beam);
        meddleWithForces(beam);
        const int n = object.beam_count;
        object.beams[(beam + 1) % n].restLength *= 0.97f;
        if (beam % 3 == 0)
            object.beams[(beam + 2) % n].type = BEAM_BROKEN;
        NodeCore& node = object.nodes[object.beams[(beam + 4) % n].node2];
        node.pos.x += 0.002f;
        node.vel.z -= 0.5f;
        return true;
    }
    bool beamDeformed(int beam, float, std::string&) override
    {
        events.push_back(-1 - beam);
        meddleWithForces(beam);
        const int n = object.beam_count;
        object.beams[(beam + 1) % n].spring *= 1.01f;
        object.nodes[object.beams[(beam + 3) % n].node1].vel.y += 0.25f;
        return true;
    }
    // Reads the force of a node of an earlier beam and of the beam itself, then adds to a node
    // of a later beam.
    void meddleWithForces(int beam)
    {
        const int n = object.beam_count;
        for (int b : {std::max(0, beam - 7), beam}) {
            const float3& f = object.nodes[object.beams[b].node2].force;
            forcesSeen.push_back(bitsOf(f.x) ^ bitsOf(f.y) * 3u ^ bitsOf(f.z) * 7u);
        }
        object.nodes[object.beams[(beam + 5) % n].node1].force += float3(0.125f, -3.5f, 1e-3f);
    }
    BeamObjectImpl& object;
    std::vector<int> events;  // broken beams as themselves, deformed ones as -1 - beam
    std::vector<uint32_t> forcesSeen;
};

struct Body {
    std::unique_ptr<MeddlingScript> script;  // outlives the object, which may call it
    std::unique_ptr<BeamObjectImpl> object;
};

// A lattice that yields and breaks under kicks, with every beam type mixed in and one beam
// whose two ends are the same node.
Body makeBody()
{
    VadiZov::testing::LatticeShape shape;
    shape.strength = 9000.0f;
    shape.deform = 4000.0f;
    Body body{nullptr, VadiZov::testing::makeLattice(shape)};
    BeamObjectImpl& o = *body.object;
    for (int b = 0; b < o.beam_count; ++b) {
        BeamCore& beam = o.beams[b];
        BeamParams& p = o.beamParams[b];
        p.deformTriggerRatio = 0.001f;  // yields reach the script
        switch (b % 97) {
        case 5:
            beam.type = BEAM_ANISOTROPIC;
            p.p0 = 0.004f;  // breaks when stretched beyond 4 mm
            p.p4 = beam.spring * 0.5f;
            p.p5 = beam.damp;
            break;
        case 11:
            beam.type = BEAM_BOUNDED;
            p.p0 = p.p1 = 0.01f;
            p.p2 = beam.spring * 2.0f;
            p.p3 = beam.damp * 2.0f;
            p.p4 = p.p5 = beam.damp;
            p.p6 = p.p7 = beam.damp * 0.5f;
            beam.damp = 0.05f;  // the cut-off speed
            break;
        case 17:
            beam.type = BEAM_PRESSURED;
            p.p0 = 1.0f;
            p.p1 = 2000.0f;
            p.p2 = -0.2f;  // the volume crosses zero near the rest length
            p.p3 = 500.0f;
            p.p7 = 7000.0f;
            break;
        case 23:
            beam.type = BEAM_HYDRO;
            break;
        case 29:
            beam.type = BEAM_SUPPORT;
            break;
        case 31:
            beam.node2 = beam.node1;
            break;
        default:
            break;
        }
    }
    body.script = std::make_unique<MeddlingScript>(o);
    o.setScript(body.script.get());
    return body;
}

// The same bits, except that any NaN equals any NaN: which of two NaN operands an x86
// instruction passes on follows the operand order the compiler picked for a commutative
// operation, so NaN payloads are not fixed even between two builds of the sequential loop.
bool sameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof(float)) == 0 || (std::isnan(a) && std::isnan(b));
}

bool sameBits(const float3& a, const float3& b) { return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.z, b.z); }

bool sameBits(const BeamCore& a, const BeamCore& b)
{
    return a.node1 == b.node1 && a.node2 == b.node2 && a.type == b.type && sameBits(a.restLength, b.restLength) &&
           sameBits(a.spring, b.spring) && sameBits(a.damp, b.damp) && sameBits(a.limitForce, b.limitForce);
}

bool sameBits(const BeamParams& a, const BeamParams& b)
{
    static_assert(sizeof(BeamParams) == 14 * sizeof(float));
    const float* x = &a.p0;
    const float* y = &b.p0;
    for (int i = 0; i < 14; ++i)
        if (!sameBits(x[i], y[i]))
            return false;
    return true;
}

// Runs substeps on two equal bodies, the first with the sequential loop and the second with
// the batched one, and checks every node, beam and callback after each substep.
void compareOverSubsteps(SimdKernel kernel)
{
    Settings::gravity = -9.81f;
    Body reference = makeBody();
    Body batched = makeBody();
    BeamObjectImpl& r = *reference.object;
    BeamObjectImpl& t = *batched.object;
    SubstepContext rc, tc;
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> pickNode(0, r.node_count - 1);
    std::uniform_real_distribution<float> kick(-4.0f, 4.0f);
    for (int step = 0; step < 400; ++step) {
        if (step % 20 == 0) {
            for (int i = 0; i < 60; ++i) {
                const int n = pickNode(random);
                const float3 dv(kick(random), kick(random), kick(random));
                r.nodes[n].vel = r.nodes[n].vel + dv;
                t.nodes[n].vel = t.nodes[n].vel + dv;
            }
        }
        BeamSubstep::integrateNodes(r, kSubstepTime, nullptr);
        BeamSubstep::integrateNodes(t, kSubstepTime, nullptr);
        BeamSubstep::computeBeamForcesReference(r, rc);
        computeBeamForcesWith(t, tc, kernel);
        for (int n = 0; n < r.node_count; ++n) {
            ASSERT_TRUE(sameBits(r.nodes[n].pos, t.nodes[n].pos)) << "step " << step << " node " << n;
            ASSERT_TRUE(sameBits(r.nodes[n].vel, t.nodes[n].vel)) << "step " << step << " node " << n;
            ASSERT_TRUE(sameBits(r.nodes[n].force, t.nodes[n].force)) << "step " << step << " node " << n;
        }
        for (int b = 0; b < r.beam_count; ++b) {
            ASSERT_TRUE(sameBits(r.beams[b], t.beams[b])) << "step " << step << " beam " << b;
            ASSERT_TRUE(sameBits(r.beamParams[b], t.beamParams[b])) << "step " << step << " beam " << b;
        }
        ASSERT_EQ(reference.script->events, batched.script->events) << "step " << step;
        ASSERT_EQ(reference.script->forcesSeen, batched.script->forcesSeen) << "step " << step;
    }
    // The run must have exercised what it is about: yields and breaks mid-lattice, with most
    // beams (those after the events included) still on the common path.
    int broken = 0, deformed = 0, brokenByLaw = 0;
    for (int e : reference.script->events)
        (e >= 0 ? brokenByLaw : deformed) += 1;
    for (int b = 0; b < r.beam_count; ++b)
        broken += r.beams[b].type == BEAM_BROKEN;
    EXPECT_GT(brokenByLaw, 5);
    EXPECT_GT(deformed, 20);
    EXPECT_LT(broken, r.beam_count / 4);
}

TEST(BeamBatch, PortableKernelMatchesSequentialLoopThroughYieldsBreaksAndCallbacks)
{
    compareOverSubsteps(SimdKernel::Scalar);
}

TEST(BeamBatch, Avx2KernelMatchesSequentialLoopThroughYieldsBreaksAndCallbacks)
{
    if (!simdKernelSupported(SimdKernel::Avx2))
        GTEST_SKIP() << "this CPU has no AVX2";
    compareOverSubsteps(SimdKernel::Avx2);
}

// Random bit patterns: every class of float, in every field the law reads.
float anyFloat(std::mt19937& random)
{
    static const float specials[] = {0.0f, -0.0f, 1e-45f, -1e-40f, 1e-25f, 1e30f, -3e38f, 1.0f / 0.0f,
                                     -1.0f / 0.0f, __builtin_nanf(""), -__builtin_nanf("0x123"), 0.25f};
    switch (random() % 3) {
    case 0:
        return specials[random() % (sizeof specials / sizeof specials[0])];
    case 1: {
        const uint32_t bits = random();
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    default:
        return std::uniform_real_distribution<float>(-2.0f, 2.0f)(random);
    }
}

// An object of arbitrary floats: 64 nodes, 1003 beams (not a multiple of eight, so the kernels'
// tails run), some with both ends on one node, all types, limits low enough to yield and break.
std::unique_ptr<BeamObjectImpl> makeArbitrary(uint32_t seed)
{
    std::mt19937 random(seed);
    auto o = std::make_unique<BeamObjectImpl>();
    o->node_count = 64;
    o->beam_count = 1003;
    for (int n = 0; n < o->node_count; ++n) {
        o->nodes[n].pos = float3(anyFloat(random), anyFloat(random), anyFloat(random));
        o->nodes[n].vel = float3(anyFloat(random), anyFloat(random), anyFloat(random));
        o->nodes[n].force = float3(anyFloat(random), anyFloat(random), anyFloat(random));
    }
    for (int i = 0; i < o->beam_count; ++i) {
        BeamCore& b = o->beams[i];
        b.node1 = int16_t(random() % 64);
        b.node2 = random() % 8 == 0 ? b.node1 : int16_t(random() % 64);
        b.restLength = anyFloat(random);
        b.spring = anyFloat(random);
        b.damp = anyFloat(random);
        b.limitForce = random() % 2 ? 1e30f : anyFloat(random);
        b.type = int16_t(random() % 4 == 0 ? random() % 7 : int(BEAM_NORMAL));
        float* params = &o->beamParams[i].p0;
        for (size_t k = 0; k < sizeof(BeamParams) / sizeof(float); ++k)
            params[k] = anyFloat(random);
    }
    return o;
}

TEST(BeamBatch, EveryKernelMatchesSequentialLoopOnArbitraryFloats)
{
    for (SimdKernel kernel : {SimdKernel::Scalar, SimdKernel::Avx2}) {
        if (!simdKernelSupported(kernel))
            continue;
        for (uint32_t seed = 1; seed <= 40; ++seed) {
            auto r = makeArbitrary(seed);
            auto t = makeArbitrary(seed);
            SubstepContext rc, tc;
            BeamSubstep::computeBeamForcesReference(*r, rc);
            computeBeamForcesWith(*t, tc, kernel);
            for (int n = 0; n < r->node_count; ++n)
                ASSERT_TRUE(sameBits(r->nodes[n].force, t->nodes[n].force)) << "seed " << seed << " node " << n;
            for (int b = 0; b < r->beam_count; ++b) {
                ASSERT_TRUE(sameBits(r->beams[b], t->beams[b])) << "seed " << seed << " beam " << b;
                ASSERT_TRUE(sameBits(r->beamParams[b], t->beamParams[b])) << "seed " << seed << " beam " << b;
            }
        }
    }
}

TEST(BeamBatch, KernelsGiveTheSameBitsForEveryPlainBeam)
{
    if (!simdKernelSupported(SimdKernel::Avx2))
        GTEST_SKIP() << "this CPU has no AVX2";
    auto portable = std::make_unique<BeamBatch>();
    auto avx2 = std::make_unique<BeamBatch>();
    int plain = 0, nonFinite = 0;
    for (uint32_t seed = 100; seed < 140; ++seed) {
        auto o = makeArbitrary(seed);
        for (int first = 0; first < o->beam_count; first += BeamBatch::kSize) {
            const int n = std::min(BeamBatch::kSize, o->beam_count - first);
            beamBatchPortable(o->nodes, o->beams + first, n, *portable);
            beamBatchAvx2(o->nodes, o->beams + first, n, *avx2);
            for (int i = 0; i < n; ++i) {
                ASSERT_EQ(portable->plain[i], avx2->plain[i]) << "seed " << seed << " beam " << first + i;
                if (!portable->plain[i])
                    continue;
                ++plain;
                nonFinite += !std::isfinite(portable->fx[i]);
                ASSERT_TRUE(sameBits(portable->fx[i], avx2->fx[i])) << "seed " << seed << " beam " << first + i;
                ASSERT_TRUE(sameBits(portable->fy[i], avx2->fy[i])) << "seed " << seed << " beam " << first + i;
                ASSERT_TRUE(sameBits(portable->fz[i], avx2->fz[i])) << "seed " << seed << " beam " << first + i;
            }
        }
    }
    EXPECT_GT(plain, 1000);
    EXPECT_GT(nonFinite, 10);
}

// Bodies whose beam list changes between substeps, or whose node has more beams than the
// interleaved layout can pad for: the force sums must follow and stay those of the plain loop.
struct TopologyCase {
    const char* name;
    void (*prepare)(BeamObjectImpl&);
    void (*change)(BeamObjectImpl&, int step);  // between substeps
    bool grouped;                               // the layout the sums take
};

void noChange(BeamObjectImpl&, int) {}

// Node 0 joined to every other node three times: one list of 5997 beam ends.
void addHub(BeamObjectImpl& o)
{
    for (int k = 0; k < 3; ++k)
        for (int n = 1; n < o.node_count && o.beam_count < kMaxBeams; ++n)
            o.setBeam(-1, 0, n, 1e9f, 100.0f, 1.0f, 1e9f, 1.0f);
}

void rewireBeams(BeamObjectImpl& o, int step)
{
    if (step % 7 != 3)
        return;
    for (int b = step; b < o.beam_count; b += 97)
        o.setBeam(b, (b * 13 + step) % o.node_count, (b * 29 + 1) % o.node_count, 1e9f, 30000.0f, 4.0f, 1e9f, 1.0f);
}

void resizeBeamList(BeamObjectImpl& o, int step)
{
    // Shrinks and grows the walked list within the built beams, as a script writing beam_count
    // would.
    o.beam_count = step % 2 == 0 ? 2000 + 37 * step : 4000 - step;
}

void compareWithChanges(const TopologyCase& c, SimdKernel kernel)
{
    Settings::gravity = -9.81f;
    VadiZov::testing::LatticeShape shape;
    shape.maxBeams = 4000;
    auto r = VadiZov::testing::makeLattice(shape);
    auto t = VadiZov::testing::makeLattice(shape);
    SubstepContext rc, tc;
    c.prepare(*r);
    c.prepare(*t);
    for (int step = 0; step < 40; ++step) {
        c.change(*r, step);
        c.change(*t, step);
        BeamSubstep::integrateNodes(*r, kSubstepTime, nullptr);
        BeamSubstep::integrateNodes(*t, kSubstepTime, nullptr);
        BeamSubstep::computeBeamForcesReference(*r, rc);
        computeBeamForcesWith(*t, tc, kernel);
        ASSERT_EQ(tc.forceSlots->grouped, c.grouped) << c.name;
        for (int n = 0; n < r->node_count; ++n) {
            ASSERT_TRUE(sameBits(r->nodes[n].force, t->nodes[n].force)) << c.name << " step " << step << " node " << n;
            ASSERT_TRUE(sameBits(r->nodes[n].pos, t->nodes[n].pos)) << c.name << " step " << step << " node " << n;
        }
    }
}

TEST(BeamBatch, ForceSumsFollowBeamListChangesAndHubNodes)
{
    const TopologyCase cases[] = {
        {"hub node", addHub, noChange, false},
        {"beams rewired", [](BeamObjectImpl&) {}, rewireBeams, true},
        {"beam list resized", [](BeamObjectImpl&) {}, resizeBeamList, true},
    };
    for (SimdKernel kernel : {SimdKernel::Scalar, SimdKernel::Avx2}) {
        if (!simdKernelSupported(kernel))
            continue;
        for (const TopologyCase& c : cases)
            compareWithChanges(c, kernel);
    }
}

// A broken beam adds nothing at either end, not even +0: a force of -0 (any node whose only
// beams are broken, with no gravity) keeps its sign.
TEST(BeamBatch, BrokenBeamsLeaveNegativeZeroForcesAlone)
{
    for (SimdKernel kernel : {SimdKernel::Scalar, SimdKernel::Avx2}) {
        if (!simdKernelSupported(kernel))
            continue;
        auto o = std::make_unique<BeamObjectImpl>();
        o->node_count = 3;
        o->beam_count = 2;
        for (int n = 0; n < 3; ++n) {
            o->nodes[n].pos = float3(float(n), 0.0f, 0.0f);
            o->nodes[n].force = float3(-0.0f, -0.0f, -0.0f);
        }
        o->beams[0] = BeamCore{0, 1, 1.0f, 100.0f, 1.0f, 1e9f, BEAM_BROKEN};
        o->beams[1] = BeamCore{2, 1, 1.0f, 100.0f, 1.0f, 1e9f, BEAM_BROKEN};
        SubstepContext context;
        computeBeamForcesWith(*o, context, kernel);
        for (int n = 0; n < 3; ++n)
            EXPECT_TRUE(std::signbit(o->nodes[n].force.x) && std::signbit(o->nodes[n].force.z)) << "node " << n;
    }
}

} // namespace
