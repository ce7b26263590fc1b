// What a reset gives back beside nodes and beams: the wheels' spin state (only below the wheel
// count), the rails' built links and loop flags, and the built slide nodes; a clear drops them.
#include "object_test_support.h"

namespace VadiZov::test {
namespace {

using ResetState = ObjectTest;

TEST_F(ResetState, ResetStopsTheWheelsInUseAndKeepsTheirBrakes)
{
    obj->wheel_count = 2;
    for (int w = 0; w < 3; ++w) {
        wheelData& d = obj->wheels[w];
        d.angularVelocity = 5.0f;
        d.brakeWindup = 0.25f;
        d.torque = 300.0f;
        d.brakingTorque = 800.0f;
        d.lastTorque = 290.0f;
    }
    obj->reset(false);
    for (int w = 0; w < 2; ++w) {
        SCOPED_TRACE(w);
        const wheelData& d = obj->wheels[w];
        EXPECT_EQ(d.angularVelocity, 0.0f);
        EXPECT_EQ(d.brakeWindup, 0.0f);
        EXPECT_EQ(d.torque, 0.0f);
        EXPECT_EQ(d.lastTorque, 0.0f);
        EXPECT_EQ(d.brakingTorque, 800.0f);
    }
    // Wheel 2 is above the count: not touched.
    EXPECT_EQ(obj->wheels[2].angularVelocity, 5.0f);
    EXPECT_EQ(obj->wheels[2].torque, 300.0f);
}

TEST_F(ResetState, ResetRestoresBuiltRailsAndSlideNodesAndClearDropsThem)
{
    for (int i = 0; i < 4; ++i)
        node(float(i), 0.0f, 0.0f);
    const Rail built{{{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {0, 0, 0}}, true};
    obj->builtRails = {built};
    obj->rails = {built};
    const SlideNode slide{1, 3, 0, 5000.0f, 0.01f, 20000.0f, 5000.0f, 30000.0f};
    obj->builtSlideNodes = {slide};
    obj->slideNodes = {slide};

    // What breaking rails and detaching slide nodes might have left.
    obj->rails[0].links[0].broken = 1;
    obj->rails[0].links[1].broken = 1;
    obj->rails[0].links.pop_back();
    obj->rails[0].looped = false;
    obj->slideNodes[0].segment = -1;
    obj->slideNodes[0].spring = 0.0f;
    obj->slideNodes.push_back(slide);

    obj->reset(false);

    ASSERT_EQ(obj->rails.size(), 1u);
    ASSERT_EQ(obj->rails[0].links.size(), 4u);
    EXPECT_TRUE(obj->rails[0].looped);
    for (size_t k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(obj->rails[0].links[k].node, built.links[k].node);
        EXPECT_EQ(obj->rails[0].links[k].isStop, built.links[k].isStop);
        EXPECT_EQ(obj->rails[0].links[k].broken, 0);
    }
    ASSERT_EQ(obj->slideNodes.size(), 1u);
    EXPECT_EQ(obj->slideNodes[0].segment, 1);
    EXPECT_EQ(obj->slideNodes[0].spring, 5000.0f);
    EXPECT_EQ(obj->slideNodes[0].stopBreakForce, 30000.0f);

    obj->clear();
    EXPECT_TRUE(obj->rails.empty());
    EXPECT_TRUE(obj->builtRails.empty());
    EXPECT_TRUE(obj->slideNodes.empty());
    EXPECT_TRUE(obj->builtSlideNodes.empty());
    // A reset of the emptied object has nothing to bring back.
    obj->reset(false);
    EXPECT_TRUE(obj->rails.empty());
    EXPECT_TRUE(obj->slideNodes.empty());
}

} // namespace
} // namespace VadiZov::test
