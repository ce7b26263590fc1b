// The node step of every kernel against a plain per-component reference, bit for bit: on the
// test lattice and on arbitrary floats (NaN, infinities, -0, subnormals), with and without tree
// slots, and with dt == 0.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "solver/bsubstep.h"
#include "base/bmath.h"
#include "solver/bnode_integration.h"
#include "object/bobject.h"
#include "base/bsettings.h"
#include "tests/support/lattice_object.h"

using namespace VadiZov;

namespace {

using Nodes = std::vector<NodeCore>;
using Slots = std::vector<TreeSlot>;

// The step as defined: one single-precision operation at a time, in this order.
void referenceStep(Nodes& nodes, float dt, float3 origin, TreeSlot* slot)
{
    for (NodeCore& n : nodes) {
        if (dt != 0.0f) {
            n.vel.x = n.vel.x + n.force.x * n.dtOverMass;
            n.vel.y = n.vel.y + n.force.y * n.dtOverMass;
            n.vel.z = n.vel.z + n.force.z * n.dtOverMass;
            n.pos.x = n.pos.x + n.vel.x * dt;
            n.pos.y = n.pos.y + n.vel.y * dt;
            n.pos.z = n.pos.z + n.vel.z * dt;
            n.worldPos.x = n.pos.x + origin.x;
            n.worldPos.y = n.pos.y + origin.y;
            n.worldPos.z = n.pos.z + origin.z;
            if (slot && n.collides != 0) {
                slot->key[0] = sortableKey(n.worldPos.x);
                slot->key[1] = sortableKey(n.worldPos.y);
                slot->key[2] = sortableKey(n.worldPos.z);
                ++slot;
            }
        }
        n.force.x = 0.0f;
        n.force.y = 0.0f;
        n.force.z = n.gravityForce;
    }
}

uint32_t bitsOf(float f) { return std::bit_cast<uint32_t>(f); }
float fromBits(uint32_t b) { return std::bit_cast<float>(b); }
bool isNan(float f) { return f != f; }

std::string hexBits(float f)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", unsigned(bitsOf(f)));
    return text;
}

// Exact: every byte of every record. EitherNan: the same, except that a written component may
// hold another NaN where the reference holds a NaN. When two different NaNs meet in one
// operation the survivor depends on the operand order the compiler picks for that commutative
// operation: the same plain loop compiled in two places already disagrees there.
enum class Nan { Exact, EitherNan };

::testing::AssertionResult sameNodes(const Nodes& got, const Nodes& want, Nan nan)
{
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << got.size() << " nodes, expected " << want.size();
    for (size_t i = 0; i < got.size(); ++i) {
        const float3* g[] = {&got[i].worldPos, &got[i].pos, &got[i].vel, &got[i].force};
        const float3* w[] = {&want[i].worldPos, &want[i].pos, &want[i].vel, &want[i].force};
        for (size_t f = 0; f < 12; ++f) {
            const float a = (&g[f / 3]->x)[f % 3];
            const float b = (&w[f / 3]->x)[f % 3];
            if (bitsOf(a) == bitsOf(b) || (nan == Nan::EitherNan && isNan(a) && isNan(b)))
                continue;
            static const char* const names[] = {"worldPos", "pos", "vel", "force"};
            return ::testing::AssertionFailure() << "node " << i << ' ' << names[f / 3] << '.' << "xyz"[f % 3]
                                                 << ": got " << hexBits(a) << ", expected " << hexBits(b);
        }
        // Every other byte as it was, padding included but for the four bytes after worldPos,
        // which the wide kernels write with it.
        NodeCore gotRest = got[i], wantRest = want[i];
        for (NodeCore* n : {&gotRest, &wantRest}) {
            n->worldPos = n->pos = n->vel = n->force = float3();
            std::memset(reinterpret_cast<unsigned char*>(&n->worldPos) + sizeof(float3), 0, 4);
        }
        if (std::memcmp(&gotRest, &wantRest, sizeof(NodeCore)) != 0)
            return ::testing::AssertionFailure() << "node " << i
                                                 << ": a field the step does not write (or the padding) changed its bits";
    }
    return ::testing::AssertionSuccess();
}

// What the slots must hold after a step that gave `after`: each colliding node, in node order,
// the keys of its new worldPos; the ids and every further slot as they were.
Slots expectedSlots(const Slots& before, const Nodes& after)
{
    Slots out = before;
    size_t k = 0;
    for (const NodeCore& n : after)
        if (n.collides != 0) {
            out.at(k).key[0] = sortableKey(n.worldPos.x);
            out.at(k).key[1] = sortableKey(n.worldPos.y);
            out.at(k).key[2] = sortableKey(n.worldPos.z);
            ++k;
        }
    return out;
}

::testing::AssertionResult sameSlots(const Slots& got, const Slots& want)
{
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << got.size() << " slots, expected " << want.size();
    for (size_t i = 0; i < want.size(); ++i)
        if (std::memcmp(&got[i], &want[i], sizeof(TreeSlot)) != 0)
            return ::testing::AssertionFailure()
                   << "slot " << i << ": keys (" << got[i].key[0] << ", " << got[i].key[1] << ", " << got[i].key[2]
                   << ") ids (" << got[i].node << ", " << got[i].object << "), expected keys (" << want[i].key[0]
                   << ", " << want[i].key[1] << ", " << want[i].key[2] << ") ids (" << want[i].node << ", "
                   << want[i].object << ")";
    return ::testing::AssertionSuccess();
}

// One slot per colliding node plus one that must stay untouched, all filled with a pattern.
Slots patternSlots(const Nodes& nodes)
{
    size_t colliding = 0;
    for (const NodeCore& n : nodes)
        colliding += n.collides != 0;
    Slots slots(colliding + 1);
    std::memset(slots.data(), 0xA5, slots.size() * sizeof(TreeSlot));
    for (size_t i = 0; i < slots.size(); ++i) {
        slots[i].node = int16_t(i);
        slots[i].object = int16_t(-7);
    }
    return slots;
}

// Float values as they come: ordinary ones, huge and tiny ones, subnormals, signed zeros,
// infinities and NaNs (quiet and signalling, either sign, any payload).
float arbitraryFloat(std::mt19937& rng)
{
    static const float special[] = {0.0f,     -0.0f,    std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::infinity(),  FLT_MAX,  -FLT_MAX,
                                    FLT_MIN,  -FLT_MIN, std::numeric_limits<float>::denorm_min(),
                                    1.0f,     -1.0f};
    const uint32_t r = rng();
    switch (rng() % 10) {
    case 0:
        return special[r % std::size(special)];
    case 1:
        return fromBits(0x7F800000u | (r & 0x807FFFFFu) | ((r & 0x007FFFFFu) == 0 ? 1u : 0u));  // NaN
    case 2:
        return fromBits(r & 0x807FFFFFu);  // subnormal (or zero)
    case 3:
    case 4:
        return (r & 0x7F800000u) == 0x7F800000u ? fromBits(r & 0xBFFFFFFFu) : fromBits(r);  // any finite
    default:
        return fromBits((r & 0x807FFFFFu) | ((107u + (r >> 23) % 40u) << 23));  // |x| in [2^-20, 2^20)
    }
}

// Every byte random, then each float field drawn from arbitraryFloat; collides is any byte.
Nodes arbitraryNodes(std::mt19937& rng, int count)
{
    Nodes nodes(static_cast<size_t>(count));
    for (NodeCore& n : nodes) {
        auto* bytes = reinterpret_cast<unsigned char*>(&n);
        for (size_t b = 0; b < sizeof(NodeCore); ++b)
            bytes[b] = static_cast<unsigned char>(rng());
        for (float3* v : {&n.worldPos, &n.pos, &n.vel, &n.force, &n.lastStaticQueryPos})
            *v = float3(arbitraryFloat(rng), arbitraryFloat(rng), arbitraryFloat(rng));
        n.dtOverMass = arbitraryFloat(rng);
        n.gravityForce = arbitraryFloat(rng);
        if (rng() % 3 == 0)
            n.collides = 0;
    }
    return nodes;
}

// Nodes taken from the test lattice, with forces as a substep of beam forces leaves them.
Nodes latticeNodes()
{
    auto object = VadiZov::testing::makeLattice();
    Nodes nodes(object->nodes, object->nodes + object->node_count);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> force(-3000.0f, 3000.0f);
    for (NodeCore& n : nodes)
        n.force = float3(force(rng), force(rng), force(rng));
    return nodes;
}

const char* kernelName(SimdKernel k)
{
    switch (k) {
    case SimdKernel::Scalar:
        return "Scalar";
    case SimdKernel::Sse2:
        return "Sse2";
    case SimdKernel::Avx2:
        return "Avx2";
    }
    return "Unknown";
}

struct NodeKernels : ::testing::TestWithParam<SimdKernel> {
    void SetUp() override
    {
        if (!simdKernelSupported(GetParam()))
            GTEST_SKIP() << kernelName(GetParam()) << " is not supported on this CPU or build";
    }

    // Steps a copy of `start` with the kernel and one with the reference (slots optional) and
    // checks nodes and slots. Returns the kernel's nodes for the next step.
    Nodes checkStep(const Nodes& start, float dt, float3 origin, bool withSlots, Nan nan)
    {
        Nodes got = start, want = start;
        Slots slots = patternSlots(start), refSlots = slots;
        const Slots before = slots;
        integrateNodesWith(GetParam(), got.data(), int(got.size()), dt, origin, withSlots ? slots.data() : nullptr,
                           int(slots.size()));
        referenceStep(want, dt, origin, withSlots ? refSlots.data() : nullptr);
        EXPECT_TRUE(sameNodes(got, want, nan)) << "dt " << hexBits(dt);
        if (!withSlots || dt == 0.0f) {
            EXPECT_TRUE(sameSlots(slots, before)) << "slots written";
        } else {
            EXPECT_TRUE(sameSlots(slots, expectedSlots(before, got)));
        }
        if (nan == Nan::Exact) {
            EXPECT_TRUE(sameSlots(slots, refSlots));
        }
        return got;
    }
};

TEST_P(NodeKernels, LatticeSubstepsMatchTheReferenceExactly)
{
    const float3 origin(1000.25f, -37.5f, 2.0f);
    for (bool withSlots : {false, true}) {
        SCOPED_TRACE(withSlots ? "with slots" : "without slots");
        Nodes nodes = latticeNodes();
        std::mt19937 rng(11);
        std::uniform_real_distribution<float> force(-3000.0f, 3000.0f);
        for (int substep = 0; substep < 4; ++substep) {
            nodes = checkStep(nodes, kSubstepTime, origin, withSlots, Nan::Exact);
            for (NodeCore& n : nodes)  // fresh beam forces on top of the weight
                n.force = float3(n.force.x + force(rng), n.force.y + force(rng), n.force.z + force(rng));
        }
    }
}

TEST_P(NodeKernels, ArbitraryFloatsMatchTheReference)
{
    for (uint32_t seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        std::mt19937 rng(seed);
        for (int count : {0, 1, 2, 3, 7, 64, 301}) {
            SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(count) + " nodes");
            const Nodes start = arbitraryNodes(rng, count);
            float dt = arbitraryFloat(rng);
            if (dt == 0.0f)
                dt = kSubstepTime;  // the reset-only branch has its own test
            const float3 origin(arbitraryFloat(rng), arbitraryFloat(rng), arbitraryFloat(rng));
            checkStep(start, dt, origin, false, Nan::EitherNan);
            checkStep(start, dt, origin, true, Nan::EitherNan);
        }
    }
}

// Cases where at most one NaN reaches any operation: then its payload is defined, quieted by
// arithmetic and kept as it is by a plain copy, and must come out exactly as in the reference.
TEST_P(NodeKernels, SpecialValuesWithOneNanSourceMatchExactly)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float sNan = fromBits(0x7F800123u), negNan = fromBits(0xFFC0BEEFu);
    const float tiny = std::numeric_limits<float>::denorm_min();
    struct Case {
        const char* name;
        std::function<void(NodeCore&, float& dt, float3& origin)> set;
    };
    const Case cases[] = {
        {"signalling NaN force.y", [&](NodeCore& n, float&, float3&) { n.force.y = sNan; }},
        {"negative NaN vel.z", [&](NodeCore& n, float&, float3&) { n.vel.z = negNan; }},
        {"NaN pos.x", [&](NodeCore& n, float&, float3&) { n.pos.x = fromBits(0x7FC00042u); }},
        {"NaN dtOverMass", [&](NodeCore& n, float&, float3&) { n.dtOverMass = sNan; }},
        {"NaN dt", [&](NodeCore&, float& dt, float3&) { dt = negNan; }},
        {"NaN origin.z", [&](NodeCore&, float&, float3& o) { o.z = sNan; }},
        {"signalling NaN weight is copied", [&](NodeCore& n, float&, float3&) { n.gravityForce = sNan; }},
        {"negative zero weight", [&](NodeCore& n, float&, float3&) { n.gravityForce = -0.0f; }},
        {"NaN bits beside the force", [&](NodeCore& n, float&, float3&) {
             // collisionId, collides and the padding byte read as a float are a NaN.
             n.collisionId = -1;
             n.collides = 0xFF;
             reinterpret_cast<unsigned char*>(&n.collides)[1] = 0x7F;
         }},
        {"infinite force times zero", [&](NodeCore& n, float&, float3&) {
             n.force.x = inf;
             n.dtOverMass = 0.0f;
         }},
        {"infinity minus infinity", [&](NodeCore& n, float&, float3&) {
             n.pos.x = -inf;
             n.vel.x = inf;
             n.force.x = 1.0f;
         }},
        {"overflow", [&](NodeCore& n, float&, float3&) {
             n.force = float3(FLT_MAX, -FLT_MAX, FLT_MAX);
             n.dtOverMass = 4.0f;
         }},
        {"subnormal results", [&](NodeCore& n, float& dt, float3& o) {
             n.vel = float3(tiny, -tiny, 0.0f);
             n.force = float3(FLT_MIN, tiny, -FLT_MIN);
             n.dtOverMass = 0.25f;
             n.pos = float3(-tiny, tiny, -0.0f);
             dt = 0.5f;
             o = float3(0.0f, -0.0f, tiny);
         }},
        {"negative zeros stay negative", [&](NodeCore& n, float&, float3& o) {
             n.vel = float3(-0.0f, -0.0f, 0.0f);
             n.force = float3(-0.0f, 0.0f, -0.0f);
             n.pos = float3(-0.0f, -0.0f, -0.0f);
             o = float3(-0.0f, 0.0f, -0.0f);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Three nodes so that a node's neighbours in memory are checked as well.
        Nodes nodes(3);
        for (size_t i = 0; i < nodes.size(); ++i) {
            NodeCore& n = nodes[i];
            n.worldPos = float3(9.0f, 9.0f, 9.0f);
            n.pos = float3(1.5f + float(i), -2.25f, 3.0f);
            n.vel = float3(0.5f, -0.75f, 1.0f / 3.0f);
            n.force = float3(10.0f, -20.0f, 30.0f);
            n.dtOverMass = kSubstepTime / 7.0f;
            n.gravityForce = -68.67f;
            n.collisionId = int16_t(-1 - int(i));
            n.collides = uint8_t(i != 1);
        }
        float dt = kSubstepTime;
        float3 origin(100.0f, -5.0f, 0.125f);
        c.set(nodes[1], dt, origin);
        checkStep(nodes, dt, origin, false, Nan::Exact);
        checkStep(nodes, dt, origin, true, Nan::Exact);
    }
}

TEST_P(NodeKernels, ZeroDtOnlyResetsTheForces)
{
    std::mt19937 rng(99);
    for (float dt : {0.0f, -0.0f})
        for (int count : {1, 5, 64}) {
            SCOPED_TRACE(std::string(std::signbit(dt) ? "-0" : "+0") + ", " + std::to_string(count) + " nodes");
            const Nodes start = arbitraryNodes(rng, count);
            const Nodes got = checkStep(start, dt, float3(1.0f, 2.0f, 3.0f), true, Nan::Exact);
            for (size_t i = 0; i < got.size(); ++i) {  // and regardless of the reference
                EXPECT_EQ(bitsOf(got[i].force.x), 0u);
                EXPECT_EQ(bitsOf(got[i].force.y), 0u);
                EXPECT_EQ(bitsOf(got[i].force.z), bitsOf(start[i].gravityForce));
                EXPECT_EQ(std::memcmp(&got[i], &start[i], offsetof(NodeCore, force)), 0) << "node " << i;
            }
        }
}

INSTANTIATE_TEST_SUITE_P(AllKernels, NodeKernels,
                         ::testing::Values(SimdKernel::Scalar, SimdKernel::Sse2, SimdKernel::Avx2),
                         [](const ::testing::TestParamInfo<SimdKernel>& info) { return kernelName(info.param); });

TEST(NodeIntegration, TheBestKernelRunsHere)
{
    EXPECT_TRUE(simdKernelSupported(SimdKernel::Scalar));
    EXPECT_TRUE(simdKernelSupported(bestSimdKernel()));
#if defined(__SSE2__)
    EXPECT_NE(bestSimdKernel(), SimdKernel::Scalar);
#endif
}

// The core thread's entry: the object's nodes, node count and origin, through the kernel the
// CPU selects, still equal the reference after a few substeps.
TEST(NodeIntegration, TheObjectStepMatchesTheReferenceExactly)
{
    VadiZov::testing::LatticeShape shape;
    shape.nz = 19;  // room after the last node
    auto object = VadiZov::testing::makeLattice(shape);
    object->originOffset = float3(-512.5f, 64.0f, 0.75f);
    Nodes want(object->nodes, object->nodes + object->node_count);
    Slots slots = patternSlots(want), refSlots = slots;
    for (int substep = 0; substep < 3; ++substep) {
        for (int i = 0; i < object->node_count; ++i)  // some force besides the weight
            object->nodes[i].force.x = want[size_t(i)].force.x = float(i % 13) - 6.0f;
        BeamSubstep::integrateNodes(*object, kSubstepTime, slots.data(), int(slots.size()));
        referenceStep(want, kSubstepTime, object->originOffset, refSlots.data());
        const Nodes got(object->nodes, object->nodes + object->node_count);
        ASSERT_TRUE(sameNodes(got, want, Nan::Exact)) << "substep " << substep;
        ASSERT_TRUE(sameSlots(slots, refSlots)) << "substep " << substep;
    }
    const NodeCore unused{};
    EXPECT_EQ(std::memcmp(&object->nodes[object->node_count], &unused, sizeof(NodeCore)), 0)
        << "the node after node_count was written";
}

} // namespace
