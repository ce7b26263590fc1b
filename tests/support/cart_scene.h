// The demo's cart scene (examples/demo) in this process, set up the way velkor-host sets it up:
// the same arguments, ground files, file system, game engine, meshes and host object, so that
// tests and benchmarks can look at every node between frames.
#pragma once

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/bsettings.h"
#include "engine/bengine.h"
#include "host/host_file_system.h"
#include "host/host_game_engine.h"
#include "host/host_input_files.h"
#include "host/host_object.h"
#include "host/host_options.h"
#include "host/host_resources.h"
#include "host/host_scene.h"
#include "object/bobject.h"
#include "tests/support/scoped_settings.h"

namespace VadiZov::testing {

class CartScene {
public:
    explicit CartScene(std::string dataDir)
        : dataDir_(std::move(dataDir)), fileSystem_(dataDir_), resources_(dataDir_)
    {
    }
    ~CartScene()
    {
        if (engine_)
            engine_->teardown();
    }

    // Reads examples/demo/args, places the ground and adds the cart. False with the reason.
    bool start(std::string* error)
    {
        if (!readOptions(error) || !host::readGroundFiles(options_, &ground_, error))
            return false;
        Settings::fps = 2000.0f;
        Settings::fpsRealtime = 2000.0f;
        Settings::gravity = -9.81f;
        engine_ = std::make_unique<BeamEngineImpl>();
        engine_->setFileSystem(&fileSystem_);
        engine_->setGameEngine(&gameEngine_);
        engine_->init();
        host::placeGround(*engine_, options_, ground_);
        const float3 at(options_.at[0], options_.at[1], options_.at[2]);
        hostObject_ = std::make_unique<host::HostObjectRecord>(at, &resources_);
        object_ = static_cast<BeamObjectImpl*>(engine_->addObject(options_.objectDir.c_str(), at.x, at.y, at.z, 0, 0,
                                                                  0, 1, hostObject_.get()));
        if (!object_)
            *error = "the engine refused " + options_.objectDir;
        return object_ != nullptr;
    }
    // One host frame; the physics of the frame is finished when this returns.
    void frame()
    {
        engine_->update(options_.dt);
        engine_->waitForPhysicsFrame();
    }

    const host::HostOptions& options() const { return options_; }
    BeamEngineImpl& engine() { return *engine_; }
    BeamObjectImpl& object() { return *object_; }
    const host::HostObjectRecord& hostObject() const { return *hostObject_; }
    const host::HostResources& resources() const { return resources_; }
    const host::GroundFiles& ground() const { return ground_; }

private:
    bool readOptions(std::string* error)
    {
        std::ifstream in(dataDir_ + "/args");
        std::vector<std::string> words{"velkor-host"};
        for (std::string w; in >> w;)
            words.push_back(w);
        words.push_back(dataDir_);
        std::vector<char*> argv;
        for (std::string& w : words)
            argv.push_back(w.data());
        return host::parseOptions(int(argv.size()), argv.data(), &options_, error);
    }

    ScopedSettings settings_;  // start writes the engine's settings; the next test gets them back
    std::string dataDir_;
    host::HostOptions options_;
    host::GroundFiles ground_;
    host::DiskFileSystem fileSystem_;
    host::HostGameEngine gameEngine_;
    host::HostResources resources_;
    std::unique_ptr<host::HostObjectRecord> hostObject_;
    std::unique_ptr<BeamEngineImpl> engine_;  // last, so that it goes first
    BeamObjectImpl* object_ = nullptr;
};

} // namespace VadiZov::testing
