// What every new Lua state holds: the classes, the globals of the moment it was created, the
// constants, and the Settings variables shared by all states and the native side.
#include <memory>
#include <string>

#include "base/bglobals.h"
#include "object/bobject.h"
#include "base/bsettings.h"
#include "lua_api_test_support.h"

namespace VadiZov::testing {
namespace {

using LuaApiRegistration = LuaApiTest;

TEST_F(LuaApiRegistration, ConstantsHaveTheirValues)
{
    auto lua = makeState();
    struct Case {
        const char* name;
        const char* value;
    };
    const Case cases[] = {
        {"NORMALTYPE", "0"},       {"NODE_FIXED", "1"},        {"NONCOLLIDABLE", "2"},
        {"BEAM_HYDRO", "5"},       {"BEAM_ANISOTROPIC", "1"},  {"BEAM_BOUNDED", "2"},
        {"BEAM_PRESSURED", "3"},   {"BEAM_SUPPORT", "6"},      {"BEAM_BROKEN", "4"},
        {"BEAM_TYPE_MAX", "6"},    {"GFX_SIGNAL_LEFT", "1"},   {"GFX_SIGNAL_RIGHT", "2"},
        {"GFX_HEADLIGHT", "4"},    {"GFX_BRAKELIGHT", "8"},    {"GFX_RUNNINGLIGHT", "16"},
        {"GFX_REVERSELIGHT", "32"}, {"GFX_SIGNAL_HAZARD", "64"}, {"LOG_DEBUG", "0"},
        {"LOG_INFO", "1"},         {"LOG_WARN", "2"},          {"LOG_ERROR", "3"},
        {"LOG_ALWAYS", "4"},       {"RESET_PHYSICS", "1"},     {"RESET_COMPLETELY", "2"},
        {"FLT_MAX", "3.4028234663852886e+38"},
        {"MINUS_FLT_MAX", "1.1754943508222875e-38"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(eval(*lua, std::string("return string.format('%.17g', ") + c.name + ")"), c.value) << c.name;
    EXPECT_EQ(eval(*lua, "return type(BEAM_TYPE_MAX) .. ' ' .. tostring(MINUS_FLT_MAX > 0 and MINUS_FLT_MAX < 1.2e-38)"),
              "number true");
}

TEST_F(LuaApiRegistration, ClassTablesAndTheirConstructors)
{
    auto lua = makeState();
    // Lua, BeamEngine and FS are replaced by objects (or nil) and are checked elsewhere.
    struct Case {
        const char* name;
        bool constructible;
    };
    const Case cases[] = {
        {"wheelData", false},     {"particleData", true},       {"groundModel", true},  {"color", true},
        {"debugdrawer", false},   {"beam", false},              {"Vector3", false},     {"float3", true},
        {"Quaternion", true},     {"FlexMesh", false},          {"Prop", false},        {"beamstats", false},
        {"ResourceContainer", false}, {"SpotLight", false},     {"BeamObject", true},   {"wheel", false},
        {"HighPerfTimer", true},  {"Settings", false},          {"FSDirectory", false}, {"Material", false},
        {"FilePure", false},      {"SFXSource", false},         {"TerrainBlock", false}, {"GameEngine", false},
    };
    for (const Case& c : cases) {
        const std::string name = c.name;
        EXPECT_EQ(eval(*lua, "return type(" + name + ")"), "table") << name;
        EXPECT_EQ(eval(*lua, "return getmetatable(" + name + ").__type"), name) << name;
        EXPECT_EQ(eval(*lua, "return " + name + ".__call ~= nil"),
                  c.constructible ? "true" : "false")
            << name;
    }
    // Objects made by the constructors are objects of their class.
    EXPECT_EQ(eval(*lua, "return getmetatable(particleData()).__type .. ' ' .. getmetatable(BeamObject()).__type .. "
                         "' ' .. getmetatable(groundModel()).__type"),
              "particleData BeamObject groundModel");
}

TEST_F(LuaApiRegistration, GlobalsHoldTheValuesOfTheMomentTheStateWasCreated)
{
    g_fileSystem = nullptr;
    auto before = makeState("S0");
    g_fileSystem = &fs;
    auto after = makeState("S1");

    EXPECT_EQ(eval(*before, "return tostring(FS)"), "nil");
    EXPECT_EQ(eval(*after, "return type(FS)"), "userdata");
    EXPECT_EQ(eval(*after, "return getmetatable(FS).__type"), "FS");
    for (Lua* lua : {before.get(), after.get()}) {
        EXPECT_EQ(eval(*lua, "return tostring(obj)"), "nil");
        EXPECT_EQ(eval(*lua, "return tostring(gameEngine)"), "nil");
        EXPECT_EQ(eval(*lua, "return tostring(BeamEngine)"), "nil");  // no engine in this process yet
        EXPECT_EQ(eval(*lua, "return getmetatable(Lua).__type"), "Lua");
    }
    // Each state's `Lua` is its own wrapper: its log lines carry that state's name.
    EXPECT_EQ(eval(*after, "return Lua:exec('lua/nowhere.lua')"), "-2");
    EXPECT_EQ(sink.matching("cannot open file"),
              std::vector<std::string>{"S1|cannot open file 'lua/nowhere.lua': not existing"});
}

TEST_F(LuaApiRegistration, ObjectStateSeesItsOwnerAsObj)
{
    auto object = std::make_unique<BeamObjectImpl>();
    auto lua = makeState("V0", object.get());
    EXPECT_EQ(eval(*lua, "return getmetatable(obj).__type"), "BeamObject");
    EXPECT_EQ(eval(*lua, "return obj:setNode(-1, float3(1, 2, 3), 10, NORMALTYPE, 1, 0, false, true)"), "0");
    EXPECT_EQ(object->node_count, 1);
    EXPECT_EQ(eval(*lua, "return obj.node_count"), "1");
    EXPECT_FLOAT_EQ(object->nodes[0].pos.y, 2.0f);
}

TEST_F(LuaApiRegistration, SettingsAreSharedByEveryStateAndTheNativeSide)
{
    auto first = makeState("S0");
    auto second = makeState("V1");

    EXPECT_EQ(eval(*first, "Settings.max_step = 10 return Settings.max_step"), "10");
    EXPECT_EQ(eval(*second, "return Settings.max_step"), "10");
    EXPECT_EQ(Settings::max_step, 10);

    Settings::fps = 1000.0f;
    EXPECT_EQ(eval(*second, "return Settings.fps"), "1000");
    EXPECT_EQ(eval(*second, "Settings.socketEnabled = true return tostring(Settings.socketEnabled)"), "true");
    EXPECT_TRUE(Settings::socketEnabled);
    EXPECT_EQ(eval(*first, "Settings.spawnScale = 0.5 Settings.debug = 2 return Settings.debug"), "2");
    EXPECT_EQ(Settings::spawnScale, 0.5f);
    // Float variables are single precision seen as Lua numbers.
    EXPECT_EQ(eval(*first, "return Settings.gravity"), "-9.8100004196167");
    EXPECT_EQ(eval(*first, "return Settings.fpsRealtime"), "2000");

    // A state made after the change starts from the shared values, not from the defaults.
    auto third = makeState("V2");
    EXPECT_EQ(eval(*third, "return Settings.max_step .. ' ' .. Settings.spawnScale"), "10 0.5");
    EXPECT_EQ(errorOf(*third, "Settings.maxStep = 3"), "[string \"test\"]:1: no writable variable 'maxStep'");
}

} // namespace
} // namespace VadiZov::testing
