// A fixture owning one empty object built without gravity, so that a stage's forces can be
// read alone; gravity is restored afterwards. It also runs whole substeps.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "base/bsettings.h"
#include "object/bobject.h"
#include "solver/bsubstep.h"
#include "solver/bsubstep_context.h"
#include "tests/support/scoped_settings.h"

namespace VadiZov::testing {

struct WeightlessObject : ::testing::Test {
    void SetUp() override
    {
        Settings::gravity = 0.0f;
        object = std::make_unique<BeamObjectImpl>();
    }

    // A fresh empty object, for each row of a table.
    void rebuild() { object = std::make_unique<BeamObjectImpl>(); }
    int node(float x, float y, float z = 0.0f, float mass = 1.0f)
    {
        return object->setNode(-1, float3(x, y, z), mass, 0, 1.0f, -1, false, false);
    }

    // Substeps in the middle of a frame (no render snapshot), stages up to the forces.
    void runSubsteps(int count)
    {
        core_parameters_t params;
        BeamObjectRecords* slots[1] = {object.get()};
        params.objects = slots;
        params.objectCount = 1;
        params.dt = kSubstepTime;
        params.invDt = kInvSubstepTime;
        params.currentSubstep = 1;
        for (int i = 0; i < count; ++i) {
            BeamSubstep::beginSubstep(*object, params, nullptr);
            BeamSubstep::forceStage(*object, context, params);
        }
    }

    std::unique_ptr<BeamObjectImpl> object;
    SubstepContext context;  // what the object's core thread would own
    ScopedSettings settings;
};

} // namespace VadiZov::testing
