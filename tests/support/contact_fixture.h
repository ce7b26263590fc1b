// A one-object scene for the contact tests: a ground-model table with known models, a terrain
// built from samples, a static collider, and a driver that runs whole substeps the way the core
// thread does, on the test's thread.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "solver/bsubstep.h"
#include "solver/bsubstep_context.h"
#include "contact/bground_contact.h"
#include "ground/bground_models.h"
#include "object/bobject.h"
#include "base/bsettings.h"
#include "ground/bstatic_collider.h"
#include "ground/bterrain.h"
#include "tests/support/log_capture.h"
#include "tests/support/contact_scene.h"
#include "velkor/host.h"

namespace VadiZov::testing {

class ContactScene : public LogCapture {
protected:
    void SetUp() override
    {
        LogCapture::SetUp();
        Settings::gravity = -9.81f;
        terrainDepthScale = 0.02f;
        groundModelTable().clearForEngineInit();
        groundModelTable().setGroundModel(groundModel{}, "ASPHALT");  // number 0: the defaults
        object = std::make_unique<BeamObjectImpl>();
        object->setScript(nullptr);  // no Lua: the tests look at the contact alone
        bindSingleObject(params, slots, object.get(), &collider, &terrain);
    }
    void TearDown() override
    {
        groundModelTable().clearForEngineInit();
        terrainDepthScale = 0.02f;
        LogCapture::TearDown();
    }

    // A width x height grid of 1 m squares from the origin.
    void loadTerrain(int width, int height, const std::vector<uint16_t>& samples, float heightScale,
                     const std::vector<uint8_t>& depthMap = {})
    {
        heights = samples;
        depths = depthMap;
        layers.assign(depthMap.empty() ? 0 : heights.size(), 0);
        TerrainConfig config = unitGridConfig(width, height, heights, heightScale);
        if (!depthMap.empty()) {
            static const char* kLayerNames[1] = {"ASPHALT"};
            config.layerMaterialNames[0] = kLayerNames[0];
            config.layerCount = 1;
            config.layerMap = layers.data();
            config.layerMapSize = int32_t(layers.size());
            config.secondMap = depths.data();
            config.secondMapSize = int32_t(depths.size());
        }
        terrain.setTerrainData(config, groundModelTable());
        ASSERT_TRUE(terrain.hasSamples());
    }
    // A flat terrain at height 0 over [0, 15] x [0, 15].
    void flatTerrain() { loadTerrain(16, 16, gridSamples(16, 16, [](int, int) { return 0; }), 0.01f); }

    int node(const float3& p, float mass = 1.0f, float friction = 1.0f)
    {
        return object->setNode(-1, p, mass, 0, friction, -1, false, true);
    }

    // n whole substeps (never the last of a frame: no render shift, no particles).
    void substeps(int n)
    {
        for (int i = 0; i < n; ++i) {
            BeamSubstep::beginSubstep(*object, params, nullptr);
            BeamSubstep::forceStage(*object, context, params);
            BeamSubstep::contactStage(*object, context, params);
        }
    }

    // The contact of every node alone, with the forces as they stand.
    void contactOnly(BeamObjectImpl* particleTarget = nullptr)
    {
        resolveNodeContacts(*object, &collider, &terrain, particleTarget);
    }

    std::unique_ptr<BeamObjectImpl> object;
    SubstepContext context;  // what the object's core thread would own
    BeamObjectRecords* slots[1] = {};
    core_parameters_t params;
    TerrainBlock terrain;
    StaticCollider collider;
    std::vector<uint16_t> heights;
    std::vector<uint8_t> layers, depths;
};

} // namespace VadiZov::testing
