#include "base/bassert.h"

#include <cstdio>
#include <cstdlib>

namespace VadiZov {

void assertionFailed(const char* condition, const char* whatToFix, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: VELKOR_ASSERT(%s) failed: %s\n", file, line, condition, whatToFix);
    std::fflush(stderr);
    std::abort();
}

} // namespace VadiZov
