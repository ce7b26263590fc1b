// Lua surface of the engine, the library settings, the timer and the Lua state wrapper.
#include <type_traits>

#include "engine/bengine.h"
#include "base/bhighperf_timer.h"
#include "base/blifetime.h"
#include "base/blog.h"
#include "base/bscript_values.h"
#include "lua/blua.h"
#include "lua/api/blua_api.h"
#include "lua/binding/blua_binding.h"
#include "base/bsettings.h"
#include "base/bphysics_thread.h"

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

// Settings are shared by every state and read by the physics threads (gravity, the spawn scale):
// a physics thread may not write them, the host thread writes them only between frames, and a
// float setting must be finite and of a real size.
bool settingsWritable(lua_State* L)
{
    if (refuseOnPhysicsThread("Settings", lua_tostring(L, lua_upvalueindex(2))))
        return false;
    beforeScriptAccess();
    return true;
}

template <class V>
int writeSetting(lua_State* L)
{
    auto* variable = static_cast<V*>(lua_touserdata(L, lua_upvalueindex(1)));
    const V value = LuaBinding::ArgReader<V>::pass(LuaBinding::ArgReader<V>::read(L, 1));
    if constexpr (std::is_same_v<V, float>) {
        if (!acceptNumber("Settings", lua_tostring(L, lua_upvalueindex(2)), value))
            return 0;
    }
    if (settingsWritable(L))
        *variable = value;
    return 0;
}

template <class V>
void guardSetting(lua_State* L, int setters, const char* name, V* variable)
{
    lua_pushlightuserdata(L, variable);
    lua_pushstring(L, name);
    lua_pushcclosure(L, &writeSetting<V>, 2);
    lua_setfield(L, setters, name);
}

} // namespace

void guardSettings(lua_State* L)
{
    LuaBinding::pushRegistryValue(L, LuaBinding::staticKeyOf<Settings>());
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        return;
    }
    lua_getfield(L, -1, "__propset");
    const int setters = lua_gettop(L);
    guardSetting(L, setters, "fps", &Settings::fps);
    guardSetting(L, setters, "fpsRealtime", &Settings::fpsRealtime);
    guardSetting(L, setters, "max_step", &Settings::max_step);
    guardSetting(L, setters, "gravity", &Settings::gravity);
    guardSetting(L, setters, "debug", &Settings::debug);
    guardSetting(L, setters, "spawnScale", &Settings::spawnScale);
    guardSetting(L, setters, "socketEnabled", &Settings::socketEnabled);
    lua_pop(L, 2);
}

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
