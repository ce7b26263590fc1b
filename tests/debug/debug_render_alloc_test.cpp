// Rendering a collector frame after frame allocates nothing once the first render has made the
// static-collision scratch: the global operator new of this program counts every allocation.
#include <gtest/gtest.h>

#include <memory>

#include "object/bobject_debug_drawer.h"
#include "ground/bstatic_collider.h"
#include "object/bobject.h"
#include "velkor/host.h"
#include "tests/support/counting_allocator.h"

using namespace VadiZov;

namespace {

// Takes what it is handed without copying it (a recording host would allocate itself).
class CountingDebugDraw final : public HostDebugDraw {
public:
    void drawLines(const float3*, const color*, int32_t count) override { linePoints += count; }
    void drawTriangles(const float3*, const color*, int32_t count) override { trianglePoints += count; }
    void drawTexts(float3, color, const char*) override { ++texts; }
    void drawSpheres(float, float3, color) override { ++spheres; }
    void drawBeams3d(float3, float3, float, color) override { ++beams; }
    long linePoints = 0, trianglePoints = 0, texts = 0, spheres = 0, beams = 0;
};

TEST(DebugRenderAllocations, FramesAfterTheFirstAllocateNothing)
{
    auto object = std::make_unique<BeamObjectImpl>();
    debugdrawer& drawer = *object->ownDebugDrawer();
    StaticCollider collider;
    // 300 triangles near the focus and 100 far from it.
    for (int i = 0; i < 400; ++i) {
        const float x = i < 300 ? float(i % 20) - 10.0f : 500.0f + float(i);
        const float y = float(i / 20) * 0.5f;
        collider.addTriangle(float3(x, y, 0.0f), float3(x + 1.0f, y, 0.0f), float3(x, y + 1.0f, 0.0f));
    }
    collider.commit(true);
    DebugWorld world;
    world.collider = &collider;
    drawer.drawCollisionTris = true;
    CountingDebugDraw host;

    // One frame as the object and the host make it: the lists emptied, this frame's drawing
    // collected, the render.
    auto frame = [&](float shift) {
        drawer.clear();
        drawer.drawLine(float3(shift, 0.0f, 0.0f), float3(shift, 1.0f, 0.0f), color{255, 0, 0, 255});
        drawer.drawSphere(0.5f, float3(shift, 0.0f, 1.0f), color{0, 255, 0, 255});
        drawer.drawText(float3(shift, 0.0f, 2.0f), color{0, 0, 255, 255}, "frame");
        drawer.addBeam3d(float3(), float3(shift, 0.0f, 0.0f), 0.1f, color{9, 9, 9, 255});
        drawer.render(host, float3(shift * 0.01f, 0.0f, 0.0f), world);
    };
    frame(0.0f);  // first use: the scratch and the lists get their memory
    ASSERT_EQ(host.trianglePoints, 300 * 3);
    const long before = VadiZov::testing::allocationCount();
    for (int f = 1; f <= 50; ++f)
        frame(float(f));
    const long allocated = VadiZov::testing::allocationCount() - before;

    EXPECT_EQ(allocated, 0);
    // The renders did draw: faces, edges and normals of the 300 near triangles every frame.
    EXPECT_EQ(host.trianglePoints, 51 * 300 * 3);
    EXPECT_EQ(host.linePoints, 51 * (2 + 300 * 6 + 300 * 2));
    EXPECT_EQ(host.spheres, 51);
    EXPECT_EQ(host.texts, 51);
    EXPECT_EQ(host.beams, 51);
}

} // namespace
