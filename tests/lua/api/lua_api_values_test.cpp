// The value classes as scripts use them (float3, Quaternion, color, the records) and the errors
// scripts get for wrong arguments and unknown members, with their exact texts.
#include <memory>
#include <string>

#include "lua/binding/blua_binding.h"
#include "object/bobject.h"
#include "ground/bterrain.h"
#include "lua_api_test_support.h"

namespace VadiZov::testing {
namespace {

class LuaApiValues : public LuaApiTest {
protected:
    void SetUp() override
    {
        LuaApiTest::SetUp();
        lua = makeState("S0");
    }
    std::unique_ptr<Lua> lua;
};

struct Case {
    const char* code;
    const char* expected;
};

TEST_F(LuaApiValues, Float3ArithmeticAndMethods)
{
    const Case cases[] = {
        {"return float3(1, 2, 3) + float3(1, 1, 1)", "(2, 3, 4)"},
        {"return float3(1, 2, 3) - float3(1, 1, 1)", "(0, 1, 2)"},
        {"return float3(1, 2, 3) * float3(2, 3, 4)", "(2, 6, 12)"},
        {"return float3(2, 6, 12) / float3(2, 3, 4)", "(1, 2, 3)"},
        {"return -float3(1, -2, 0)", "(-1, 2, -0)"},
        {"return float3(3, 4, 0):length()", "5"},
        {"return float3(1, 0, 0):cross(float3(0, 1, 0))", "(0, 0, 1)"},
        {"return float3(1, 2, 3):scaleCopy(2)", "(2, 4, 6)"},
        {"local v = float3(1, 2, 3) v:scale(-1) return v", "(-1, -2, -3)"},
        {"local v = float3(0, 3, 4) v:normalize() return v", "(0, 0.6, 0.8)"},
        {"local v = float3(1, 2, 3) v.y = 7.5 return v.x + v.y + v.z", "11.5"},
        {"local a = float3(1, 2, 3) local b = a + float3(0, 0, 0) b.x = 9 return a.x", "1"},
        {"return math.abs(float3(0, 0, 0):distance(float3(0, 3, 4)) - 5) < 0.01", "true"},
        {"return 'at ' .. float3(1, 2, 3)", "at (1, 2, 3)"},
        {"return float3(1, 2, 3) .. ' m'", "(1, 2, 3) m"},
        {"return float3(0.5, 0, 0) .. float3(0, 0.25, 0)", "(0.5, 0, 0)(0, 0.25, 0)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(eval(*lua, c.code), c.expected) << c.code;
}

TEST_F(LuaApiValues, QuaternionRotatesAndColorKeepsLowBytes)
{
    const Case cases[] = {
        {"local r = Quaternion(90, float3(0, 0, 1)):multiply(float3(1, 0, 0)) "
         "return string.format('%.4f %.4f %.4f', r.x, r.y, r.z)",
         "0.0000 1.0000 0.0000"},
        {"local q = Quaternion(90, float3(0, 0, 1)) local r = q:inverse():multiply(q:multiply(float3(1, 2, 3))) "
         "return string.format('%.4f %.4f %.4f', r.x, r.y, r.z)",
         "1.0000 2.0000 3.0000"},
        // normalize returns the squared norm it had: sin(30)^2 * 4 + cos(30)^2.
        {"return string.format('%.4f', Quaternion(60, float3(0, 0, 2)):normalize())", "1.7500"},
        {"return tostring(Quaternion(0, float3(1, 0, 0)))", "(1, 0, 0, 0)"},
        {"local c = color(511, 128, -1, 7) return c.r .. ' ' .. c.g .. ' ' .. c.b .. ' ' .. c.a", "255 128 255 7"},
        {"local c = color(0, 0, 0, 0) c.g = 300 return c.g", "44"},
        {"return Lua:colorToHex(color(255, 128, 0, 7))", "FF8000"},
        {"local c = Lua:colorFromHex('#FF8000') return c.r .. ' ' .. c.g .. ' ' .. c.b .. ' ' .. c.a", "255 128 0 255"},
        {"local c = Lua:colorFromHex('#zz') return c.r + c.g + c.b .. ' ' .. c.a", "0 255"},
        // A nil text is read as an empty one: black, not a crash.
        {"local c = Lua:colorFromHex(nil) return c.r + c.g + c.b .. ' ' .. c.a", "0 255"},
        {"local v = float3_2_Vector3(float3(1, 2, 3)) return getmetatable(v).__type", "Vector3"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(eval(*lua, c.code), c.expected) << c.code;
}

TEST_F(LuaApiValues, RecordFieldsAreTheirOwn)
{
    const Case cases[] = {
        {"local p = particleData() p.slipVel = 3 p.slipForce = 5 return p.slipVel .. ' ' .. p.slipForce", "3 5"},
        {"local p = particleData() p.pos = float3(1, 2, 3) p.materialID1 = 2 p.materialID2 = 5 "
         "return tostring(p.pos) .. ' ' .. p.materialID1 .. ' ' .. p.materialID2",
         "(1, 2, 3) 2 5"},
        {"local g = groundModel() return g.staticFrictionCoefficient .. ' ' .. tostring(g.skidMarks)", "1 false"},
        {"local g = groundModel() g.collisiontype = 3 g.skidMarks = true "
         "return g.collisiontype .. ' ' .. tostring(g.skidMarks) .. ' ' .. tostring(g.stribeckVelocityInverse)",
         "3 true nil"},
        {"local t = HighPerfTimer() local ms = t:stop() return ms >= 0 and ms < 1000", "true"},
        {"return HighPerfTimer.getTime() > 0", "true"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(eval(*lua, c.code), c.expected) << c.code;
}

TEST_F(LuaApiValues, ArgumentAndMemberErrorsCarryTheirTexts)
{
    auto object = std::make_unique<BeamObjectImpl>();
    auto objectState = makeState("V0", object.get());
    const Case cases[] = {
        {"float3(1, 2, 3):cross(Quaternion(90, float3(0, 0, 1)))",
         "bad argument #1 to 'cross' (float3 expected, got Quaternion)"},
        {"Quaternion(90, float3(0, 0, 1)):multiply(5)", "bad argument #1 to 'multiply' (float3 expected, got number)"},
        {"Quaternion(90, nil)", "nil passed to reference"},
        {"float3(1, 2, 3):cross(nil)", "nil passed to reference"},
        {"float3(1, 2, 3):scale('x')", "bad argument #1 to 'scale' (number expected, got string)"},
        {"float3(1, 2, 3).length(color(1, 2, 3, 4))",
         "bad argument #1 to 'length' (float3 expected, got color)"},
        {"obj:setNode(0, nil, 1, 0, 1, 0, false, true)", "nil passed to reference"},
        {"obj:setBeam(-1, 'a', 1, 1, 1, 1, 1, 1)", "bad argument #2 to 'setBeam' (number expected, got string)"},
        {"obj.nosuch = 1", "no member named 'nosuch'"},
        {"obj.setNode = 1", "no member named 'setNode'"},
        {"float3(1, 2, 3).w = 1", "no member named 'w'"},
        {"return obj.nosuch.field", "attempt to index field 'nosuch' (a nil value)"},
        {"obj.destroy(float3(1, 2, 3))", "bad argument #1 to 'destroy' (BeamObject expected, got float3)"},
    };
    // Lua puts the caller's position first.
    for (const Case& c : cases)
        EXPECT_EQ(errorOf(*objectState, c.code), std::string("[string \"test\"]:1: ") + c.expected) << c.code;
}

TEST_F(LuaApiValues, TerrainQueriesAndTheOutParameterNoScriptCanSupply)
{
    TerrainBlock terrain;  // empty: every point is outside
    LuaBinding::pushObjectPointer(lua->state(), &terrain, LuaBinding::classKeyOf<TerrainBlock>());
    lua_setglobal(lua->state(), "terrain");
    EXPECT_EQ(eval(*lua, "return terrain:getTerrainGroundmodel(float3(1, 2, 3))"), "0");
    EXPECT_EQ(eval(*lua, "local p = float3(1, 2, 0) local n = terrain:getTerrainNormal(p) "
                         "return getmetatable(n).__type .. ' ' .. tostring(p)"),
              "float3 (1, 2, 0)");
    // The ground-model output is a reference to a plain number: no script value reaches it.
    EXPECT_EQ(errorOf(*lua, "terrain:getTerrainHeightAndGroundmodel(float3(0, 0, 0), nil)"),
              "[string \"test\"]:1: nil passed to reference");
    EXPECT_EQ(errorOf(*lua, "terrain:getTerrainHeightAndGroundmodel(float3(0, 0, 0), 5)"),
              "[string \"test\"]:1: bad argument #2 to 'getTerrainHeightAndGroundmodel' "
              "(unregistered class expected, got number)");
    EXPECT_EQ(errorOf(*lua, "terrain:getTerrainHeightAndGroundmodel(float3(0, 0, 0), float3(0, 0, 0))"),
              "[string \"test\"]:1: bad argument #2 to 'getTerrainHeightAndGroundmodel' "
              "(unregistered class expected, got float3)");
}

} // namespace
} // namespace VadiZov::testing
