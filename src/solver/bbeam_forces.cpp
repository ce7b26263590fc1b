// Beam forces: each beam pushes its two nodes apart (or pulls them together) by a force that
// depends on its type; a beam loaded beyond its limit yields, hardens or breaks.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "solver/bbeam_batch.h"
#include "base/bassert.h"
#include "base/bconstants.h"
#include "solver/bbeam_events.h"
#include "solver/bsubstep.h"
#include "object/bobject.h"

namespace VadiZov {

namespace {

constexpr float kMinimumYieldRestLength = 0.01f;

// Damping of a bounded beam at speed s: the slow value up to the cut-off speed, then blended
// towards the fast slope.
inline float boundedDamping(float s, float cutoff, float slow, float fast)
{
    if (s <= cutoff || s == 0.0f)  // s == 0 with a negative cut-off would be 0/0
        return slow;
    return (slow * cutoff + fast * (s - cutoff)) / s;
}

inline float limitOf(const BeamParams& p) { return std::min(std::min(p.strength, p.deformCompress), -p.deformTension); }

float deformTracked(BeamObjectImpl& object, int b, float a, float k, float len, float L, bool& event);

// The whole law of beam b, applied to its nodes. Returns true when it broke the beam or
// reported a deformation: a script callback may then have changed any node or beam.
[[gnu::always_inline]] inline bool stepBeam(BeamObjectImpl& object, int b)
{
    NodeCore* const nodes = object.nodes;
    bool event = false;
    BeamCore& beam = object.beams[b];
    const int type = beam.type;
    if (type == BEAM_BROKEN) {
        if (object.forceSlots->collecting)
            writeNoForceSlot(*object.forceSlots, b);
        return false;
    }
    // Within the array, not within node_count: a script may lower the count under its beams.
    VELKOR_ASSERT(beam.node1 >= 0 && beam.node1 < kMaxNodes && beam.node2 >= 0 && beam.node2 < kMaxNodes,
                  "a beam names a node outside the node array: the builder must reject it");
    NodeCore& a = nodes[beam.node1];
    NodeCore& c = nodes[beam.node2];
    const float dx = a.pos.x - c.pos.x;
    const float dy = a.pos.y - c.pos.y;
    const float dz = a.pos.z - c.pos.z;
    const float len = std::sqrt((dx * dx + dy * dy) + dz * dz);
    // One division per beam: the reciprocal serves the shortening speed and the direction.
    const float invLen = 1.0f / (len + kLengthEpsilon);
    const float L = len - beam.restLength;
    const float u = (((c.vel.x - a.vel.x) * dx + (c.vel.y - a.vel.y) * dy) + (c.vel.z - a.vel.z) * dz) * invLen;

    float h;
    float k = beam.spring;
    if (type == BEAM_ANISOTROPIC || type == BEAM_BOUNDED || type == BEAM_PRESSURED) {
        const BeamParams& p = object.beamParams[b];
        if (type == BEAM_ANISOTROPIC) {
            if (L <= 0.0f) {
                h = beam.damp * u - beam.spring * L;
            } else if (L <= p.p0) {
                k = p.p4;
                h = p.p5 * u - p.p4 * L;
            } else {
                breakBeam(object, b);
                event = true;
                k = 0.0f;
                h = 0.0f;
            }
        } else if (type == BEAM_BOUNDED) {
            const float s = std::fabs(u);
            const float D = u >= 0.0f ? boundedDamping(s, beam.damp, p.p4, p.p6)
                                      : boundedDamping(s, beam.damp, p.p5, p.p7);
            float y = 0.0f;
            if (L > beam.restLength * p.p0)
                y = L - beam.restLength * p.p0;
            else if (L < -(p.p1 * beam.restLength))
                y = -(p.p1 * beam.restLength) - L;
            if (y > 0.0f) {
                k = beam.spring + (p.p2 - beam.spring) * y;
                const float D2 = D + (p.p3 - D) * y;
                h = D2 * u - k * L;
            } else {
                h = D * u - beam.spring * L;
            }
        } else {
            // Isothermal gas: a volume that reaches zero or below has no meaningful
            // pressure, so it then gives no gas force rather than an infinite one.
            const float volume = p.p0 * len + p.p2;
            const float P = volume > 0.0f ? p.p1 / volume - p.p3 : 0.0f;
            h = L < 0.0f ? P : (beam.damp * u - beam.spring * L) + P;
        }
    } else {
        h = beam.damp * u - beam.spring * L;
    }

    if (std::fabs(h) > beam.limitForce)
        h = deformTracked(object, b, h, k, len, L, event);

    const float f = h * invLen;
    const float fx = f * dx, fy = f * dy, fz = f * dz;
    if (object.forceSlots->collecting) {
        writeForceSlot(*object.forceSlots, b, fx, fy, fz);
        return event;
    }
    a.force.x += fx;
    a.force.y += fy;
    a.force.z += fz;
    c.force.x -= fx;
    c.force.y -= fy;
    c.force.z -= fz;
    return event;
}

float deformTracked(BeamObjectImpl& object, int b, float a, float k, float len, float L, bool& event)
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
                notifyBeamDeformed(object, b);
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
            notifyBeamDeformed(object, b);
            event = true;
        }
    }
    const bool breaks = (beam.type == BEAM_PRESSURED && len < p.refLength) ? e > p.p7 : e > p.strength;
    if (breaks) {
        breakBeam(object, b);
        event = true;
        return 0.0f;
    }
    return a;
}

// a.force += f, then c.force -= f. With SSE2, x and y go as one pair: the same two roundings
// in two lanes, and two stores per node instead of three.
inline void applyForce(NodeCore& a, NodeCore& c, float fx, float fy, float fz)
{
#if defined(__SSE2__)
    const __m128 fxy = _mm_unpacklo_ps(_mm_set_ss(fx), _mm_set_ss(fy));
    const __m128 fz1 = _mm_set_ss(fz);
    __m64* const axy = reinterpret_cast<__m64*>(&a.force.x);
    _mm_storel_pi(axy, _mm_add_ps(_mm_loadl_pi(_mm_setzero_ps(), axy), fxy));
    _mm_store_ss(&a.force.z, _mm_add_ss(_mm_load_ss(&a.force.z), fz1));
    __m64* const cxy = reinterpret_cast<__m64*>(&c.force.x);
    _mm_storel_pi(cxy, _mm_sub_ps(_mm_loadl_pi(_mm_setzero_ps(), cxy), fxy));
    _mm_store_ss(&c.force.z, _mm_sub_ss(_mm_load_ss(&c.force.z), fz1));
#else
    a.force.x += fx;
    a.force.y += fy;
    a.force.z += fz;
    c.force.x -= fx;
    c.force.y -= fy;
    c.force.z -= fz;
#endif
}

inline bool allPlain8(const uint8_t* plain)
{
    uint64_t eight;
    std::memcpy(&eight, plain, sizeof eight);
    return eight == 0x0101010101010101ull;
}

} // namespace

void BeamSubstep::computeBeamForcesReference(BeamObjectImpl& object)
{
    const int count = object.beam_count;
    for (int b = 0; b < count; ++b)
        stepBeam(object, b);
}

// A batch depends only on node positions and velocities and on beam fields, which within the
// loop change only through a break or yield (and the script callbacks those run). So a batch
// stays exact up to the first such event, and the next batch starts right after it.
void computeBeamForcesWith(BeamObjectImpl& object, SimdKernel kernel, ForceSums sums)
{
    const auto batchKernel = kernel == SimdKernel::Avx2 ? beamBatchAvx2 : beamBatchPortable;
    NodeCore* const nodes = object.nodes;
    ForceSlots& slots = *object.forceSlots;
    if (sums == ForceSums::Ordered)
        beginForceSlots(object);
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
                if (stepBeam(object, index))
                    break;
            }
        }
        b += i;
    }
    finishForceSlots(object);
}

void BeamSubstep::computeBeamForces(BeamObjectImpl& object)
{
    // Without AVX2 the portable batch gains nothing over the plain loop.
    if (bestSimdKernel() == SimdKernel::Avx2)
        computeBeamForcesWith(object, SimdKernel::Avx2);
    else
        computeBeamForcesReference(object);
}

float BeamSubstep::deformBeam(BeamObjectImpl& object, int b, float a, float k, float len, float L)
{
    bool event = false;
    return deformTracked(object, b, a, k, len, L, event);
}

} // namespace VadiZov
