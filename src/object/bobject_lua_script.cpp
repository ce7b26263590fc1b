#include "object/bobject_lua_script.h"

#include "base/blog.h"
#include "lua/blua.h"
#include "lua/blua_error_text.h"
#include "lua/binding/blua_binding_core.h"
#include "object/bobject_records.h"

namespace VadiZov {

namespace {

const char* const kCallbackNames[kObjectCallbackCount] = {
    "graphicsStep", "graphicsStepLocal", "physicsStep",     "beamBroken", "beamDeformed",
    "vehicleResetted", "vehicleDestroy", "particleEmitted", "activated",  "debugDraw",
};

void pushArgument(lua_State* L, bool value) { lua_pushboolean(L, value); }
void pushArgument(lua_State* L, int value) { lua_pushinteger(L, value); }
void pushArgument(lua_State* L, float value) { lua_pushnumber(L, value); }
// A copy: the record lives in a queue the core thread refills, and a script may keep what it got.
void pushArgument(lua_State* L, const particleData* record)
{
    LuaBinding::pushObjectValue<particleData>(L, *record);
}

} // namespace

const char* objectCallbackName(ObjectCallback callback) { return kCallbackNames[int(callback)]; }

void LuaObjectScript::cacheCallbacks()
{
    lua_State* L = lua_.state();
    if (!L)
        return;
    const LuaStackRestore restore(L);
    // References into a state that has since been replaced died with it; releasing them would
    // free slots of the new state.
    const bool sameState = refsGeneration_ == lua_.generation();
    for (int i = 0; i < kObjectCallbackCount; ++i) {
        if (sameState && refs_[i] >= 0)
            luaL_unref(L, LUA_REGISTRYINDEX, refs_[i]);
        refs_[i] = lua_.referenceGlobal(kCallbackNames[i]);  // nil gives a negative reference
        if (refs_[i] < 0)
            logFormat(LOG_WARN, "Lua function '%s' not found.", kCallbackNames[i]);
    }
    refsGeneration_ = lua_.generation();
}

// Protected and with the call's time budget: a callback that runs out of time is dropped.
template <class... A>
bool LuaObjectScript::call(ObjectCallback callback, std::string& error, A... args)
{
    int& ref = refs_[int(callback)];
    if (ref < 0 || !lua_.state() || refsGeneration_ != lua_.generation())
        return true;
    return lua_.callReference(ref, kCallbackNames[int(callback)], int(sizeof...(A)),
                              [&]([[maybe_unused]] lua_State* L) { (pushArgument(L, args), ...); }, error);
}

bool LuaObjectScript::vehicleDestroy(std::string& error) { return call(ObjectCallback::vehicleDestroy, error); }

bool LuaObjectScript::vehicleResetted(bool rotationChanged, std::string& error)
{
    return call(ObjectCallback::vehicleResetted, error, rotationChanged);
}

void LuaObjectScript::updateCore()
{
    if (lua_.state())
        lua_.updateCore();
}

bool LuaObjectScript::graphicsStepLocal(float frameTime, std::string& error)
{
    return call(ObjectCallback::graphicsStepLocal, error, frameTime);
}

bool LuaObjectScript::physicsStep(float dt, std::string& error) { return call(ObjectCallback::physicsStep, error, dt); }

bool LuaObjectScript::beamBroken(int beam, float energy, std::string& error)
{
    return call(ObjectCallback::beamBroken, error, beam, energy);
}

bool LuaObjectScript::beamDeformed(int beam, float ratio, std::string& error)
{
    return call(ObjectCallback::beamDeformed, error, beam, ratio);
}

bool LuaObjectScript::graphicsStep(float dt, std::string& error) { return call(ObjectCallback::graphicsStep, error, dt); }

bool LuaObjectScript::activated(int value, std::string& error) { return call(ObjectCallback::activated, error, value); }

bool LuaObjectScript::debugDraw(std::string& error) { return call(ObjectCallback::debugDraw, error); }

bool LuaObjectScript::particleEmitted(particleData& record, std::string& error)
{
    return call(ObjectCallback::particleEmitted, error, static_cast<const particleData*>(&record));
}

} // namespace VadiZov
