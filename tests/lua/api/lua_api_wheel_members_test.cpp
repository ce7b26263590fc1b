// Wheels as an object's script sees them: handles from setWheel, records from getWheel, and what
// a script gets when it reads a wheel that does not exist.
#include <memory>
#include <string>

#include "object/bobject.h"
#include "lua_api_test_support.h"

namespace VadiZov::testing {
namespace {

class LuaApiWheelMembers : public LuaApiTest {
protected:
    void SetUp() override
    {
        LuaApiTest::SetUp();
        object = std::make_unique<BeamObjectImpl>();
        lua = makeState("V0", object.get());
    }
    std::unique_ptr<BeamObjectImpl> object;
    std::unique_ptr<Lua> lua;
};

TEST_F(LuaApiWheelMembers, NextWheelIdsCountUpAndBadIdsGiveInvalidHandles)
{
    EXPECT_EQ(eval(*lua, "local a = obj:setWheel(-1, 3, 4, 7) local b = obj:setWheel(-1, 3, 4, 7) "
                         "return tostring(a:isValid()) .. ' ' .. tostring(b:isValid()) .. ' ' .. obj.wheel_count"),
              "true true 2");
    EXPECT_EQ(object->wheels[0].axisNode1, &object->nodes[3]);
    EXPECT_EQ(object->wheels[1].axisNode2, &object->nodes[4]);
    EXPECT_EQ(object->wheels[1].thirdNode, &object->nodes[7]);
    EXPECT_EQ(eval(*lua, "return tostring(obj:setWheel(40, 3, 4, 7):isValid()) .. ' ' .. obj.wheel_count"), "false 2");
}

TEST_F(LuaApiWheelMembers, ReadingAWheelThatDoesNotExistIsALuaError)
{
    ASSERT_EQ(eval(*lua, "obj:setWheel(-1, 0, 1, -1) return obj:getWheel(0).torque"), "0");
    EXPECT_EQ(eval(*lua, "return tostring(obj:getWheel(1)) .. ' ' .. tostring(obj:getWheel(-1))"), "nil nil");
    const std::string error = errorOf(*lua, "return obj:getWheel(1).torque");
    EXPECT_NE(error.find("attempt to index a nil value"), std::string::npos) << error;
    // The record is the object's own: a write reaches the native wheel.
    EXPECT_EQ(eval(*lua, "obj:getWheel(0).torque = 12.5 return obj:getWheel(0).torque"), "12.5");
    EXPECT_EQ(object->wheels[0].torque, 12.5f);
}

} // namespace
} // namespace VadiZov::testing
