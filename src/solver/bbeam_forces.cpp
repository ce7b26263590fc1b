#include "solver/bbeam_forces.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/bassert.h"
#include "base/bconstants.h"
#include "object/bobject_records.h"
#include "solver/bbeam_batch.h"
#include "solver/bbeam_events.h"
#include "solver/bsubstep_context.h"

namespace VadiZov {

namespace {

constexpr float kMinimumYieldRestLength = 0.01f;

inline float limitOf(const BeamParams& p) { return std::min(std::min(p.strength, p.deformCompress), -p.deformTension); }

// ---- the law of each beam type: the force along the beam (positive pushes the nodes apart)
// and, through k, the spring the deformation step measures the load with.

// Normal while compressed, its extension spring and damping while stretched up to its longest
// stretch, broken beyond it.
[[gnu::always_inline]] inline float anisotropicLaw(BeamObjectRecords& object, ForceSlots& slots, int b,
                                                   const BeamParams& p, const BeamMotion& m, float& k, bool& event)
{
    if (m.L <= 0.0f)
        return normalLaw(object.beams[b], m);
    if (m.L <= p.p0) {
        k = p.p4;
        return p.p5 * m.u - p.p4 * m.L;
    }
    breakBeam(object, b, &slots);
    event = true;
    k = 0.0f;
    return 0.0f;
}

// Damping of a bounded beam at speed s: the slow value up to the cut-off speed, then blended
// towards the fast slope.
inline float boundedDamping(float s, float cutoff, float slow, float fast)
{
    if (s <= cutoff || s == 0.0f)  // s == 0 with a negative cut-off would be 0/0
        return slow;
    return (slow * cutoff + fast * (s - cutoff)) / s;
}

// Slow or fast damping by speed; beyond its long or short bound the spring and damping grow
// towards the limit values with the overshoot.
[[gnu::always_inline]] inline float boundedLaw(const BeamCore& beam, const BeamParams& p, const BeamMotion& m,
                                               float& k)
{
    const float s = std::fabs(m.u);
    const float D = m.u >= 0.0f ? boundedDamping(s, beam.damp, p.p4, p.p6) : boundedDamping(s, beam.damp, p.p5, p.p7);
    float y = 0.0f;
    if (m.L > beam.restLength * p.p0)
        y = m.L - beam.restLength * p.p0;
    else if (m.L < -(p.p1 * beam.restLength))
        y = -(p.p1 * beam.restLength) - m.L;
    if (y > 0.0f) {
        k = beam.spring + (p.p2 - beam.spring) * y;
        const float D2 = D + (p.p3 - D) * y;
        return D2 * m.u - k * m.L;
    }
    return D * m.u - beam.spring * m.L;
}

// Isothermal gas: a volume that reaches zero or below has no meaningful pressure, so it then
// gives no gas force rather than an infinite one. Compressed, the gas alone pushes.
[[gnu::always_inline]] inline float pressuredLaw(const BeamCore& beam, const BeamParams& p, const BeamMotion& m)
{
    const float volume = p.p0 * m.len + p.p2;
    const float P = volume > 0.0f ? p.p1 / volume - p.p3 : 0.0f;
    return m.L < 0.0f ? P : normalLaw(beam, m) + P;
}

float deformTracked(BeamObjectRecords& object, ForceSlots& slots, int b, float a, float k, float len, float L,
                    bool& event);

// a.force += f, then c.force -= f: the same roundings either way.
inline void applyForce(NodeCore& a, NodeCore& c, float fx, float fy, float fz)
{
#ifdef VELKOR_HAVE_SIMD
    simd::addThenSubtract3(&a.force.x, &c.force.x, fx, fy, fz);
#else
    a.force.x += fx;
    a.force.y += fy;
    a.force.z += fz;
    c.force.x -= fx;
    c.force.y -= fy;
    c.force.z -= fz;
#endif
}

// The whole law of beam b, applied to its nodes. Returns true when it broke the beam or
// reported a deformation: a script callback may then have changed any node or beam.
[[gnu::always_inline]] inline bool stepBeam(BeamObjectRecords& object, ForceSlots& slots, int b)
{
    NodeCore* const nodes = object.nodes;
    bool event = false;
    BeamCore& beam = object.beams[b];
    const int type = beam.type;
    if (type == BEAM_BROKEN) {
        if (slots.collecting)
            writeNoForceSlot(slots, b);
        return false;
    }
    // Within the array, not within node_count: a script may lower the count under its beams.
    VELKOR_ASSERT(beam.node1 >= 0 && beam.node1 < kMaxNodes && beam.node2 >= 0 && beam.node2 < kMaxNodes,
                  "a beam names a node outside the node array: the builder must reject it");
    NodeCore& a = nodes[beam.node1];
    NodeCore& c = nodes[beam.node2];
    const BeamMotion m = beamMotion(a, c, beam.restLength);

    float k = beam.spring;
    float h;
    switch (type) {
    case BEAM_ANISOTROPIC: h = anisotropicLaw(object, slots, b, object.beamParams[b], m, k, event); break;
    case BEAM_BOUNDED: h = boundedLaw(beam, object.beamParams[b], m, k); break;
    case BEAM_PRESSURED: h = pressuredLaw(beam, object.beamParams[b], m); break;
    default: h = normalLaw(beam, m); break;
    }

    if (std::fabs(h) > beam.limitForce)
        h = deformTracked(object, slots, b, h, k, m.len, m.L, event);

    const float f = h * m.invLen;
    const float fx = f * m.dx, fy = f * m.dy, fz = f * m.dz;
    if (slots.collecting)
        writeForceSlot(slots, b, fx, fy, fz);
    else
        applyForce(a, c, fx, fy, fz);
    return event;
}

float deformTracked(BeamObjectRecords& object, ForceSlots& slots, int b, float a, float k, float len, float L,
                    bool& event)
{
    BeamCore& beam = object.beams[b];
    BeamParams& p = object.beamParams[b];
    float e = std::fabs(a);
    if (k != 0.0f) {
        if (a > p.deformCompress && L < 0.0f) {
            const float newRest = (beam.restLength + p.deformCompress / k) + L;
            if (newRest >= kMinimumYieldRestLength) {
                const float oldRest = beam.restLength;
                beam.restLength = newRest;
                a = a - (a - p.deformCompress) * 0.5f;
                e = a;
                if (newRest > 0.0f && oldRest > newRest)
                    p.deformCompress = p.deformCompress * oldRest / newRest;
                beam.limitForce = limitOf(p);
                notifyBeamDeformed(object, b, &slots);
                event = true;
            }
        } else if (a < p.deformTension && L > 0.0f) {
            const float delta = p.deformTension / k + L;
            const float oldRest = beam.restLength;
            const float newRest = oldRest + delta;
            beam.restLength = newRest;
            a = a - (a - p.deformTension) * 0.5f;
            e = -a;
            if (oldRest > 0.0f && newRest > oldRest)
                p.deformTension = p.deformTension * newRest / oldRest;
            p.strength = p.strength - delta * k;
            beam.limitForce = limitOf(p);
            if (beam.type == BEAM_PRESSURED)
                beam.limitForce = std::min(beam.limitForce, p.p7);
            notifyBeamDeformed(object, b, &slots);
            event = true;
        }
    }
    const bool breaks = (beam.type == BEAM_PRESSURED && len < p.refLength) ? e > p.p7 : e > p.strength;
    if (breaks) {
        breakBeam(object, b, &slots);
        event = true;
        return 0.0f;
    }
    return a;
}

inline bool allPlain8(const uint8_t* plain)
{
    uint64_t eight;
    std::memcpy(&eight, plain, sizeof eight);
    return eight == 0x0101010101010101ull;
}

} // namespace

void BeamSubstep::computeBeamForcesReference(BeamObjectRecords& object, SubstepContext& context)
{
    ForceSlots& slots = *context.forceSlots;
    const int count = object.beam_count;
    for (int b = 0; b < count; ++b)
        stepBeam(object, slots, b);
}

// A batch depends only on node positions and velocities and on beam fields, which within the
// loop change only through a break or yield (and the script callbacks those run). So a batch
// stays exact up to the first such event, and the next batch starts right after it.
void computeBeamForcesWith(BeamObjectRecords& object, SubstepContext& context, SimdKernel kernel, ForceSums sums)
{
    const auto batchKernel = kernel == SimdKernel::Avx2 ? beamBatchAvx2 : beamBatchPortable;
    NodeCore* const nodes = object.nodes;
    ForceSlots& slots = *context.forceSlots;
    if (sums == ForceSums::Ordered)
        beginForceSlots(slots, object);
    BeamBatch batch;
    const int count = object.beam_count;
    int b = 0;
    while (b < count) {
        const int n = std::min(count - b, BeamBatch::kSize);
        batchKernel(nodes, object.beams + b, n, batch, slots.collecting ? slots.force + b : nullptr);
        int i = 0;
        while (i < n) {
            const int index = b + i;
            if (slots.collecting && i + 8 <= n && allPlain8(batch.plain + i)) {
                i += 8;  // their slots are written
                continue;
            }
            if (batch.plain[i]) {
                if (!slots.collecting) {
                    const BeamCore& beam = object.beams[index];
                    applyForce(nodes[beam.node1], nodes[beam.node2], batch.fx[i], batch.fy[i], batch.fz[i]);
                }
                ++i;
            } else {
                ++i;
                if (stepBeam(object, slots, index))
                    break;
            }
        }
        b += i;
    }
    finishForceSlots(slots, object);
}

void BeamSubstep::computeBeamForces(BeamObjectRecords& object, SubstepContext& context)
{
    // Without AVX2 the portable batch gains nothing over the plain loop.
    if (bestSimdKernel() == SimdKernel::Avx2)
        computeBeamForcesWith(object, context, SimdKernel::Avx2);
    else
        computeBeamForcesReference(object, context);
}

float BeamSubstep::deformBeam(BeamObjectRecords& object, SubstepContext& context, int b, float a, float k, float len,
                              float L)
{
    bool event = false;
    return deformTracked(object, *context.forceSlots, b, a, k, len, L, event);
}

} // namespace VadiZov
