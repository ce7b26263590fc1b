// Helpers shared by the object tests: a log sink that records every line, a script double that
// records the callbacks in order, host doubles, and a fixture that owns one object.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/bglobals.h"
#include "base/blog.h"
#include "object/bobject.h"
#include "object/bobject_script.h"
#include "object/bobject_wheels.h"
#include "base/bsettings.h"
#include "tests/support/recording_host.h"
#include "tests/support/scoped_settings.h"
#include "velkor/host.h"

namespace VadiZov::test {

using VadiZov::testing::HostObjectDouble;
using VadiZov::testing::LogLine;
using VadiZov::testing::RecordingLogSink;
using VadiZov::testing::ScopedSettings;

class ScriptDouble final : public ObjectScript {
public:
    bool vehicleDestroy(std::string& error) override
    {
        calls.push_back("vehicleDestroy");
        return answer(error);
    }
    bool vehicleResetted(bool rotationChanged, std::string& error) override
    {
        calls.push_back(rotationChanged ? "vehicleResetted(true)" : "vehicleResetted(false)");
        return answer(error);
    }

    std::vector<std::string> calls;
    std::string failWith;  // non-empty: every call fails with this text

private:
    bool answer(std::string& error)
    {
        if (failWith.empty())
            return true;
        error = failWith;
        return false;
    }
};

class ResourceContainerDouble final : public ResourceContainer {
public:
    FlexBuffer* createFlexBuffer(const char*) override { return nullptr; }
    void releaseFlexBuffer(FlexBuffer*) override {}
    RigidMesh* getRigidMesh(const char*) override { return nullptr; }
    void deleteRigidMesh(RigidMesh*) override {}
    void setAlpha(float, const char*, bool) override {}
    float getAlpha(const char*) override { return 1.0f; }
    void notifyLoaded() override { ++loadedNotices; }
    int getSwitchableMaterial(int, void*) override { return 0; }
    const char* getMeshesContainingMaterial(const char*) override { return ""; }
    const char* getMeshsMaterials(const char*) override { return ""; }
    bool switchMaterial(const char*, int) override { return false; }
    void resetMaterials(int) override {}
    void destroyMaterials() override {}

    int loadedNotices = 0;
};

class ObjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetLogStateForTests();
        g_logSink = &log;
        obj = std::make_unique<BeamObjectImpl>();
        obj->setScript(&script);
    }

    void TearDown() override
    {
        obj.reset();
        g_logSink = nullptr;
        resetLogStateForTests();
    }

    int node(float x, float y, float z, float mass = 10.0f, bool collides = false)
    {
        return obj->setNode(-1, float3(x, y, z), mass, 0, 0.8f, -1, false, collides);
    }

    // Level-3 lines logged since the last call, emptied.
    std::vector<std::string> takeErrors()
    {
        std::vector<std::string> errors;
        for (const LogLine& line : log.lines) {
            if (line.level == LOG_ERROR)
                errors.push_back(line.text);
        }
        log.lines.clear();
        resetLogStateForTests();
        return errors;
    }

    RecordingLogSink log;
    ScriptDouble script;
    std::unique_ptr<BeamObjectImpl> obj;
    ScopedSettings settings;  // a test may set the spawn scale or gravity
};

inline void expectFloat3Eq(const float3& actual, const float3& expected)
{
    EXPECT_FLOAT_EQ(actual.x, expected.x);
    EXPECT_FLOAT_EQ(actual.y, expected.y);
    EXPECT_FLOAT_EQ(actual.z, expected.z);
}

inline void expectFloat3Near(const float3& actual, const float3& expected, float tolerance)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

} // namespace VadiZov::test
