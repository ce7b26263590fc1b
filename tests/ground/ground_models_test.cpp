#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "ground/bground_models.h"
#include "tests/support/log_capture.h"

using namespace VadiZov;

namespace {

class GroundModels : public VadiZov::testing::LogCapture {
protected:
    // The table is large and the process-wide one is shared; each case gets its own.
    std::unique_ptr<GroundModelTable> table = std::make_unique<GroundModelTable>();
};

groundModel withFriction(float staticFriction)
{
    groundModel m;
    m.staticFrictionCoefficient = staticFriction;
    return m;
}

void expectFields(const groundModel& m, const groundModel& want, const std::string& where)
{
    EXPECT_EQ(m.adhesionVelocity, want.adhesionVelocity) << where;
    EXPECT_EQ(m.defaultDepth, want.defaultDepth) << where;
    EXPECT_EQ(m.staticFrictionCoefficient, want.staticFrictionCoefficient) << where;
    EXPECT_EQ(m.slidingFrictionCoefficient, want.slidingFrictionCoefficient) << where;
    EXPECT_EQ(m.hydrodynamicFriction, want.hydrodynamicFriction) << where;
    EXPECT_EQ(m.stribeckVelocity, want.stribeckVelocity) << where;
    EXPECT_EQ(m.stribeckVelocityInverse, want.stribeckVelocityInverse) << where;
    EXPECT_EQ(m.strength, want.strength) << where;
    EXPECT_EQ(m.collisiontype, want.collisiontype) << where;
    EXPECT_EQ(m.fluidDensity, want.fluidDensity) << where;
    EXPECT_EQ(m.flowConsistencyIndex, want.flowConsistencyIndex) << where;
    EXPECT_EQ(m.flowBehaviorIndex, want.flowBehaviorIndex) << where;
    EXPECT_EQ(m.dragAnisotropy, want.dragAnisotropy) << where;
    EXPECT_EQ(m.skidMarks, want.skidMarks) << where;
}

} // namespace

TEST_F(GroundModels, NewRecordAndFreshTableHoldTheDefaults)
{
    const groundModel m;
    EXPECT_EQ(m.adhesionVelocity, 2.0f);
    EXPECT_EQ(m.defaultDepth, 0.0f);
    EXPECT_EQ(m.staticFrictionCoefficient, 1.0f);
    EXPECT_EQ(m.slidingFrictionCoefficient, 0.7f);
    EXPECT_EQ(m.hydrodynamicFriction, 0.01f);
    EXPECT_EQ(m.stribeckVelocity, 6.0f);
    EXPECT_EQ(m.stribeckVelocityInverse, 1.0f / 6.0f);
    EXPECT_EQ(m.strength, 1.0f);
    EXPECT_EQ(m.collisiontype, 0);
    EXPECT_EQ(m.fluidDensity, 200.0f);
    EXPECT_EQ(m.flowConsistencyIndex, 10000.0f);
    EXPECT_EQ(m.flowBehaviorIndex, 0.5f);
    EXPECT_EQ(m.dragAnisotropy, 0.0f);
    EXPECT_FALSE(m.skidMarks);

    EXPECT_EQ(table->count(), 0);
    for (int n : {0, 17, 255})
        expectFields(table->model(uint8_t(n)), m, "number " + std::to_string(n));
}

TEST_F(GroundModels, EngineInitZeroesEveryRecordAndForgetsNames)
{
    table->setGroundModel(withFriction(3.0f), "Rock");
    table->clearForEngineInit();
    EXPECT_EQ(table->count(), 0);
    EXPECT_EQ(table->findGroundModel("ROCK"), -1);
    EXPECT_EQ(table->nameOf(0), nullptr);
    for (int n : {0, 1, 255}) {
        const groundModel& z = table->model(uint8_t(n));
        EXPECT_EQ(z.staticFrictionCoefficient, 0.0f);
        EXPECT_EQ(z.stribeckVelocity, 0.0f);
        EXPECT_EQ(z.stribeckVelocityInverse, 0.0f);
        EXPECT_EQ(z.fluidDensity, 0.0f);
        EXPECT_EQ(z.adhesionVelocity, 0.0f);
        EXPECT_FALSE(z.skidMarks);
    }
}

TEST_F(GroundModels, StoresCopiesUnderConsecutiveNumbersAndNamesThem)
{
    groundModel mud;
    mud.stribeckVelocity = 4.0f;
    mud.stribeckVelocityInverse = 123.0f;  // whatever the caller left here is recomputed
    mud.fluidDensity = 1500.0f;
    mud.skidMarks = true;
    mud.collisiontype = 7;
    table->setGroundModel(mud, "Mud");
    mud.fluidDensity = 1.0f;  // the table holds a copy
    table->setGroundModel(withFriction(0.3f), nullptr);  // no name, still a number
    table->setGroundModel(withFriction(0.9f), "asphalt");

    EXPECT_EQ(table->count(), 3);
    EXPECT_EQ(table->model(0).fluidDensity, 1500.0f);
    EXPECT_EQ(table->model(0).stribeckVelocityInverse, 0.25f);
    EXPECT_TRUE(table->model(0).skidMarks);
    EXPECT_EQ(table->model(0).collisiontype, 7);
    EXPECT_EQ(table->model(1).staticFrictionCoefficient, 0.3f);
    EXPECT_EQ(table->model(2).staticFrictionCoefficient, 0.9f);

    EXPECT_EQ(table->findGroundModel("MUD"), 0);
    EXPECT_EQ(table->findGroundModel("ASPHALT"), 2);
    EXPECT_EQ(table->findGroundModel("Mud"), -1);  // callers upper-case the name first
    EXPECT_EQ(table->findGroundModel("GRAVEL"), -1);
    EXPECT_STREQ(table->nameOf(0), "Mud");
    EXPECT_EQ(table->nameOf(1), nullptr);
    EXPECT_STREQ(table->nameOf(2), "asphalt");
    EXPECT_TRUE(logged().empty());
}

TEST_F(GroundModels, NamesDifferingInCaseShareOneKeyAndTheLaterWins)
{
    table->setGroundModel(withFriction(0.5f), "Grass");
    table->setGroundModel(withFriction(0.6f), "GRASS");
    EXPECT_EQ(table->findGroundModel("GRASS"), 1);
    EXPECT_STREQ(table->nameOf(0), "Grass");
    EXPECT_STREQ(table->nameOf(1), "GRASS");
}

TEST_F(GroundModels, ZeroStribeckVelocityStoresAnInfiniteReciprocal)
{
    groundModel m;
    m.stribeckVelocity = 0.0f;
    table->setGroundModel(m, "ice");
    EXPECT_TRUE(std::isinf(table->model(0).stribeckVelocityInverse));
}

TEST_F(GroundModels, ResetFreesNumbersAndNamesButKeepsRecords)
{
    table->setGroundModel(withFriction(0.4f), "Sand");
    table->setGroundModel(withFriction(0.8f), "Dirt");
    table->resetGroundModels();
    EXPECT_EQ(table->count(), 0);
    EXPECT_EQ(table->findGroundModel("SAND"), -1);
    EXPECT_EQ(table->nameOf(1), nullptr);
    EXPECT_EQ(table->model(1).staticFrictionCoefficient, 0.8f);

    table->setGroundModel(withFriction(0.2f), "Snow");
    EXPECT_EQ(table->findGroundModel("SNOW"), 0);
    EXPECT_EQ(table->model(0).staticFrictionCoefficient, 0.2f);
}

TEST_F(GroundModels, The257thModelIsRefusedWithTheLimitMessage)
{
    for (int i = 0; i < 256; ++i)
        table->setGroundModel(withFriction(float(i)), std::string("m").append(std::to_string(i)).c_str());
    EXPECT_TRUE(logged().empty());
    EXPECT_EQ(table->count(), 256);
    EXPECT_EQ(table->findGroundModel("M255"), 255);
    EXPECT_EQ(table->model(255).staticFrictionCoefficient, 255.0f);

    table->setGroundModel(withFriction(-1.0f), "extra");
    EXPECT_EQ(logged(), std::vector<std::string>{"too much ground models, max: 256"});
    EXPECT_EQ(loggedLevels(), std::vector<int>{LOG_ERROR});
    EXPECT_EQ(table->count(), 256);
    EXPECT_EQ(table->findGroundModel("EXTRA"), -1);
    EXPECT_EQ(table->model(255).staticFrictionCoefficient, 255.0f);
}

TEST_F(GroundModels, TheProcessHasOneTableThatObjectsCanSearchByName)
{
    GroundModelTable& shared = groundModelTable();
    EXPECT_EQ(&shared, &groundModelTable());
    shared.resetGroundModels();
    shared.setGroundModel(withFriction(0.5f), "Gravel");
    const GroundModelNames& names = shared;
    EXPECT_EQ(names.findGroundModel("GRAVEL"), 0);
    shared.resetGroundModels();
}
