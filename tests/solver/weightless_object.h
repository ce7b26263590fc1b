// A fixture owning one empty object built without gravity, so that a stage's forces can be
// read alone; gravity is restored afterwards.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "base/bsettings.h"
#include "object/bobject.h"

namespace VadiZov::testing {

struct WeightlessObject : ::testing::Test {
    void SetUp() override
    {
        Settings::gravity = 0.0f;
        object = std::make_unique<BeamObjectImpl>();
    }
    void TearDown() override { Settings::gravity = -9.81f; }

    // A fresh empty object, for each row of a table.
    void rebuild() { object = std::make_unique<BeamObjectImpl>(); }
    int node(float x, float y, float z = 0.0f, float mass = 1.0f)
    {
        return object->setNode(-1, float3(x, y, z), mass, 0, 1.0f, -1, false, false);
    }

    std::unique_ptr<BeamObjectImpl> object;
};

} // namespace VadiZov::testing
