// The demo's cart frame after frame allocates nothing once it runs: the global operator new of
// this program counts every allocation, the physics threads' included.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/cart_scene.h"
#include "tests/support/counting_allocator.h"

using namespace VadiZov;

TEST(CartFrameAllocations, DrivingFramesAndTheHostsStatusTextsAllocateNothing)
{
    VadiZov::testing::CartScene scene(VELKOR_EXAMPLES_DIR "/demo");
    std::string error;
    ASSERT_TRUE(scene.start(&error)) << error;
    // Two seconds: the cart settles, starts driving, and every buffer has reached its size.
    for (int i = 0; i < 120; ++i)
        scene.frame();
    const long before = VadiZov::testing::allocationCount();
    char text[256];
    for (int i = 0; i < 120; ++i) {
        scene.frame();
        // The host reads the frame's status every frame.
        ASSERT_GT(scene.engine().getStatusText(1, text, int(sizeof text), nullptr), 0);
        ASSERT_GT(scene.engine().getStatusText(3, text, int(sizeof text), nullptr), 0);
    }
    EXPECT_EQ(VadiZov::testing::allocationCount() - before, 0);
}
