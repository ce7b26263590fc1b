// The demo's cart frame after frame allocates nothing once it runs: the global operator new of
// this program counts every allocation, the physics threads' included.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "tests/support/cart_scene.h"

namespace {

std::atomic<long> g_allocations{0};

} // namespace

// The replaced global allocation pair: gcc cannot see that new and delete here belong together.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

using namespace VadiZov;

TEST(CartFrameAllocations, DrivingFramesAndTheHostsStatusTextsAllocateNothing)
{
    VadiZov::testing::CartScene scene(VELKOR_EXAMPLES_DIR "/demo");
    std::string error;
    ASSERT_TRUE(scene.start(&error)) << error;
    // Two seconds: the cart settles, starts driving, and every buffer has reached its size.
    for (int i = 0; i < 120; ++i)
        scene.frame();
    const long before = g_allocations.load();
    char text[256];
    for (int i = 0; i < 120; ++i) {
        scene.frame();
        // The host reads the frame's status every frame.
        ASSERT_GT(scene.engine().getStatusText(1, text, int(sizeof text), nullptr), 0);
        ASSERT_GT(scene.engine().getStatusText(3, text, int(sizeof text), nullptr), 0);
    }
    EXPECT_EQ(g_allocations.load() - before, 0);
}
