// The demo's cart (295 nodes, 1865 beams, 4 tires of 80 triangles, a slide node) while it
// drives: one host frame of 1/60 s as the host runs it (Lua update, hand-offs, 33 or 34 substeps,
// meshes and props), and the substep stage by stage on the same cart, the tree of colliding
// nodes and the triangle contact included. Real time is 1/60 s a frame and 0.5 ms a substep;
// x_realtime says how many times faster than that.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "contact/bcollision_tree.h"
#include "contact/bground_contact.h"
#include "contact/btriangle_search.h"
#include "solver/bbeam_forces.h"
#include "solver/bpressure_groups.h"
#include "solver/bslide_nodes.h"
#include "solver/bsubstep.h"
#include "solver/bsubstep_context.h"
#include "solver/bsurface_forces.h"
#include "solver/bwheel_forces.h"
#include "tests/support/cart_scene.h"

using namespace VadiZov;

namespace {

constexpr float kDrivingFrom = 1.0f;  // seconds: accelerating from 0.5 s, braking at 4.5 s
constexpr int kTimedFrames = 180;     // 3 s, all of them driving

bool startDriving(benchmark::State& state, testing::CartScene& scene)
{
    std::string error;
    if (!scene.start(&error)) {
        state.SkipWithError(error.c_str());
        return false;
    }
    for (float t = 0.0f; t < kDrivingFrom; t += scene.options().dt)
        scene.frame();
    return true;
}

void BM_CartHostFrame(benchmark::State& state)
{
    testing::CartScene scene(VELKOR_EXAMPLES_DIR "/demo");
    if (!startDriving(state, scene))
        return;
    for (auto _ : state)
        scene.frame();
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()) * double(scene.options().dt), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CartHostFrame)->Iterations(kTimedFrames)->Unit(benchmark::kMicrosecond)->UseRealTime();

enum Stage {
    kIntegrate, kBeams, kSlideNodes, kPressureAndDrag, kWheels, kGroundContact, kLuaPhysicsStep, kTreeBuild,
    kTriangleContact, kWhole
};

// The tree of colliding nodes the physics worker builds every substep, here for the one cart.
struct ContactTree {
    explicit ContactTree(const core_parameters_t& params)
    {
        tree.resize(params);
        tree.writeSlotIds(params);
        results.resize(size_t(tree.resultCapacity()));
    }
    CollisionTriangleTree tree;
    std::vector<uint32_t> results;
};

// One substep by its stages in the order of the core thread, timing only the chosen one.
double substepTiming(BeamObjectImpl& object, SubstepContext& context, const core_parameters_t& params,
                     ContactTree& contact, Stage timed)
{
    using Clock = std::chrono::steady_clock;
    double seconds = 0.0;
    auto run = [&](Stage stage, auto&& work) {
        if (stage != timed) {
            work();
            return;
        }
        const auto start = Clock::now();
        work();
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
    };
    object.simTime += params.dt;
    object.substepCount += 1;
    run(kIntegrate, [&] {
        BeamSubstep::integrateNodes(object, params.dt, contact.tree.objectSlots(0), contact.tree.objectSlotCount(0));
    });
    if (params.lastSubstep)
        BeamSubstep::updateRenderSnapshot(object, params.renderBuffer);
    run(kBeams, [&] { BeamSubstep::computeBeamForces(object, context); });
    run(kSlideNodes, [&] { applySlideNodeForces(object); });
    run(kPressureAndDrag, [&] {
        updatePressureGroups(object, context);
        applyTriangleSurfaceForces(object, context);
    });
    run(kWheels, [&] { applyWheelForces(object, params.dt); });
    run(kGroundContact, [&] { groundContactStep(object, params); });
    run(kLuaPhysicsStep, [&] { BeamSubstep::callPhysicsStep(object, params.dt); });
    context.collisionCandidates.clear();
    context.selfContacts.clear();
    run(kTreeBuild, [&] {
        contact.tree.beginBuild();
        contact.tree.build();
    });
    run(kTriangleContact, [&] {
        BeamSubstep::contactStage(object, context, params,
                                  TriangleSearch{&contact.tree, contact.results.data(), int(contact.results.size())});
    });
    return seconds;
}

void BM_CartSubstepStage(benchmark::State& state)
{
    testing::CartScene scene(VELKOR_EXAMPLES_DIR "/demo");
    if (!startDriving(state, scene))
        return;
    const Stage timed = Stage(state.range(0));
    core_parameters_t params = scene.engine().coreParameters();
    BeamObjectImpl& object = scene.object();
    ContactTree contact(params);
    SubstepContext context;
    int substep = 0;
    for (auto _ : state) {
        params.currentSubstep = substep;
        params.lastSubstep = substep == 32;
        if (timed == kWhole) {
            const auto start = std::chrono::steady_clock::now();
            substepTiming(object, context, params, contact, kWhole);
            state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        } else {
            state.SetIterationTime(substepTiming(object, context, params, contact, timed));
        }
        substep = substep == 32 ? 0 : substep + 1;
    }
    static const char* const names[] = {"integrate", "beams", "slide nodes", "pressure and drag",
                                        "wheels", "ground contact", "Lua physicsStep", "tree build",
                                        "triangle contact", "whole substep"};
    state.SetLabel(names[timed]);
}
// 1200 substeps: 0.6 s of driving
BENCHMARK(BM_CartSubstepStage)->DenseRange(kIntegrate, kWhole)->Iterations(1200)->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

} // namespace
