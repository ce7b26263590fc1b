// Scripts reach the host's interfaces and the object's attachments: members dispatch to the
// host, members whose host argument no Lua value can supply raise errors without reaching the
// host, and a prop, mesh or light the object has freed is an error to use, never freed memory.
#include <gtest/gtest.h>

#include <memory>

#include "base/bglobals.h"
#include "lua/blua.h"
#include "object/bobject.h"
#include "object/bprop.h"
#include "lua_api_test_support.h"
#include "tests/object/attachment_doubles.h"
#include "tests/support/objects_test_support.h"

namespace VadiZov::testing {
namespace {

using test::AttachmentHost;

class CountingMaterial final : public Material {
public:
    int getTextureDimensions(int*, int*, int*) override { return ++calls; }
    int updateDiffuseTexture(int, void*) override { return ++calls; }
    int calls = 0;
};

class SoundEngine final : public NullGameEngine {
public:
    SFXSource* createSFXSource(const char* name) override
    {
        if (std::string(name) == "none")
            return nullptr;
        sounds.push_back(std::make_unique<RecordingSound>());
        return sounds.back().get();
    }
    void deleteSFXSource(SFXSource* source, bool stopFirst) override { deleted.push_back({source, stopFirst}); }
    void executeJS(const char* script, int value) override { scripts.push_back(script + std::to_string(value)); }
    std::vector<std::unique_ptr<RecordingSound>> sounds;
    std::vector<std::pair<SFXSource*, bool>> deleted;
    std::vector<std::string> scripts;
};

class HostClasses : public LuaApiTest {
protected:
    void SetUp() override
    {
        LuaApiTest::SetUp();
        g_gameEngine = &engine;
        object = std::make_unique<BeamObjectImpl>();
        host.object.materials["paint"] = &material;
        object->hostObject = &host.object;
        object->mesh = &host.container;
        for (float x : {0.0f, 1.0f, 0.0f})
            object->setNode(-1, float3(x, x == 0.0f && object->node_count == 2 ? 1.0f : 0.0f, 0.0f), 1.0f, 0, 1.0f,
                            -1, false, false);
        lua = makeState("V0", object.get());
    }
    // Runs statements; a failure fails the test.
    void run(const std::string& code) { EXPECT_EQ(runProtected(*lua, code), "") << code; }

    void TearDown() override
    {
        lua.reset();
        object.reset();
        LuaApiTest::TearDown();
    }

    SoundEngine engine;
    AttachmentHost host;
    CountingMaterial material;
    std::unique_ptr<BeamObjectImpl> object;
    std::unique_ptr<Lua> lua;
};

TEST_F(HostClasses, HeldAttachmentsTurnIntoErrorsOnceFreed)
{
    run(R"(
      heldProp = obj:setProp(0, 'SPOTLIGHT')
      heldProp:initialize()
      heldLight = heldProp.light
      heldMesh = obj:setFlexmesh(0, 'body')
    )");
    ASSERT_EQ(host.object.lights.size(), 1u);
    EXPECT_EQ(eval(*lua, "heldProp.nX = 1 return heldProp.nX"), "1");
    EXPECT_EQ(eval(*lua, "return rawequal(obj:getProp(0), nil)"), "false");

    // Replacing the slots frees the held values.
    run("obj:setProp(0, 'mirror') obj:setFlexmesh(0, 'body')");
    const char* uses[] = {"return heldProp.nX", "heldProp.dataValue = 1", "heldProp:initialize()",
                          "return heldProp.light", "heldMesh:addNodeBinding(0)", "heldMesh:initialize()",
                          "heldLight:setLightArgs2(nil)"};
    for (const char* use : uses)
        EXPECT_NE(errorOf(*lua, use), "no error") << use;
    EXPECT_EQ(host.object.lights[0]->argsCalls, 0);

    // Values fetched again are the new ones; clearing the object frees those too.
    run("fresh = obj:getProp(0) fresh.nY = 2 freshMesh = obj:getFlexmesh(0)");
    object->clear();
    EXPECT_NE(errorOf(*lua, "return fresh.nY"), "no error");
    EXPECT_NE(errorOf(*lua, "freshMesh:initialize()"), "no error");
    EXPECT_EQ(eval(*lua, "return obj:getProp(0)"), "nil");
}

TEST_F(HostClasses, PropMembersReadAndWriteTheProp)
{
    run(R"(
      local p = obj:setProp(4, 'mirror')
      p.nRef, p.nX, p.nY = 2, 1, 0
      p.baseTranslation = float3(1, 2, 3)
      p.rotation = float3(0, 0, 90)
      p.dataValue = 0.5
    )");
    Prop* prop = object->props[4];
    ASSERT_NE(prop, nullptr);
    EXPECT_EQ(prop->nRef, 2);
    EXPECT_EQ(prop->nY, 0);
    EXPECT_FLOAT_EQ(prop->baseTranslation.z, 3.0f);
    EXPECT_FLOAT_EQ(prop->rotation.z, 90.0f);
    EXPECT_FLOAT_EQ(prop->dataValue, 0.5f);
    EXPECT_EQ(eval(*lua, "return obj:getProp(4).slotID"), "4");
    EXPECT_EQ(eval(*lua, "return obj:getProp(4).baseRotation.x == FLT_MAX"), "true");
    EXPECT_EQ(eval(*lua, "return obj:getProp(4).light"), "nil");
    EXPECT_NE(errorOf(*lua, "obj:getProp(4).light = nil"), "no error");
    EXPECT_EQ(eval(*lua, "return obj.prop_count"), "5");
}

TEST_F(HostClasses, CameraMembersFromLua)
{
    run("obj:setReferenceNodes(0, 2, 1, -1, 1, 2) obj:addInternalCamera(1, 45)");
    EXPECT_EQ(object->axisRef, 0);
    EXPECT_EQ(object->axisBack, 2);
    EXPECT_EQ(object->internal_camera_count, 1);
    run("obj:setExternalCamera(2, 3, 4, 1, 1, 60)");
    EXPECT_FLOAT_EQ(object->externalCameraOffset.x, 2.0f);
    EXPECT_FLOAT_EQ(object->externalCameraOffset.z, 4.0f);
    EXPECT_EQ(eval(*lua, "local p = obj:getProjectedNodePosition(99) return p.x + p.y + p.z"), "0");
}

TEST_F(HostClasses, FileSystemMembersReachTheHost)
{
    fs.addFile("data/a.txt", "hello");
    lua = makeState("V0", object.get());
    EXPECT_EQ(eval(*lua, "return FS:fileExists('data/a.txt') ~= 0"), "true");
    EXPECT_EQ(eval(*lua, "return FS:openFile('data/missing.txt', 'r')"), "nil");
    EXPECT_EQ(eval(*lua, "return type(FS:directoryExists('data'))"), "number");
    EXPECT_EQ(eval(*lua, "return FS:openDirectory('data')"), "nil");
    EXPECT_EQ(eval(*lua, "local f = FS:openFile('data/a.txt', 'r') local n = f:length() f:close() return n"), "5");
    ASSERT_FALSE(fs.opened.empty());
    EXPECT_EQ(fs.opened.back()->closeCount, 1);
    // No Lua value can be the read or write buffer: an error, never a null buffer at the host.
    for (const char* call : {"f:read(nil, 5, 1, 5)", "f:write(nil, 5, 1, 5)", "f:read('x', 5, 1, 5)"}) {
        const std::string error = errorOf(*lua, std::string("local f = FS:openFile('data/a.txt', 'r') ") + call);
        EXPECT_NE(error.find("no Lua value can supply"), std::string::npos) << call << ": " << error;
    }
}

TEST_F(HostClasses, MembersWithoutALuaArgumentFormRaiseErrors)
{
    fs.addFile("data/a.txt", "hello");
    lua = makeState("V0", object.get());
    struct Case {
        const char* code;
        const char* fragment;
    } cases[] = {
        {"obj:getMaterial('paint'):getTextureDimensions(nil, nil, nil)", "nil passed to reference"},
        {"obj:getMaterial('paint'):getTextureDimensions(1, 2, 3)", "no Lua value can supply"},
        {"obj:getMaterial('paint'):updateDiffuseTexture(0, nil)", "no Lua value can supply"},
        {"obj.mesh:getSwitchableMaterial(0, nil)", "no Lua value can supply"},
        {"local p = obj:setProp(1, 'SPOTLIGHT') p:initialize() p.light:setLightArgs(1, nil)", "no Lua value can supply"},
        {"local p = obj:setProp(2, 'SPOTLIGHT') p:initialize() p.light:setLightArgs2(nil)", "no Lua value can supply"},
        {"local f = FS:openFile('data/a.txt', 'r') f.close(nil)", "nil passed to reference"},
    };
    for (const Case& c : cases) {
        const std::string error = errorOf(*lua, c.code);
        EXPECT_NE(error.find(c.fragment), std::string::npos) << c.code << ": " << error;
    }
    EXPECT_EQ(material.calls, 0);
    EXPECT_EQ(host.container.hostRecordCalls, 0);
    for (const auto& light : host.object.lights)
        EXPECT_EQ(light->argsCalls, 0);
    EXPECT_EQ(eval(*lua, "return obj:getMaterial('none')"), "nil");
}

// A nil integer reference is the binding's plain error at the caller's position, as for every
// reference parameter, not an argument error; the host is not reached.
TEST_F(HostClasses, TextureDimensionsWithNilRaiseThePlainReferenceError)
{
    const std::string plain = errorOf(*lua, "error('nil passed to reference')");
    ASSERT_NE(plain.find(":1: nil passed to reference"), std::string::npos) << plain;
    for (const char* args : {"nil, 1, 2", "1, nil, 2", "1, 2, nil", "1, 2"}) {
        const std::string code = std::string("obj:getMaterial('paint'):getTextureDimensions(") + args + ")";
        EXPECT_EQ(errorOf(*lua, code), plain) << code;
    }
    EXPECT_EQ(material.calls, 0);
}

TEST_F(HostClasses, ContainerSoundAndGameEngineMembers)
{
    EXPECT_EQ(eval(*lua, "obj.mesh:setAlpha(0.25, nil, true) return obj.mesh:getAlpha(nil)"), "0.25");
    EXPECT_EQ(eval(*lua, "return obj.mesh:getMeshsMaterials('body')"), "paint");
    EXPECT_EQ(eval(*lua, "return obj.mesh:getMeshesContainingMaterial('paint')"), "nil");
    EXPECT_EQ(eval(*lua, "return obj.mesh:switchMaterial('paint', 1)"), "true");

    EXPECT_EQ(eval(*lua, "return gameEngine:createSFXSource('none')"), "nil");
    EXPECT_EQ(eval(*lua, R"(
      local s = gameEngine:createSFXSource('horn')
      s:setVolume(0.5)
      s:setPosition(s:getVelocity())
      local p = s:getPosition()
      local seen = s:getVolume() .. ' ' .. tostring(s:isValid()) .. ' ' .. tostring(p ~= nil)
      gameEngine:deleteSFXSource(s, true)
      gameEngine:deleteSFXSource(nil, false)
      gameEngine:executeJS('go()', 3)
      return seen
    )"),
              "0.5 true true");
    ASSERT_EQ(engine.sounds.size(), 1u);
    EXPECT_EQ(engine.sounds[0]->positionSets, 1);
    ASSERT_EQ(engine.deleted.size(), 2u);
    EXPECT_EQ(engine.deleted[0].first, engine.sounds[0].get());
    EXPECT_TRUE(engine.deleted[0].second);
    EXPECT_EQ(engine.deleted[1].first, nullptr);
    EXPECT_EQ(engine.scripts, std::vector<std::string>{"go()3"});
}

} // namespace
} // namespace VadiZov::testing
