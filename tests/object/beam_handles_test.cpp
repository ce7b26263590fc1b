// Beam and wheel handles with valid ids: the parameters each operation writes and what a reset
// keeps of them.
#include <cfloat>
#include <cmath>

#include "object_test_support.h"

namespace VadiZov::test {
namespace {

// Two nodes of 10 and 4 kg, 2 m apart: every capped damping is capped at their reduced mass
// (10 x 4 / 14 kg) over 0.0005 s, about 5714.
class BeamHandles : public ObjectTest {
protected:
    void SetUp() override
    {
        ObjectTest::SetUp();
        node(0.0f, 0.0f, 0.0f, 10.0f);
        node(2.0f, 0.0f, 0.0f, 4.0f);
        b = obj->setBeam(-1, 0, 1, 50000.0f, 1000.0f, 50.0f, 30000.0f, 1.0f);
        ASSERT_TRUE(b.isValid());
    }

    const BeamCore& core() const { return obj->beams[0]; }
    const BeamParams& params() const { return obj->beamParams[0]; }
    const BeamOrigin& origin() const { return obj->beamOrigins[0]; }

    static constexpr float kCap = 10.0f * 4.0f / 14.0f / 0.0005f;
    beam b;
};

TEST_F(BeamHandles, MakeAnisotropic)
{
    b.makeAnisotropic(700.0f, 1e6f, 1.25f);
    EXPECT_EQ(core().type, BEAM_ANISOTROPIC);
    EXPECT_EQ(origin().type, BEAM_ANISOTROPIC);
    EXPECT_FLOAT_EQ(params().p4, 700.0f);
    EXPECT_FLOAT_EQ(params().p5, kCap);
    EXPECT_FLOAT_EQ(params().p0, 2.0f * 1.25f);
    b.makeAnisotropic(700.0f, 20.0f, 1.25f);
    EXPECT_FLOAT_EQ(params().p5, 20.0f);
    // The spring and damping of compression are untouched.
    EXPECT_FLOAT_EQ(core().spring, 1000.0f);
    EXPECT_FLOAT_EQ(core().damp, 50.0f);
}

TEST_F(BeamHandles, MakeBoundedKeepsThePreviousDampingAndStoresTheCutoffSpeed)
{
    obj->setBeamSpringDamp(0, -1.0f, 1e6f, -1.0f, -1.0f);  // damp now capped at kCap
    b.makeBounded(0.2f, 0.1f, 2e6f, 1e6f, 30.0f, 1e7f, 40.0f, 0.75f);
    EXPECT_EQ(core().type, BEAM_BOUNDED);
    EXPECT_EQ(origin().type, BEAM_BOUNDED);
    EXPECT_FLOAT_EQ(params().p0, 0.2f);
    EXPECT_FLOAT_EQ(params().p1, 0.1f);
    EXPECT_FLOAT_EQ(params().p2, 2e6f);  // the limit spring is not capped
    EXPECT_FLOAT_EQ(params().p3, kCap);
    EXPECT_FLOAT_EQ(params().p4, kCap);
    EXPECT_FLOAT_EQ(params().p5, 30.0f);
    EXPECT_FLOAT_EQ(params().p6, kCap);
    EXPECT_FLOAT_EQ(params().p7, 40.0f);
    EXPECT_FLOAT_EQ(core().damp, 0.75f);

    // The eighth argument is a speed and is never capped.
    b.makeBounded(0.2f, 0.1f, 2e6f, 1e6f, 30.0f, 1e7f, 40.0f, 1e9f);
    EXPECT_FLOAT_EQ(params().p4, 0.75f);  // the cut-off speed of the first call, as a damping
    EXPECT_FLOAT_EQ(core().damp, 1e9f);

    // Capping uses the masses of the moment: node 1 now weighs 1 kg, so 10 / 11 kg over the step.
    obj->setNodeMass(1, 1.0f);
    b.makeBounded(0.2f, 0.1f, 2e6f, 1e6f, 30.0f, 1e7f, 40.0f, 0.5f);
    EXPECT_FLOAT_EQ(params().p4, 10.0f / 11.0f / 0.0005f);
    EXPECT_FLOAT_EQ(params().p3, 10.0f / 11.0f / 0.0005f);
}

TEST_F(BeamHandles, MakePressured)
{
    b.makePressured(300000.0f, 0.02f, 0.9f, 500000.0f);
    const float p3 = 0.02f * 101325.0f;
    const float p7 = 0.02f * 500000.0f - p3;
    EXPECT_EQ(core().type, BEAM_PRESSURED);
    EXPECT_EQ(origin().type, BEAM_PRESSURED);
    EXPECT_EQ(params().deformCompress, FLT_MAX);
    EXPECT_EQ(origin().deformCompress, FLT_MAX);
    EXPECT_FLOAT_EQ(origin().basePressure, 300000.0f);
    EXPECT_FLOAT_EQ(params().p6, 0.02f);
    EXPECT_FLOAT_EQ(params().p0, 0.9f);
    EXPECT_FLOAT_EQ(params().p1, 300000.0f * 2.0f * 0.02f);
    EXPECT_FLOAT_EQ(origin().p1, params().p1);
    EXPECT_FLOAT_EQ(params().p2, (1.0f - 0.9f) * 2.0f);
    EXPECT_FLOAT_EQ(params().p3, p3);
    EXPECT_FLOAT_EQ(params().p7, p7);
    EXPECT_FLOAT_EQ(origin().p7, p7);
    // The smallest of p7, the strength and the signed tension limit (-30000).
    EXPECT_FLOAT_EQ(core().limitForce, -30000.0f);
    EXPECT_FLOAT_EQ(origin().limitForce, -30000.0f);
}

TEST_F(BeamHandles, MakePressuredBreakForce)
{
    struct Case {
        float maxPressure, strength, deform;
        float p7, limitForce;
    };
    const Case cases[] = {
        {50000.0f, 5000.0f, 3000.0f, 0.0f, -3000.0f},               // below atmospheric: no break force
        {101325.0f, 5000.0f, 3000.0f, 0.0f, -3000.0f},              // exactly atmospheric
        {201325.0f, 5000.0f, -3000.0f, 1000.0f, 1000.0f},           // negative deform: p7 is smallest
        {1101325.0f, 5000.0f, -30000.0f, 10000.0f, 5000.0f},        // then the strength
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.maxPressure);
        beam fresh = obj->setBeam(0, 0, 1, c.strength, 1000.0f, 50.0f, c.deform, 1.0f);
        fresh.makePressured(200000.0f, 0.01f, 0.5f, c.maxPressure);
        EXPECT_NEAR(params().p7, c.p7, 1e-3f * (1.0f + c.p7));
        EXPECT_NEAR(core().limitForce, c.limitForce, 1e-3f * (1.0f + std::fabs(c.limitForce)));
        EXPECT_GE(params().p7, 0.0f);
    }
}

TEST_F(BeamHandles, ResetKeepsHandleMadeTypesAndValues)
{
    beam second = obj->setBeam(-1, 1, 0, 50000.0f, 1000.0f, 50.0f, 30000.0f, 1.0f);
    b.makePressured(300000.0f, 0.02f, 0.9f, 500000.0f);
    b.setDeformationTriggerRatio(0.05f);
    second.makeAnisotropic(700.0f, 20.0f, 1.25f);
    EXPECT_FLOAT_EQ(params().deformTriggerRatio, 0.05f);
    EXPECT_FLOAT_EQ(origin().deformTriggerRatio, 0.05f);
    const BeamParams built = params();
    const float builtLimit = core().limitForce;

    // The solver breaks both and the script changes the trigger.
    obj->beams[0].type = BEAM_BROKEN;
    obj->beams[1].type = BEAM_BROKEN;
    obj->beamParams[0].p1 = 1.0f;
    obj->beamParams[0].p7 = 2.0f;
    obj->beamParams[0].deformTriggerRatio = 9.0f;
    obj->beams[0].limitForce = 3.0f;

    obj->reset(false);
    EXPECT_EQ(core().type, BEAM_PRESSURED);
    EXPECT_EQ(obj->beams[1].type, BEAM_ANISOTROPIC);
    EXPECT_FLOAT_EQ(params().p1, built.p1);
    EXPECT_FLOAT_EQ(params().p7, built.p7);
    EXPECT_FLOAT_EQ(params().deformTriggerRatio, 0.05f);
    EXPECT_EQ(params().deformCompress, FLT_MAX);
    EXPECT_FLOAT_EQ(core().limitForce, builtLimit);
}

TEST_F(BeamHandles, HandleValidity)
{
    EXPECT_TRUE(beam(obj.get(), 0).isValid());
    EXPECT_FALSE(beam(obj.get(), -1).isValid());
    EXPECT_FALSE(beam().isValid());
    EXPECT_TRUE(wheel(obj.get(), 3).isValid());
    EXPECT_FALSE(wheel(obj.get(), -1).isValid());
}

TEST_F(BeamHandles, WheelAddNodeLinksTheNodeRecords)
{
    obj->wheel_count = 2;
    wheel w(obj.get(), 1);
    w.addNode(0);
    w.addNode(1);
    w.addNode(1);  // twice counts twice
    // A node id within the capacity is taken even when not yet defined.
    w.addNode(1500);
    const wheelData& data = obj->wheels[1];
    ASSERT_EQ(data.nodeCount, 4);
    EXPECT_FLOAT_EQ(data.invNodeCount, 0.25f);
    EXPECT_EQ(data.nodes[0], &obj->nodes[0]);
    EXPECT_EQ(data.nodes[1], &obj->nodes[1]);
    EXPECT_EQ(data.nodes[2], &obj->nodes[1]);
    EXPECT_EQ(data.nodes[3], &obj->nodes[1500]);
    EXPECT_EQ(obj->nodeProperties[0].wheelId, 1);
    EXPECT_EQ(obj->nodeProperties[1500].wheelId, 1);
    EXPECT_EQ(obj->wheels[0].nodeCount, 0);
    EXPECT_TRUE(takeErrors().empty());
}

} // namespace
} // namespace VadiZov::test
