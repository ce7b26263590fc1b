// velkor-host: loads libvelkor with the dynamic loader, binds its three exports, gives the
// engine a log sink, a file system over DATA_DIR and a game engine, and runs host frames.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "host/host_debug_output.h"
#include "host/host_file_system.h"
#include "host/host_game_engine.h"
#include "host/host_ground_clearance.h"
#include "host/host_input_files.h"
#include "host/host_log_sink.h"
#include "host/host_object.h"
#include "host/host_object_watch.h"
#include "host/host_options.h"
#include "host/host_output_files.h"
#include "host/host_scene.h"
#include "host/host_resources.h"
#include "host/host_scene_summary.h"
#include "host/host_summary.h"
#include "host/host_trace.h"
#include "platform/process.h"
#include "platform/shared_library.h"
#include "velkor/velkor.h"

using namespace VadiZov;
using namespace VadiZov::host;

namespace {

struct LibraryExports {
    GetBeamEngineFn getBeamEngine = nullptr;
    DestroyBeamEngineFn destroyBeamEngine = nullptr;
    GetBeamEngineVersionFn getBeamEngineVersion = nullptr;
};

// Beside this program first, else wherever the loader's library path finds it.
bool loadLibrary(platform::SharedLibrary& library, LibraryExports* exports)
{
    const std::string self = platform::executablePath();
    std::string besideSelf;
    if (!self.empty())
        besideSelf = std::filesystem::path(self).parent_path() / "libvelkor.so";
    std::error_code ec;
    if (!(besideSelf.empty() || !std::filesystem::exists(besideSelf, ec) ? library.load("libvelkor.so")
                                                                          : library.load(besideSelf))) {
        std::fprintf(stderr, "velkor-host: cannot load libvelkor.so: %s\n", library.errorText().c_str());
        return false;
    }
    exports->getBeamEngine = reinterpret_cast<GetBeamEngineFn>(library.symbol("getBeamEngine"));
    exports->destroyBeamEngine = reinterpret_cast<DestroyBeamEngineFn>(library.symbol("destroyBeamEngine"));
    exports->getBeamEngineVersion = reinterpret_cast<GetBeamEngineVersionFn>(library.symbol("getBeamEngineVersion"));
    if (!exports->getBeamEngine || !exports->destroyBeamEngine || !exports->getBeamEngineVersion) {
        std::fprintf(stderr, "velkor-host: libvelkor.so lacks one of its three exports\n");
        return false;
    }
    return true;
}

// --mesh-out and the debug pictures, after the last frame; false when one was not written.
bool writeOutputs(const HostOptions& options, BeamEngine& engine, BeamObject* object,
                  const HostObjectRecord& hostObject, const HostResources& resources, HostGameEngine& gameEngine)
{
    // The run may have changed what lies at the output paths (its log, its scripts' files): the
    // rule is checked again where the files are written.
    std::string error;
    if (!checkOutputs(options, &error)) {
        std::fprintf(stderr, "velkor-host: %s\n", error.c_str());
        return false;
    }
    bool written = true;
    // The library wrote the vertices relative to the object, whose place it last gave the host.
    if (!options.meshOutDir.empty() && !options.objectDir.empty())
        written = resources.writeFlexMeshes(options.meshOutDir,
                                            std::filesystem::path(options.objectDir).filename().string(),
                                            hostObject.position);
    if (options.debugPicture.wanted())
        written = writeDebugPictures(engine, object, hostObject.position, gameEngine, options.debugPicture) && written;
    return written;
}

} // namespace

int main(int argc, char** argv)
{
    HostOptions options;
    std::string error;
    if (!parseOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "velkor-host: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(options.dataDir, ec)) {
        std::fprintf(stderr, "velkor-host: no such directory: %s\n%s", options.dataDir.c_str(), kUsage);
        return 2;
    }
    setTraceEnabled(options.trace);
    GroundFiles ground;
    if (!checkInputPlaces(options, &error) || !readGroundFiles(options, &ground, &error) ||
        !checkLogFile(options, &error)) {
        std::fprintf(stderr, "velkor-host: %s\n", error.c_str());
        return 2;
    }
    // Known before the run, so that no run is spent on output that would be refused.
    if (!checkOutputs(options, &error)) {
        std::fprintf(stderr, "velkor-host: %s\n", error.c_str());
        return 1;
    }

    platform::SharedLibrary library;
    LibraryExports exports;
    if (!loadLibrary(library, &exports))
        return 1;

    StreamLogSink sink(stdout);
    DiskFileSystem fileSystem(std::filesystem::absolute(options.dataDir).string());
    HostGameEngine gameEngine;

    BeamEngine* engine = exports.getBeamEngine();
    engine->setLogSink(&sink);
    engine->setFileSystem(&fileSystem);
    engine->setGameEngine(&gameEngine);
    // The library writes to the log file until it is destroyed and never closes it: the host
    // closes it after the engine is gone.
    FilePure* logFile = nullptr;
    if (!options.logFile.empty()) {
        fileSystem.permitLogFile(DiskFileSystem::relative(options.logFile.c_str()));
        logFile = engine->openLogFile(options.logFile.c_str());
        fileSystem.permitLogFile(std::string());
        if (!logFile)
            std::fprintf(stderr, "velkor-host: cannot open log file %s\n", options.logFile.c_str());
    }
    engine->init();
    placeGround(*engine, options, ground);

    HostResources resources(std::filesystem::absolute(options.dataDir).string());
    HostObjectRecord hostObject(float3(options.at[0], options.at[1], options.at[2]), &resources);
    BeamObject* object = nullptr;
    if (!options.objectDir.empty()) {
        object = engine->addObject(options.objectDir.c_str(), options.at[0], options.at[1], options.at[2], 0.0f,
                                   0.0f, 0.0f, 1.0f, &hostObject);
        if (!object)
            std::fprintf(stderr, "velkor-host: the engine refused the object %s\n", options.objectDir.c_str());
    }

    RunSummary summary;
    ObjectWatch watch(object, &hostObject);
    const PlacedHeightMap terrain(ground.heightMap, options.squareSize, options.heightScale);
    MeshClearance clearance(terrain);
    for (int frame = 0; frame < options.frames; ++frame) {
        if (frame == options.frames - 1)
            summary.askScript(watch.object());
        // A frame's graphics update shows the object as the frame before left it.
        const double shownTime = summary.simulatedSeconds();
        engine->update(options.dt);
        gameEngine.endFrame();
        summary.afterFrame(*engine);
        watch.afterFrame(*engine, frame + 1);
        if (watch.object() && !options.terrainFile.empty())
            clearance.afterFrame(resources.flexBuffers(), hostObject.position, shownTime);
    }
    // Nothing below may run beside the last frame's physics: its physicsStep still logs, and it
    // still writes what the summary, the meshes and the pictures read.
    waitForPhysicsFrame(*engine, &hostObject);
    object = watch.object();

    std::printf("velkor-host: library version %d, %d frames of %g s, simulation %s\n",
                exports.getBeamEngineVersion(), options.frames, double(options.dt),
                engine->getEnabled() ? "enabled" : "paused");
    summary.print(stdout, *engine, object, object ? &hostObject.position : nullptr, watch.deletedAtFrame());
    if (object || watch.deletedAtFrame() > 0)
        printSceneSummary(stdout, object, hostObject, resources);
    clearance.print(stdout);
    const bool written = writeOutputs(options, *engine, object, hostObject, resources, gameEngine);
    exports.destroyBeamEngine(engine);
    if (logFile)
        logFile->close();
    std::fflush(stdout);
    return written ? 0 : 1;
}
