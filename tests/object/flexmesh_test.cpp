// Flexible meshes: binding each vertex to a frame of nodes, rewriting the vertices from the
// render snapshot, hiding the triangles of broken beams and restoring them on reset.
#include <cmath>
#include <string>

#include "object/bflexmesh.h"
#include "object/bobject_attachments.h"
#include "attachment_doubles.h"
#include "object_test_support.h"

namespace VadiZov::test {
namespace {

class Flexmeshes : public ObjectTest {
protected:
    void SetUp() override
    {
        ObjectTest::SetUp();
        obj->hostObject = &host.object;
        obj->mesh = &host.container;
    }
    void TearDown() override
    {
        ObjectTest::TearDown();
    }
    // A corner at the origin, unit points on the three axes and one at (1, 1, 1).
    void buildCloud()
    {
        node(0.0f, 0.0f, 0.0f);
        node(1.0f, 0.0f, 0.0f);
        node(0.0f, 1.0f, 0.0f);
        node(0.0f, 0.0f, 1.0f);
        node(1.0f, 1.0f, 1.0f);
    }
    FlexMesh* meshBoundTo(std::initializer_list<int> nodes, const char* name = "body")
    {
        FlexMesh* mesh = setFlexmesh(*obj, -1, name);
        for (int n : nodes)
            mesh->addNodeBinding(n);
        return mesh;
    }
    void setRender(int id, float3 p)
    {
        for (auto& buffer : obj->renderPositions)
            buffer[id] = RenderPosition{p.x, 0.0f, p.y, p.z};
    }
    // A quarter turn about z and a shift: where a rigid motion takes a point.
    static float3 moved(float3 p) { return float3(0.0f - p.y + 3.0f, p.x - 1.0f, p.z + 0.5f); }

    AttachmentHost host;
};

TEST_F(Flexmeshes, VerticesFollowTheirNodes)
{
    buildCloud();
    FakeFlexBuffer& buffer = host.container.buffer("body");
    const float3 vertices[] = {float3(0.2f, 0.1f, 0.05f), float3(0.9f, 0.2f, 0.1f), float3(0.3f, 0.8f, 0.4f),
                               float3(0.1f, 0.2f, 0.9f), float3(1.1f, 0.9f, 1.0f), float3(0.5f, 0.5f, 0.5f)};
    for (const float3& v : vertices)
        buffer.addVertex(v, float3(0.0f, 0.0f, 2.0f));
    FlexMesh* mesh = meshBoundTo({0, 1, 2, 3, 4});
    mesh->initialize();
    ASSERT_TRUE(mesh->isActive());
    EXPECT_EQ(host.container.created, std::vector<std::string>{"body"});

    for (int i = 0; i < obj->node_count; ++i)
        setRender(i, moved(obj->nodes[i].pos));
    obj->updateGraphics(0.0f);
    ASSERT_EQ(buffer.written.size(), std::size(vertices));
    for (size_t i = 0; i < std::size(vertices); ++i) {
        expectFloat3Near(buffer.written[i], moved(vertices[i]), 2e-6f);
        expectFloat3Near(buffer.writtenNormals[i], float3(0.0f, 0.0f, 1.0f), 1e-5f);
    }
    EXPECT_EQ(buffer.calls.back(), "endWrite");

    // A frame the host cannot write now is skipped whole.
    buffer.writable = 0;
    buffer.written.clear();
    buffer.calls.clear();
    obj->updateGraphics(0.0f);
    EXPECT_TRUE(buffer.written.empty());
    EXPECT_EQ(buffer.calls, std::vector<std::string>{"beginWrite"});
}

TEST_F(Flexmeshes, BindingFailuresLeaveTheMeshInactive)
{
    buildCloud();
    node(2.0f, 0.0f, 0.0f);  // 5, on the line through 0 and 1
    node(0.5f, 0.01f, 0.0f); // 6, just off that line
    struct Case {
        std::vector<int> bindings;
        const char* meshName;
        const char* message;
    } cases[] = {
        {{}, "body", "FLEXBODY ERROR on mesh body: REF node not found"},
        {{1}, "body", "FLEXBODY ERROR on mesh body: VX node not found"},
        {{0, 1, 5, 6}, "body", "FLEXBODY ERROR on mesh body: VY node not found"},
        {{0, 1, 2, 3}, "nomesh", "error creating vertex buffer for mesh nomesh"},
    };
    host.container.buffer("body").addVertex(float3(0.1f, 0.0f, 0.0f));
    for (const Case& c : cases) {
        FlexMesh* mesh = setFlexmesh(*obj, 0, c.meshName);
        for (int n : c.bindings)
            mesh->addNodeBinding(n);
        takeErrors();
        mesh->initialize();
        EXPECT_FALSE(mesh->isActive()) << c.message;
        EXPECT_EQ(takeErrors(), std::vector<std::string>{c.message});
    }
    // Reading began and ended around every binding that reached the vertices.
    const std::vector<std::string>& calls = host.container.buffer("body").calls;
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "beginRead"), 3);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "endRead"), 3);
}

TEST_F(Flexmeshes, PlanarNodesUseTheUnitNormalFallback)
{
    node(0.0f, 0.0f, 0.0f);
    node(1.0f, 0.0f, 0.0f);
    node(0.0f, 1.0f, 0.0f);
    FakeFlexBuffer& buffer = host.container.buffer("body");
    buffer.addVertex(float3(0.2f, 0.2f, 0.5f));
    buffer.addVertex(float3(0.7f, 0.1f, -0.25f));
    FlexMesh* mesh = meshBoundTo({0, 1, 2});
    log.lines.clear();
    mesh->initialize();
    ASSERT_TRUE(mesh->isActive());
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].text,
              " ** parts of this flexbody will use the fallback code as it could not qualify for the normal mode");
    EXPECT_EQ(log.lines[0].level, LOG_INFO);
    EXPECT_EQ(mesh->vertexBindings()[0].vz, -1);

    // Stretching the plane moves the vertices within it; their distance from it stays.
    setRender(0, float3(0.0f, 0.0f, 0.0f));
    setRender(1, float3(2.0f, 0.0f, 0.0f));
    setRender(2, float3(0.0f, 3.0f, 0.0f));
    obj->updateGraphics(0.0f);
    expectFloat3Near(buffer.written[0], float3(0.4f, 0.6f, 0.5f), 1e-5f);
    expectFloat3Near(buffer.written[1], float3(1.4f, 0.3f, -0.25f), 1e-5f);
}

TEST_F(Flexmeshes, NodeChoiceRules)
{
    buildCloud();
    FakeFlexBuffer& buffer = host.container.buffer("body");
    buffer.addVertex(float3(0.5f, 0.0f, 0.0f));  // as near to node 0 as to node 1

    // Ties go to the node bound first.
    FlexMesh* first = meshBoundTo({1, 0, 2, 3});
    first->initialize();
    EXPECT_EQ(first->vertexBindings()[0].ref, 1);
    FlexMesh* second = meshBoundTo({0, 1, 2, 3});
    second->initialize();
    EXPECT_EQ(second->vertexBindings()[0].ref, 0);
    // Stored axes are in increasing id order.
    const FlexVertexBinding& b = second->vertexBindings()[0];
    EXPECT_LT(b.vx, b.vy);
    EXPECT_LT(b.vy, b.vz);

    // A vertex nearest a wheel's node hangs on the nearer of the wheel's first two nodes, on
    // the second at equal distance.
    obj->wheel_count = 1;
    obj->wheels[0].axisNode1 = &obj->nodes[2];
    obj->wheels[0].axisNode2 = &obj->nodes[3];
    obj->nodeProperties[4].wheelId = 0;
    FakeFlexBuffer& wheelBuffer = host.container.buffer("tyre");
    wheelBuffer.addVertex(float3(0.9f, 1.0f, 1.2f));   // nearer node 3
    wheelBuffer.addVertex(float3(1.0f, 1.0f, 1.0f));   // node 4 itself: 2 and 3 equally far
    wheelBuffer.addVertex(float3(0.9f, 1.2f, 1.0f));   // nearer node 2
    FlexMesh* tyre = meshBoundTo({0, 1, 2, 3, 4}, "tyre");
    tyre->initialize();
    ASSERT_TRUE(tyre->isActive());
    EXPECT_EQ(tyre->vertexBindings()[0].ref, 3);
    EXPECT_EQ(tyre->vertexBindings()[1].ref, 3);
    EXPECT_EQ(tyre->vertexBindings()[2].ref, 2);
}

TEST_F(Flexmeshes, EverySecondVertexOfARunSharesTheFrame)
{
    buildCloud();
    FakeFlexBuffer& buffer = host.container.buffer("body");
    const float3 run[] = {float3(0.1f, 0.1f, 0.1f), float3(0.12f, 0.1f, 0.1f), float3(0.1f, 0.13f, 0.1f),
                          float3(0.1f, 0.1f, 0.14f)};
    for (const float3& v : run)
        buffer.addVertex(v);
    FlexMesh* mesh = meshBoundTo({0, 1, 2, 3, 4});
    mesh->initialize();
    const auto& bindings = mesh->vertexBindings();
    EXPECT_NE(bindings[0].vx, -2);
    EXPECT_EQ(bindings[1].vx, -2);
    EXPECT_NE(bindings[2].vx, -2);
    EXPECT_EQ(bindings[3].vx, -2);
    for (int i = 0; i < obj->node_count; ++i)
        setRender(i, moved(obj->nodes[i].pos));
    obj->updateGraphics(0.0f);
    for (size_t i = 0; i < std::size(run); ++i)
        expectFloat3Near(buffer.written[i], moved(run[i]), 2e-6f);
}

TEST_F(Flexmeshes, BrokenBeamsCollapseTheirTrianglesUntilReset)
{
    buildCloud();
    // A second cloud 10 m away carries a triangle that hangs on none of the first cloud's nodes.
    for (int i = 0; i < 5; ++i)
        node(obj->nodes[i].pos.x + 10.0f, obj->nodes[i].pos.y, obj->nodes[i].pos.z);
    const int beam03 = obj->setBeam(-1, 0, 3, 1e9f, 1000.0f, 10.0f, 1e9f, 1.0f).id();
    FakeFlexBuffer& buffer = host.container.buffer("body");
    buffer.addVertex(float3(0.05f, 0.0f, 0.0f));  // on node 0
    buffer.addVertex(float3(0.0f, 0.0f, 0.95f));  // on node 3
    buffer.addVertex(float3(0.0f, 0.05f, 0.0f));
    buffer.addVertex(float3(10.05f, 0.0f, 0.0f));
    buffer.addVertex(float3(10.0f, 0.05f, 0.0f));
    buffer.addVertex(float3(10.0f, 0.0f, 0.95f));
    buffer.addTriangle(0, 1, 2);
    buffer.addTriangle(3, 4, 5);
    FlexMesh* mesh = meshBoundTo({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    mesh->initialize();
    ASSERT_TRUE(mesh->isActive());
    ASSERT_EQ(mesh->vertexBindings()[0].ref, 0);
    ASSERT_EQ(mesh->vertexBindings()[1].ref, 3);

    // The host cannot give the triangles now: the beam waits in the queue.
    buffer.indexAccessible = 0;
    breakMeshes(*obj, beam03);
    breakMeshes(*obj, 9999);  // not a beam: never queued
    hideBrokenMeshTriangles(*obj);
    EXPECT_EQ(mesh->queuedBrokenBeams(), 1u);
    EXPECT_EQ(buffer.triangles[0], (std::array<uint16_t, 3>{0, 1, 2}));

    buffer.indexAccessible = 1;
    hideBrokenMeshTriangles(*obj);
    EXPECT_EQ(mesh->queuedBrokenBeams(), 0u);
    EXPECT_EQ(buffer.triangles[0], (std::array<uint16_t, 3>{0, 0, 0}));
    EXPECT_EQ(buffer.triangles[1], (std::array<uint16_t, 3>{3, 4, 5}));

    obj->reset(false);
    EXPECT_EQ(buffer.triangles[0], (std::array<uint16_t, 3>{0, 1, 2}));
    EXPECT_EQ(buffer.triangles[1], (std::array<uint16_t, 3>{3, 4, 5}));
}

TEST_F(Flexmeshes, BindingsStayWithinTheNodesAndTheTable)
{
    node(0.0f, 0.0f, 0.0f);
    FlexMesh* mesh = setFlexmesh(*obj, -1, "body");
    for (int bad : {-1, 1, 2000, 1 << 30})
        mesh->addNodeBinding(bad);
    EXPECT_EQ(mesh->nodeBindingCount(), 0);
    EXPECT_EQ(takeErrors().size(), 4u);
    for (int i = 0; i < kMaxFlexNodeBindings + 5; ++i)
        mesh->addNodeBinding(0);
    EXPECT_EQ(mesh->nodeBindingCount(), kMaxFlexNodeBindings);
    EXPECT_FALSE(takeErrors().empty());  // repeats of one line are logged once
}

TEST_F(Flexmeshes, HostBufferIsTakenOnceAndGivenBack)
{
    buildCloud();
    const std::string longName(300, 'm');
    FakeFlexBuffer& buffer = host.container.buffer(longName.substr(0, 255));
    buffer.addVertex(float3(0.1f, 0.1f, 0.1f));
    FlexMesh* mesh = meshBoundTo({0, 1, 2, 3}, longName.c_str());
    EXPECT_EQ(mesh->meshName().size(), 255u);
    mesh->setInitialTransformation(float3(1.0f, 2.0f, 3.0f), float3(4.0f, 5.0f, 6.0f), float3(7.0f, 8.0f, 9.0f));
    ASSERT_EQ(buffer.initialTransformation.size(), 3u);
    expectFloat3Eq(buffer.initialTransformation[2], float3(7.0f, 8.0f, 9.0f));
    mesh->initialize();
    mesh->initialize();
    EXPECT_TRUE(mesh->isActive());
    EXPECT_EQ(host.container.created.size(), 1u);

    // Replacing the slot gives the buffer back; so does clearing the object for the next one.
    setFlexmesh(*obj, 0, longName.c_str())->initialize();
    EXPECT_EQ(host.container.released, std::vector<FlexBuffer*>{&buffer});
    obj->clear();
    EXPECT_EQ(host.container.released.size(), 2u);
    EXPECT_EQ(obj->flexmesh_count, 0);
}

} // namespace
} // namespace VadiZov::test
