// Cost of the scripting layer on its hot paths: a bound method called from a Lua loop, and the
// physicsStep callback the core thread makes into an object's script every substep.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "solver/bsubstep.h"
#include "lua/blua.h"
#include "object/bobject.h"
#include "object/bobject_lua_script.h"
#include "base/bsettings.h"

using namespace VadiZov;

namespace {

constexpr int kCallsPerRun = 1000;

// An object state with one node, and the global function `run` that makes kCallsPerRun calls.
struct ScriptedObject {
    explicit ScriptedObject(const std::string& body)
    {
        Settings::socketEnabled = false;
        object = std::make_unique<BeamObjectImpl>();
        object->setNode(-1, float3(0.0f, 0.0f, 1.0f), 10.0f, 0, 1.0f, 0, false, true);
        lua = std::make_unique<Lua>("V0");
        lua->initialize(object.get(), nullptr);
        const std::string code = "v = float3(3, 4, 0) sum = 0 function run(n) for i = 1, n do " + body + " end end";
        lua->executeChunk(code.c_str(), code.size(), "bench");
        lua_getglobal(lua->state(), "run");
        runRef = luaL_ref(lua->state(), LUA_REGISTRYINDEX);
    }
    void run(int n)
    {
        lua_State* L = lua->state();
        lua_rawgeti(L, LUA_REGISTRYINDEX, runRef);
        lua_pushinteger(L, n);
        if (lua_pcall(L, 1, 0, 0) != 0)
            lua_pop(L, 1);
    }
    std::unique_ptr<BeamObjectImpl> object;
    std::unique_ptr<Lua> lua;
    int runRef = -1;
};

void runCalls(benchmark::State& state, const char* body)
{
    ScriptedObject scripted(body);
    for (auto _ : state)
        scripted.run(kCallsPerRun);
    state.SetItemsProcessed(state.iterations() * kCallsPerRun);
}

// An empty loop: what the loop alone costs per call.
void BM_LuaLoopOnly(benchmark::State& state) { runCalls(state, "sum = sum + i"); }
BENCHMARK(BM_LuaLoopOnly);

// A method of a by-value object returning a number.
void BM_LuaBoundMethodOnValue(benchmark::State& state) { runCalls(state, "sum = sum + v:length()"); }
BENCHMARK(BM_LuaBoundMethodOnValue);

// A method of the object (by-pointer userdata) with two integer arguments.
void BM_LuaBoundMethodOnObject(benchmark::State& state) { runCalls(state, "sum = sum + obj:getNodeVelocity(0, 0)"); }
BENCHMARK(BM_LuaBoundMethodOnObject);

// A method of a handle into the object (a by-value userdata that checks the object still lives).
void BM_LuaHandleMethod(benchmark::State& state) { runCalls(state, "w = w or obj:setWheel(-1, 0, 0, -1) local ok = w:isValid()"); }
BENCHMARK(BM_LuaHandleMethod);

// A method returning a pointer into the object: the new userdata looks up whose memory it is in.
void BM_LuaPointerIntoObjectReturned(benchmark::State& state)
{
    runCalls(state, "w = w or obj:setWheel(-1, 0, 0, -1) local d = obj:getWheel(0)");
}
BENCHMARK(BM_LuaPointerIntoObjectReturned);

// A method that returns a new float3 value (allocates a userdata).
void BM_LuaBoundMethodReturningValue(benchmark::State& state) { runCalls(state, "local c = v:cross(v)"); }
BENCHMARK(BM_LuaBoundMethodReturningValue);

// The per-substep callback as the core thread makes it, with the given script.
void runPhysicsStep(benchmark::State& state, const char* code)
{
    ScriptedObject scripted("");
    scripted.lua->executeChunk(code, std::char_traits<char>::length(code), "bench");
    LuaObjectScript script(*scripted.lua);
    script.cacheCallbacks();
    scripted.object->setScript(&script);
    for (auto _ : state)
        BeamSubstep::callPhysicsStep(*scripted.object, kSubstepTime);
    scripted.object->setScript(nullptr);
}

// A script that does a little work.
void BM_PhysicsStepCallback(benchmark::State& state)
{
    runPhysicsStep(state, "t = 0 function physicsStep(dt) t = t + dt end");
}
BENCHMARK(BM_PhysicsStepCallback);

// A script that reads the object through the API, as vehicle scripts do.
void BM_PhysicsStepCallbackUsingObj(benchmark::State& state)
{
    runPhysicsStep(state, "t = 0 function physicsStep(dt) t = t + obj:getNodeVelocity(0, 0) * dt end");
}
BENCHMARK(BM_PhysicsStepCallbackUsingObj);

} // namespace
