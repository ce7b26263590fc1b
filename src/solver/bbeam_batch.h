// Batch evaluation of the normal beam law, the common case of the beam-force loop. The loop
// computes a batch of beams ahead, then applies it in index order; the batch kernel has a
// portable version and an AVX2 one chosen at run time. Both perform the very float operations
// of the sequential loop, in the same order, so their results are bit-identical to it.
#pragma once

#include <cstdint>

#include <cmath>

#include "base/bconstants.h"
#include "base/bsimd.h"
#include "object/bobject_records.h"
#include "solver/bforce_slots.h"

namespace VadiZov {

// A beam's length and motion, as the batch kernels and the full law (bbeam_forces.cpp) both
// begin: d = node1 - node2, its length, one reciprocal shared by the speed and the direction,
// the stretch beyond the rest length, and the speed at which the beam shortens.
struct BeamMotion {
    float dx, dy, dz;
    float len;
    float invLen;
    float L;
    float u;
};

[[gnu::always_inline]] inline BeamMotion beamMotion(const NodeCore& a, const NodeCore& c, float restLength)
{
    BeamMotion m;
    m.dx = a.pos.x - c.pos.x;
    m.dy = a.pos.y - c.pos.y;
    m.dz = a.pos.z - c.pos.z;
    m.len = std::sqrt((m.dx * m.dx + m.dy * m.dy) + m.dz * m.dz);
    m.invLen = 1.0f / (m.len + kLengthEpsilon);
    m.L = m.len - restLength;
    m.u = (((c.vel.x - a.vel.x) * m.dx + (c.vel.y - a.vel.y) * m.dy) + (c.vel.z - a.vel.z) * m.dz) * m.invLen;
    return m;
}

// The normal law: damping along the shortening speed against the spring along the stretch.
[[gnu::always_inline]] inline float normalLaw(const BeamCore& beam, const BeamMotion& m)
{
    return beam.damp * m.u - beam.spring * m.L;
}

struct BeamBatch {
    static constexpr int kSize = 256;  // small enough to stay in L1 alongside the nodes
    float fx[kSize], fy[kSize], fz[kSize];
    // 1: a beam on the normal law (an anisotropic one only while not stretched) within its
    // limit, whose force is fx, fy, fz. 0: broken, another type, a stretched anisotropic beam,
    // or over its limit; the loop then takes the full path for it.
    uint8_t plain[kSize];
};

// Fills out[0, count) for beams[0, count). Given forces, the forces go to forces[0, count) and
// out's may be left unwritten; a beam not on the common path may get any value there (the full
// law writes it again). Only reads nodes and beams.
void beamBatchPortable(const NodeCore* nodes, const BeamCore* beams, int count, BeamBatch& out,
                       BeamForce* forces = nullptr);
// Requires a CPU with AVX2 (simdKernelSupported).
void beamBatchAvx2(const NodeCore* nodes, const BeamCore* beams, int count, BeamBatch& out,
                   BeamForce* forces = nullptr);


} // namespace VadiZov
