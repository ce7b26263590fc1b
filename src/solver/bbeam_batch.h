// Batch evaluation of the normal beam law, the common case of the beam-force loop. The loop
// computes a batch of beams ahead, then applies it in index order; the batch kernel has a
// portable version and an AVX2 one chosen at run time. Both perform the very float operations
// of the sequential loop, in the same order, so their results are bit-identical to it.
#pragma once

#include <cstdint>

#include "base/bsimd.h"
#include "object/bobject_records.h"
#include "solver/bforce_slots.h"

namespace VadiZov {

class BeamObjectImpl;

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

// How the loop adds beam forces to nodes: through the ordered force sums (bforce_slots.h), or
// straight away as the plain loop does. Both give the same bits; the sums measured faster on
// every body tried (bench_substep BM_ForceSumsBySize, bench_cart), the direct adds stay as
// their yardstick.
enum class ForceSums { Ordered, Direct };

// The batched beam-force loop with a chosen kernel: AVX2 or, for any other, the portable one.
// computeBeamForces runs it with AVX2 and otherwise runs the plain loop; the portable kernel
// serves as the AVX2 kernel's tail and lets tests check the batching on any CPU.
void computeBeamForcesWith(BeamObjectImpl& object, SimdKernel kernel, ForceSums sums = ForceSums::Ordered);

} // namespace VadiZov
