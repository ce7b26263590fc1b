// Cameras and props on an object: the camera record the host receives, the external and
// internal cameras, projected and reference positions, and props and lights riding on nodes.
#include <cfloat>
#include <cmath>

#include "base/bglobals.h"
#include "object/bcamera.h"
#include "object/bobject_attachments.h"
#include "object/bprop.h"
#include "attachment_doubles.h"
#include "object_test_support.h"
#include "tests/support/recording_host.h"

namespace VadiZov::test {
namespace {

class Attachments : public ObjectTest {
protected:
    void SetUp() override
    {
        ObjectTest::SetUp();
        obj->hostObject = &host.object;
        obj->mesh = &host.container;
    }
    // Nodes 0..3: origin, 2 m along x, 1 m along y, 1 m along z.
    void buildFrame()
    {
        node(0.0f, 0.0f, 0.0f);
        node(2.0f, 0.0f, 0.0f);
        node(0.0f, 1.0f, 0.0f);
        node(0.0f, 0.0f, 1.0f);
    }
    // Moves a node in its floating frame and in both render buffers.
    void moveNode(int id, float3 p)
    {
        obj->nodes[id].pos = p;
        obj->nodes[id].worldPos = obj->originOffset + p;
        for (auto& buffer : obj->renderPositions)
            buffer[id] = RenderPosition{p.x, 0.0f, p.y, p.z};
    }

    AttachmentHost host;
};

// ---- cameras

TEST_F(Attachments, CameraRecordIsSentOnlyOnceTheCameraNodesAreSet)
{
    buildFrame();
    obj->updateCamera();
    EXPECT_TRUE(host.object.cameraCalls.empty());

    obj->nodes[0].vel = float3(0.5f, 0.0f, 0.0f);
    setReferenceNodes(*obj, 0, 2, 1, 3, 1, 2);
    obj->updateCamera();
    ASSERT_EQ(host.object.cameraCalls.size(), 1u);
    const CameraCall& call = host.object.cameraCalls[0];
    EXPECT_EQ(call.index, -1);
    EXPECT_EQ(call.count, 0);
    EXPECT_FLOAT_EQ(call.value, 60.0f);
    EXPECT_FLOAT_EQ(call.factor1, 1.0f);
    EXPECT_FLOAT_EQ(call.factor2, 1.0f);
    EXPECT_FLOAT_EQ(call.relaxation, 2.0f);
    expectFloat3Eq(call.record.values[0], float3(0.0f, 0.0f, 0.0f));
    expectFloat3Eq(call.record.values[1], float3(2.0f, 0.0f, 0.0f));  // side
    expectFloat3Eq(call.record.values[2], float3(0.0f, 1.0f, 0.0f));  // direction
    expectFloat3Eq(call.record.values[4], float3(0.5f, 0.0f, 0.0f));
    for (int i = 5; i < 55; ++i)
        expectFloat3Eq(call.record.values[i], float3());
    EXPECT_EQ(obj->refNode, 0);
}

TEST_F(Attachments, ExternalCameraIsStoredInTheCameraFrame)
{
    node(0.0f, 0.0f, 0.0f);
    node(1.0f, 0.0f, 0.0f);
    node(0.0f, 1.0f, 0.0f);
    setReferenceNodes(*obj, 0, 2, 1, -1, 0, 0);
    setExternalCamera(*obj, 2.0f, 3.0f, 4.0f, 0.25f, 0.5f, 75.0f);
    expectFloat3Eq(obj->externalCameraOffset, float3(2.0f, 3.0f, 4.0f));

    // A stretched and turned frame: the offset is given in coefficients of its axes.
    moveNode(1, float3(0.0f, 2.0f, 0.0f));
    moveNode(2, float3(-1.0f, 0.0f, 0.0f));
    setExternalCamera(*obj, 0.0f, 4.0f, 1.0f, 0.25f, 0.5f, 75.0f);
    expectFloat3Near(obj->externalCameraOffset, float3(2.0f, 0.0f, 1.0f), 1e-6f);

    obj->updateCamera();
    ASSERT_EQ(host.object.cameraCalls.size(), 1u);
    EXPECT_FLOAT_EQ(host.object.cameraCalls[0].value, 75.0f);
    EXPECT_FLOAT_EQ(host.object.cameraCalls[0].factor1, 0.25f);
    EXPECT_FLOAT_EQ(host.object.cameraCalls[0].factor2, 0.5f);
    expectFloat3Near(host.object.cameraCalls[0].record.values[3], float3(2.0f, 0.0f, 1.0f), 1e-6f);
}

TEST_F(Attachments, InternalCameraSelection)
{
    buildFrame();
    setReferenceNodes(*obj, 0, 2, 1, 3, 0, 0);
    addInternalCamera(*obj, 3, 40.0f);
    addInternalCamera(*obj, 1, 50.0f);
    struct Case {
        int choice;
        float value;
        float3 entry5;
    } cases[] = {
        {0, 40.0f, float3(0.0f, 0.0f, 1.0f)},
        {1, 50.0f, float3(2.0f, 0.0f, 0.0f)},
        {2, 60.0f, float3()},  // equal to the count: the external camera, index passed on unchanged
        {-7, 60.0f, float3()},
    };
    for (const Case& c : cases) {
        host.object.cameraCalls.clear();
        obj->setInternalCamera(c.choice);
        obj->updateCamera();
        ASSERT_EQ(host.object.cameraCalls.size(), 1u);
        EXPECT_EQ(host.object.cameraCalls[0].index, c.choice);
        EXPECT_EQ(host.object.cameraCalls[0].count, 2);
        EXPECT_FLOAT_EQ(host.object.cameraCalls[0].value, c.value) << "choice " << c.choice;
        expectFloat3Eq(host.object.cameraCalls[0].record.values[5], c.entry5);
    }
}

TEST_F(Attachments, CameraCallsRefuseIdsThatCanNeverBeNodes)
{
    buildFrame();
    setReferenceNodes(*obj, 0, 2, 1, 3, 1, 2);
    takeErrors();
    struct Case {
        int ref, dir, side, up, p1, p2;
    } refused[] = {
        {2000, 2, 1, 3, 1, 2}, {-1, 2, 1, 3, 1, 2}, {0, 2000, 1, 3, 1, 2}, {0, 2, -2, 3, 1, 2},
        {0, 2, 1, 1 << 30, 1, 2}, {0, 2, 1, 3, -1, 2}, {0, 2, 1, 3, 1, 1 << 30},
    };
    for (const Case& c : refused) {
        setReferenceNodes(*obj, c.ref, c.dir, c.side, c.up, c.p1, c.p2);
        EXPECT_EQ(takeErrors(), std::vector<std::string>{"*** setReferenceNodes: invalid node id: " +
                                                         std::to_string(c.ref) + ", " + std::to_string(c.dir) + ", " +
                                                         std::to_string(c.side) + ", " + std::to_string(c.up) + ", " +
                                                         std::to_string(c.p1) + ", " + std::to_string(c.p2)});
    }
    EXPECT_EQ(obj->axisRef, 0);
    EXPECT_EQ(obj->axisBack, 2);
    EXPECT_EQ(obj->axisSide, 1);
    EXPECT_EQ(obj->refPositionNodes[1], 2);

    // Internal cameras: ids outside the capacity and a 51st are refused; the table never overflows.
    addInternalCamera(*obj, 2000, 1.0f);
    addInternalCamera(*obj, -1, 1.0f);
    EXPECT_EQ(takeErrors(), (std::vector<std::string>{"*** addInternalCamera: invalid node id: 2000",
                                                      "*** addInternalCamera: invalid node id: -1"}));
    EXPECT_EQ(obj->internal_camera_count, 0);
    for (int i = 0; i < 60; ++i)
        addInternalCamera(*obj, 1, float(i));
    EXPECT_EQ(obj->internal_camera_count, 50);
    EXPECT_FALSE(takeErrors().empty());  // repeats of one line are logged once
    EXPECT_FLOAT_EQ(obj->internalCameras[49].value, 49.0f);

    // A clear unsets the camera nodes: nothing is sent afterwards.
    obj->clear();
    host.object.cameraCalls.clear();
    obj->updateCamera();
    EXPECT_TRUE(host.object.cameraCalls.empty());
}

// A script may name its camera and reference nodes before its setNode calls: the ids are kept
// and used once the nodes exist, and nothing reads them before.
TEST_F(Attachments, CameraNodesNamedBeforeTheirNodesWorkOnceTheyExist)
{
    setReferenceNodes(*obj, 0, 2, 1, 3, 1, 3);
    addInternalCamera(*obj, 3, 80.0f);
    obj->setInternalCamera(0);
    EXPECT_TRUE(takeErrors().empty());
    EXPECT_EQ(obj->internal_camera_count, 1);
    obj->updateCamera();
    EXPECT_TRUE(host.object.cameraCalls.empty());  // the nodes are not there yet
    obj->hostPosition = float3(10.0f, 20.0f, 30.0f);
    Vector3 out[2];
    obj->getReferencePositions(out);
    EXPECT_FLOAT_EQ(out[0].x, 10.0f);  // no node yet: the host position alone
    EXPECT_FLOAT_EQ(out[1].z, 30.0f);

    buildFrame();
    obj->updateCamera();
    ASSERT_EQ(host.object.cameraCalls.size(), 1u);
    EXPECT_EQ(host.object.cameraCalls[0].count, 1);
    EXPECT_FLOAT_EQ(host.object.cameraCalls[0].value, 80.0f);
    expectFloat3Eq(host.object.cameraCalls[0].record.values[1], float3(2.0f, 0.0f, 0.0f));  // side: node 1
    expectFloat3Eq(host.object.cameraCalls[0].record.values[2], float3(0.0f, 1.0f, 0.0f));  // direction: node 2
    expectFloat3Eq(host.object.cameraCalls[0].record.values[5], float3(0.0f, 0.0f, 1.0f));  // internal camera: node 3
    obj->getReferencePositions(out);
    EXPECT_FLOAT_EQ(out[0].x, 12.0f);  // node 1 at (2, 0, 0)
    EXPECT_FLOAT_EQ(out[1].z, 31.0f);  // node 3 at (0, 0, 1)
    expectFloat3Eq(obj->getDirectionVector(), float3(0.0f, -1.0f, 0.0f));
}

// Side and direction nodes on one line span no frame: the offset cannot be expressed in it and
// keeps its last value, but the factors and the view value are stored and reach the host.
TEST_F(Attachments, ExternalCameraOnADegenerateFrameKeepsItsFactorsAndView)
{
    buildFrame();
    setReferenceNodes(*obj, 0, 2, 1, 3, 1, 2);
    setExternalCamera(*obj, 1.0f, 2.0f, 3.0f, 1.0f, 1.0f, 60.0f);
    const float3 before = obj->externalCameraOffset;
    takeErrors();
    moveNode(2, float3(4.0f, 0.0f, 0.0f));  // direction node on the side axis
    setExternalCamera(*obj, 0.0f, -6.0f, 2.5f, 3.0f, 4.0f, 65.0f);
    EXPECT_EQ(takeErrors(), std::vector<std::string>{"*** setExternalCamera: the camera nodes span no frame"});
    expectFloat3Eq(obj->externalCameraOffset, before);
    obj->updateCamera();
    ASSERT_EQ(host.object.cameraCalls.size(), 1u);
    EXPECT_FLOAT_EQ(host.object.cameraCalls[0].value, 65.0f);
    EXPECT_FLOAT_EQ(host.object.cameraCalls[0].factor1, 3.0f);
    EXPECT_FLOAT_EQ(host.object.cameraCalls[0].factor2, 4.0f);
    for (const float3& v : host.object.cameraCalls[0].record.values)
        EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));

    // Camera nodes not defined at all: the same.
    obj->clear();
    setReferenceNodes(*obj, 0, 2, 1, 3, 1, 2);
    setExternalCamera(*obj, 0.0f, -6.0f, 2.5f, 5.0f, 6.0f, 70.0f);
    EXPECT_EQ(takeErrors(), std::vector<std::string>{"*** setExternalCamera: the camera nodes span no frame"});
    EXPECT_FLOAT_EQ(obj->cameraParams[0], 5.0f);
    EXPECT_FLOAT_EQ(obj->cameraParams[1], 6.0f);
    EXPECT_FLOAT_EQ(obj->cameraParams[2], 70.0f);
}

class ProjectingEngine final : public testing::NullGameEngine {
public:
    void projectPosition(float3* out, const float3* world) override
    {
        seen.push_back(*world);
        *out = float3(world->x * 10.0f, world->y * 10.0f, 123.0f);
    }
    std::vector<float3> seen;
};

TEST_F(Attachments, ProjectedNodePositionDropsTheEngineZ)
{
    ProjectingEngine engine;
    g_gameEngine = &engine;
    buildFrame();
    obj->originOffset = float3(100.0f, 0.0f, 0.0f);
    moveNode(2, float3(0.0f, 1.0f, 0.0f));
    expectFloat3Eq(getProjectedNodePosition(*obj, 2), float3(1000.0f, 10.0f, 0.0f));
    ASSERT_EQ(engine.seen.size(), 1u);
    expectFloat3Eq(engine.seen[0], float3(100.0f, 1.0f, 0.0f));
    for (int invalid : {-1, 4, 2000, 1 << 30})
        expectFloat3Eq(getProjectedNodePosition(*obj, invalid), float3());
    EXPECT_EQ(engine.seen.size(), 1u);
    g_gameEngine = nullptr;
    expectFloat3Eq(getProjectedNodePosition(*obj, 2), float3());
}

TEST_F(Attachments, ReferencePositionsReadTheGraphicsBufferPlusTheHostPosition)
{
    buildFrame();
    setReferenceNodes(*obj, 0, 2, 1, 3, 1, 3);
    obj->hostPosition = float3(10.0f, 20.0f, 30.0f);
    obj->renderPositions[1][1] = RenderPosition{5.0f, 0.0f, 6.0f, 7.0f};
    obj->graphicsBuffer = 1;
    Vector3 out[2];
    EXPECT_EQ(obj->getReferencePositions(out), 2);
    EXPECT_FLOAT_EQ(out[0].x, 15.0f);
    EXPECT_FLOAT_EQ(out[0].y, 26.0f);
    EXPECT_FLOAT_EQ(out[0].z, 37.0f);
    EXPECT_FLOAT_EQ(out[1].z, 31.0f);
}

// ---- props

Prop* lightProp(BeamObjectImpl& object)
{
    Prop* prop = setProp(object, -1, "SPOTLIGHT");
    prop->nRef = 0;
    prop->nX = 1;
    prop->nY = 2;
    prop->baseRotation = float3();
    prop->initialize();
    return prop;
}

TEST_F(Attachments, LightStateIsSentOnChangeOnly)
{
    buildFrame();
    Prop* prop = lightProp(*obj);
    ASSERT_EQ(host.object.lights.size(), 1u);
    FakeSpotLight& light = *host.object.lights[0];
    struct Step {
        float dataValue;
        std::vector<bool> sent;
    } steps[] = {
        {0.0f, {false}}, {0.0f, {}}, {0.0001f, {}}, {0.001f, {true}}, {5.0f, {}}, {-1.0f, {false}},
    };
    for (const Step& s : steps) {
        light.enabled.clear();
        prop->dataValue = s.dataValue;
        obj->updateGraphics(0.0f);
        EXPECT_EQ(light.enabled, s.sent) << "dataValue " << s.dataValue;
    }
    // The light gets a world position: the object's host position is added.
    obj->hostPosition = float3(100.0f, 0.0f, 0.0f);
    obj->updateGraphics(0.0f);
    expectFloat3Eq(light.placements.back().position, float3(100.0f, 0.0f, 0.0f));
    expectFloat3Eq(light.placements.back().forward, float3(1.0f, 0.0f, 0.0f));
    expectFloat3Eq(light.placements.back().up, float3(0.0f, 0.0f, -1.0f));  // Y x X
}

TEST_F(Attachments, GivenBaseTranslationIsInMetresComputedOneInAxes)
{
    buildFrame();
    host.container.initialPosition = float3(2.0f, 0.5f, -0.5f);  // nX + Y / 2 + n / 2
    Prop* given = setProp(*obj, -1, "mirror");
    given->nX = 1;
    given->nY = 2;
    given->baseTranslation = float3(1.0f, 0.0f, 0.0f);
    given->baseRotation = float3();
    given->initialize();
    Prop* computed = setProp(*obj, -1, "mirror");
    computed->nX = 1;
    computed->nY = 2;
    computed->baseRotation = float3();
    log.lines.clear();
    computed->initialize();
    EXPECT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines.at(0).text, "calculated base translation for prop mirror : 1.000000,0.500000,0.500000");
    EXPECT_TRUE(given->baseTranslationGiven());
    EXPECT_FALSE(computed->baseTranslationGiven());

    obj->updateGraphics(0.0f);
    ASSERT_EQ(host.container.meshes.size(), 2u);
    expectFloat3Eq(host.container.meshes[0]->placements.back().position, float3(1.0f, 0.0f, 0.0f));
    expectFloat3Near(host.container.meshes[1]->placements.back().position, float3(2.0f, 0.5f, -0.5f), 1e-6f);

    // The translation adds fractions of the axes and metres along the normal.
    computed->translation = float3(0.0f, 1.0f, 2.0f);
    obj->updateGraphics(0.0f);
    expectFloat3Near(host.container.meshes[1]->placements.back().position, float3(2.0f, 1.5f, -2.5f), 1e-6f);
}

// "Given" means set by Lua before Prop.initialize: a base translation an earlier initialize
// computed (in axis fractions) is computed again, not read as metres the second time.
TEST_F(Attachments, SecondInitializeKeepsAComputedBaseTranslationInAxes)
{
    buildFrame();  // X axis 2 m long
    host.container.initialPosition = float3(1.0f, 0.0f, 0.0f);  // half-way along X
    Prop* prop = setProp(*obj, -1, "mirror");
    prop->nX = 1;
    prop->nY = 2;
    prop->baseRotation = float3();
    for (int round = 0; round < 3; ++round) {
        prop->initialize();
        EXPECT_FALSE(prop->baseTranslationGiven()) << round;
        expectFloat3Near(prop->baseTranslation, float3(0.5f, 0.0f, 0.0f), 1e-6f);
        obj->updateGraphics(0.0f);
        expectFloat3Near(host.container.meshes.back()->placements.back().position, float3(1.0f, 0.0f, 0.0f), 1e-6f);
    }
    // Set by the script between two initializes: given, in metres along the unit axes.
    prop->baseTranslation = float3(1.5f, 0.0f, 0.0f);
    prop->initialize();
    EXPECT_TRUE(prop->baseTranslationGiven());
    obj->updateGraphics(0.0f);
    expectFloat3Near(host.container.meshes.back()->placements.back().position, float3(1.5f, 0.0f, 0.0f), 1e-6f);
}

// A light's base translation set by Lua is in metres along the unit axes as a mesh's is; the
// translation stays in fractions of the axes (and metres along the normal).
TEST_F(Attachments, LightTakesAGivenBaseTranslationInMetres)
{
    buildFrame();  // X axis 2 m, Y axis 1 m
    struct Case {
        const char* what;
        bool given;
        float3 base, translation;
        float3 expected;
    } cases[] = {
        {"not given", false, float3(), float3(), float3(0.0f, 0.0f, 0.0f)},
        {"given 0.5 m along X", true, float3(0.5f, 0.0f, 0.0f), float3(), float3(0.5f, 0.0f, 0.0f)},
        {"given 0.5 m along X and Y", true, float3(0.5f, 0.5f, 0.0f), float3(), float3(0.5f, 0.5f, 0.0f)},
        {"translation a quarter of X", false, float3(), float3(0.25f, 0.0f, 0.0f), float3(0.5f, 0.0f, 0.0f)},
        {"both", true, float3(0.5f, 0.0f, 0.0f), float3(0.25f, 0.0f, 0.0f), float3(1.0f, 0.0f, 0.0f)},
    };
    for (const Case& c : cases) {
        Prop* light = setProp(*obj, 0, "SPOTLIGHT");
        light->nX = 1;
        light->nY = 2;
        if (c.given)
            light->baseTranslation = c.base;
        light->translation = c.translation;
        light->baseRotation = float3();
        light->initialize();
        EXPECT_EQ(light->baseTranslationGiven(), c.given) << c.what;
        obj->updateGraphics(0.0f);
        ASSERT_FALSE(host.object.lights.back()->placements.empty()) << c.what;
        expectFloat3Near(host.object.lights.back()->placements.back().position, c.expected, 1e-6f);
    }
}

TEST_F(Attachments, PropInitializeReports)
{
    buildFrame();
    struct Case {
        const char* name;
        bool withContainer;
        bool setRotation;
        const char* message;
        bool placed;
    } cases[] = {
        {"mirror", false, true, "Error while initializing prop: unable to contact resource container: mirror", false},
        {"missing", true, true, "Error while initializing prop: unable to find rigid mesh: missing", false},
        {"mirror", true, false, "please give baseRotation for now, its broken", true},
    };
    for (const Case& c : cases) {
        obj->mesh = c.withContainer ? &host.container : nullptr;
        const size_t meshesBefore = host.container.meshes.size();
        Prop* prop = setProp(*obj, 0, c.name);
        prop->nX = 1;
        prop->nY = 2;
        prop->baseTranslation = float3();
        if (c.setRotation)
            prop->baseRotation = float3();
        takeErrors();
        prop->initialize();
        EXPECT_EQ(takeErrors(), std::vector<std::string>{c.message});
        obj->updateGraphics(0.0f);
        const bool placed = host.container.meshes.size() > meshesBefore &&
                            !host.container.meshes.back()->placements.empty();
        EXPECT_EQ(placed, c.placed) << c.name;
    }
}

TEST_F(Attachments, PropsGiveBackWhatTheyHeldAtTheHost)
{
    buildFrame();
    host.container.initialPosition = float3(1.0f, 0.0f, 0.0f);
    Prop* prop = setProp(*obj, 3, "mirror");
    prop->nX = 1;
    prop->nY = 2;
    prop->baseRotation = float3();
    prop->initialize();
    prop->initialize();  // the second mesh replaces the first, which goes back
    ASSERT_EQ(host.container.meshes.size(), 2u);
    EXPECT_EQ(host.container.deletedMeshes, std::vector<RigidMesh*>{host.container.meshes[0].get()});
    EXPECT_EQ(host.container.meshes[0]->detached, 1);
    EXPECT_EQ(obj->prop_count, 4);

    Prop* light = lightProp(*obj);
    light->initialize();
    ASSERT_EQ(host.object.lights.size(), 2u);
    EXPECT_EQ(host.object.deletedLights, std::vector<SpotLight*>{host.object.lights[0].get()});

    // Replacing the slot and clearing the object give back the rest.
    setProp(*obj, 3, "mirror");
    EXPECT_EQ(host.container.deletedMeshes.size(), 2u);
    obj->clear();
    EXPECT_EQ(host.object.deletedLights.size(), 2u);
    EXPECT_EQ(obj->prop_count, 0);
    EXPECT_EQ(getProp(*obj, 3), nullptr);
}

TEST_F(Attachments, PropWithBadNodesIsNeverPlacedOrNaN)
{
    buildFrame();
    Prop* prop = lightProp(*obj);
    FakeSpotLight& light = *host.object.lights[0];
    for (int bad : {-1, 4, 1999, 1 << 30}) {
        prop->nY = bad;
        obj->updateGraphics(0.0f);
    }
    EXPECT_TRUE(light.placements.empty());

    // All three nodes at one place: a finite placement at that place.
    prop->nX = 0;
    prop->nY = 0;
    obj->updateGraphics(0.0f);
    ASSERT_EQ(light.placements.size(), 1u);
    for (const float3& v : {light.placements[0].position, light.placements[0].up, light.placements[0].forward})
        EXPECT_TRUE(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
}

} // namespace
} // namespace VadiZov::test
