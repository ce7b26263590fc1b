// Rails and slide nodes as an object's script sees them: every building call reachable from
// Lua with its arguments in order and its results.
#include <memory>
#include <string>

#include "object/bobject.h"
#include "lua_api_test_support.h"

namespace VadiZov::testing {
namespace {

class LuaApiRailMembers : public LuaApiTest {
protected:
    void SetUp() override
    {
        LuaApiTest::SetUp();
        object = std::make_unique<BeamObjectImpl>();
        lua = makeState("V0", object.get());
        for (int i = 0; i < 3; ++i)
            object->setNode(-1, float3(float(i), 0.0f, 0.0f), 1.0f, 0, 1.0f, -1, false, false);
        object->setNode(-1, float3(1.5f, 0.5f, 0.0f), 1.0f, 0, 1.0f, -1, false, false);
        object->setBeam(-1, 0, 1, 1e9f, 1000.0f, 0.0f, 1e9f, 1.0f);
    }
    std::unique_ptr<BeamObjectImpl> object;
    std::unique_ptr<Lua> lua;
};

TEST_F(LuaApiRailMembers, ScriptsBuildAttachDetachAndBreak)
{
    EXPECT_EQ(eval(*lua, "local r = obj:addRail(0) "
                         "return table.concat({r, obj:addRailLink(r, 0, 0, 0), obj:addRailLink(r, 1, 0, 0), "
                         "obj:addRailLink(r, 2, 1, 0), obj:addRailLink(r, 2000, 0, 0)}, ' ')"),
              "0 0 1 2 -1");
    // node 3, rail 0, attach, snap, slack 0.25, spring 500, break force 900, stop break 50
    EXPECT_EQ(eval(*lua, "return obj:addSlidenode(3, 0, 1, 1, 0.25, 500, 900, 50)"), "0");
    const SlideNode& s = object->slideNodes[0];
    EXPECT_EQ(s.segment, 1);
    EXPECT_EQ(s.slack, 0.25f);
    EXPECT_EQ(s.spring, 500.0f);
    EXPECT_EQ(s.breakForce, 900.0f);
    EXPECT_EQ(s.stopBreakForce, 50.0f);
    EXPECT_FLOAT_EQ(object->nodes[3].pos.y, 0.25f);  // snapped to its slack

    EXPECT_EQ(eval(*lua, "obj:detachSlidenode(0) return obj:attachSlidenode(0, -1) .. ' ' .. "
                         "obj:attachSlidenode(0, 3)"),
              "1 0");
    EXPECT_EQ(eval(*lua, "obj:breakRails(0) return 0"), "0");
    EXPECT_TRUE(object->rails[0].links[0].broken);
    EXPECT_FALSE(object->rails[0].links[1].broken);
}

} // namespace
} // namespace VadiZov::testing
