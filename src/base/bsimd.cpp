#include "base/bsimd.h"

namespace VadiZov {

bool simdKernelSupported(SimdKernel kernel)
{
    switch (kernel) {
    case SimdKernel::Scalar:
        return true;
#ifdef VELKOR_HAVE_SIMD
    case SimdKernel::Sse2:
        return true;
    case SimdKernel::Avx2:
        return __builtin_cpu_supports("avx2");
#endif
    default:
        return false;
    }
}

SimdKernel bestSimdKernel()
{
    static const SimdKernel best = simdKernelSupported(SimdKernel::Avx2)   ? SimdKernel::Avx2
                                   : simdKernelSupported(SimdKernel::Sse2) ? SimdKernel::Sse2
                                                                           : SimdKernel::Scalar;
    return best;
}

} // namespace VadiZov
