// The host thread's graphics work overlaps the worker's substeps. What it reads of the nodes, a
// flexible mesh's vertices and the reference positions, must come from the snapshot the finished
// frame wrote, which goes with the position the host was sent, and never from the one the worker
// is writing: every frame, whichever half of the double buffer that is.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "base/bsettings.h"
#include "engine/bengine.h"
#include "object/bflexmesh.h"
#include "object/bobject.h"
#include "object/bobject_attachments.h"
#include "tests/object/attachment_doubles.h"
#include "tests/support/lattice_object.h"

using namespace VadiZov;

namespace {

void expectAt(const float3& got, const float3& want, const char* what, int frame, int index)
{
    EXPECT_NEAR(got.x, want.x, 1e-4f) << what << " " << index << ", frame " << frame;
    EXPECT_NEAR(got.y, want.y, 1e-4f) << what << " " << index << ", frame " << frame;
    EXPECT_NEAR(got.z, want.z, 1e-4f) << what << " " << index << ", frame " << frame;
}

TEST(RenderSnapshotHandoff, HostReadsTheFinishedFrameEveryFrame)
{
    Settings::fps = 2000.0f;
    Settings::fpsRealtime = 2000.0f;
    Settings::gravity = -9.81f;
    test::AttachmentHost host;
    host.object.position = float3(5.0f, -3.0f, 1.0f);
    BeamEngineImpl engine;
    engine.init();

    VadiZov::testing::LatticeShape shape;
    shape.nx = 4;
    shape.ny = 3;
    shape.nz = 2;
    auto object = VadiZov::testing::makeLattice(shape);
    // It spins about z as it falls, so a snapshot of another frame puts every node elsewhere.
    const float3 centre(0.4f, 0.25f, 2.1f);
    for (int i = 0; i < object->node_count; ++i) {
        const float3 r = object->nodes[i].pos - centre;
        object->nodes[i].vel = float3(-3.0f * r.y, 3.0f * r.x, 0.0f);
    }
    object->hostObject = &host.object;
    object->mesh = &host.container;
    object->transformPending = true;
    object->refPositionNodes[0] = 0;
    object->refPositionNodes[1] = object->node_count - 1;
    // A skin with a vertex on every node.
    test::FakeFlexBuffer& skin = host.container.buffer("skin");
    for (int i = 0; i < object->node_count; ++i)
        skin.addVertex(object->nodes[i].pos);
    FlexMesh* mesh = setFlexmesh(*object, -1, "skin");
    ASSERT_NE(mesh, nullptr);
    for (int i = 0; i < object->node_count; ++i)
        mesh->addNodeBinding(i);
    mesh->initialize();
    ASSERT_TRUE(mesh->isActive());
    engine.placeObjectForTests(object.get());

    std::vector<float3> finished;
    float startZ = 0.0f;
    for (int frame = 0; frame < 8; ++frame) {
        engine.update(0.016f);
        engine.waitForPhysicsFrame();
        // The first frame shows the object as built, placed where the host put it.
        if (frame > 0) {
            ASSERT_EQ(skin.written.size(), finished.size());
            for (size_t v = 0; v < finished.size(); ++v)
                expectAt(host.object.position + skin.written[v], finished[v], "vertex", frame, int(v));
            Vector3 shown[2];
            ASSERT_EQ(object->getReferencePositions(shown), 2);
            for (int k = 0; k < 2; ++k)
                expectAt(float3(shown[k].x, shown[k].y, shown[k].z), finished[size_t(object->refPositionNodes[k])],
                         "reference position", frame, k);
        }
        finished.clear();
        for (int i = 0; i < object->node_count; ++i)
            finished.push_back(object->nodes[i].worldPos);
        if (frame == 0)
            startZ = finished[0].z;
    }
    EXPECT_LT(finished[0].z, startZ - 0.05f);  // it fell
    engine.placeObjectForTests(nullptr);
    engine.teardown();
}

} // namespace
