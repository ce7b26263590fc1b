// Lua surface of the engine, the library settings, the timer and the Lua state wrapper.
#include "engine/bengine.h"
#include "base/bhighperf_timer.h"
#include "lua/blua.h"
#include "lua/api/blua_api.h"
#include "lua/binding/blua_binding.h"
#include "base/bsettings.h"

namespace VadiZov {

namespace {

// Scripts get no result from setEnabled.
void setEngineEnabled(BeamEngineImpl& engine, bool enabled) { static_cast<BeamEngine&>(engine).setEnabled(enabled); }

// BeamEngine() from a script makes a plain value that refuses init and update: a second running
// engine would start a system state of its own and run the start script again, without end.
int newScriptEngine(lua_State* L)
{
    LuaBinding::pushObjectValue<BeamEngineImpl>(L)->markMadeByScript();
    return 1;
}

} // namespace

void addBeamEngineMembers(LuaBinding::Class<BeamEngineImpl>& c)
{
    // The operations of the host interface dispatch through it.
    c.addCConstructor(&newScriptEngine)
        .addFunction("deleteAllObjects", &BeamEngine::deleteAllObjects)
        .addFunction("update", &BeamEngine::update)
        .addFunction("getEnabled", &BeamEngine::getEnabled)
        .addFunction("setSimulationTimeScale", &BeamEngineImpl::setSimulationTimeScale)
        .addFunction("getSimulationTimeScale", &BeamEngineImpl::getSimulationTimeScale)
        .addFunction("setEnabled", &setEngineEnabled)
        .addFunction("queueLuaCommand", &BeamEngine::queueLuaCommand);
}

void addSettingsMembers(LuaBinding::Class<Settings>& c)
{
    c.addStaticProperty("fps", &Settings::fps)
        .addStaticProperty("fpsRealtime", &Settings::fpsRealtime)
        .addStaticProperty("max_step", &Settings::max_step)
        .addStaticProperty("gravity", &Settings::gravity)
        .addStaticProperty("debug", &Settings::debug)
        .addStaticProperty("spawnScale", &Settings::spawnScale)
        .addStaticProperty("socketEnabled", &Settings::socketEnabled);
}

void addHighPerfTimerMembers(LuaBinding::Class<HighPerfTimer>& c)
{
    c.addConstructor<>()
        .addFunction("reset", &HighPerfTimer::reset)
        .addFunction("stop", &HighPerfTimer::stop)
        .addFunction("stopAndReset", &HighPerfTimer::stopAndReset)
        .addStaticFunction("getTime", &HighPerfTimer::getTime);
}

void addLuaStateMembers(LuaBinding::Class<Lua>& c)
{
    c.addFunction("exec", &Lua::exec)
        .addFunction("colorFromHex", &Lua::colorFromHex)
        .addFunction("colorToHex", &Lua::colorToHex)
        .addFunction("dumpStack", &Lua::dumpStack)
        .addFunction("getMemoryUsageKB", &Lua::getMemoryUsageKB)
        .addFunction("enableStackTraceFile", &Lua::enableStackTraceFile)
        .addFunction("updateCore", &Lua::updateCore)
        .addProperty("runCondition", &Lua::runCondition);
}

} // namespace VadiZov
