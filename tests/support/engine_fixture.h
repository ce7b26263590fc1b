// The fixture of the tests that run an engine: the log recorded from a clean state (LogCapture),
// the settings at their defaults while a case runs and put back as they were after it
// (ScopedSettings: the case or its scripts may write any of them), and an engine that
// startEngine makes and starts and TearDown tears down.
#pragma once

#include <memory>

#include "base/bglobals.h"
#include "base/bsettings.h"
#include "engine/bengine.h"
#include "tests/support/log_capture.h"
#include "tests/support/scoped_settings.h"
#include "velkor/host.h"

namespace VadiZov::testing {

class EngineFixture : public LogCapture {
protected:
    void SetUp() override
    {
        LogCapture::SetUp();
        Settings::fps = 2000.0f;
        Settings::fpsRealtime = 2000.0f;
        Settings::gravity = -9.81f;
        g_savedTimeScale = 1.0f;
    }
    void TearDown() override
    {
        if (engine) {
            engine->teardown();
            engine.reset();
        }
        g_gameEngine = nullptr;
        g_fileSystem = nullptr;
        g_savedTimeScale = 1.0f;
        LogCapture::TearDown();
    }

    // Makes the engine, hands it the recording log sink and the file system and game engine
    // given (null: none), and runs init.
    void startEngine(FS* fileSystem = nullptr, GameEngine* gameEngine = nullptr)
    {
        engine = std::make_unique<BeamEngineImpl>();
        engine->setLogSink(&sink);
        if (fileSystem)
            engine->setFileSystem(fileSystem);
        if (gameEngine)
            engine->setGameEngine(gameEngine);
        engine->init();
    }

    std::unique_ptr<BeamEngineImpl> engine;

private:
    ScopedSettings settings_;
};

} // namespace VadiZov::testing
