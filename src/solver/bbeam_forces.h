// The beam stage: each beam pushes its two nodes apart or pulls them together by the law of its
// type (normal, anisotropic, bounded, pressured); a beam loaded beyond its limit yields, hardens
// or breaks. The common case runs in batches (bbeam_batch.h) and its forces reach the nodes
// through the ordered sums (bforce_slots.h); both give the bits of the plain loop.
#pragma once

#include "base/bsimd.h"

namespace VadiZov {

struct BeamObjectRecords;
struct SubstepContext;

// How the loop adds beam forces to nodes: through the ordered force sums (bforce_slots.h), or
// straight away as the plain loop does. Both give the same bits; the sums measured faster on
// every body tried (bench_substep BM_ForceSumsBySize, bench_cart), the direct adds stay as
// their yardstick.
enum class ForceSums { Ordered, Direct };

namespace BeamSubstep {

// The batched loop with AVX2 when the CPU has it, else the plain loop.
void computeBeamForces(BeamObjectRecords& object, SubstepContext& context);
// The plain sequential beam loop that computeBeamForces must match bit for bit.
void computeBeamForcesReference(BeamObjectRecords& object, SubstepContext& context);
// Plastic yield, hardening and breaking of a beam whose force passed its limit; returns
// the force the beam transmits this substep.
float deformBeam(BeamObjectRecords& object, SubstepContext& context, int beam, float force, float springUsed,
                 float length, float elongation);

} // namespace BeamSubstep

// The batched beam-force loop with a chosen kernel: AVX2 or, for any other, the portable one.
// computeBeamForces runs it with AVX2 and otherwise runs the plain loop; the portable kernel
// serves as the AVX2 kernel's tail and lets tests check the batching on any CPU.
void computeBeamForcesWith(BeamObjectRecords& object, SubstepContext& context, SimdKernel kernel,
                           ForceSums sums = ForceSums::Ordered);

} // namespace VadiZov
