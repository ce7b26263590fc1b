#include <gtest/gtest.h>

#include "base/bassert.h"

namespace {

#ifdef NDEBUG

TEST(VelkorAssert, ReleaseBuildsNeitherCheckNorEvaluate)
{
    int evaluations = 0;
    VELKOR_ASSERT(++evaluations < 0, "never checked");
    EXPECT_EQ(evaluations, 0);
}

#else

TEST(VelkorAssert, DebugBuildsPassHoldingInvariantsAndEvaluateOnce)
{
    int evaluations = 0;
    VELKOR_ASSERT(++evaluations == 1, "the condition runs exactly once");
    EXPECT_EQ(evaluations, 1);
}

TEST(VelkorAssertDeathTest, DebugBuildsStopWithTheConditionAndWhatToFix)
{
    const int count = 3;
    EXPECT_DEATH(VELKOR_ASSERT(count < 2, "keep count below two"), "count < 2.*keep count below two");
}

#endif

} // namespace
