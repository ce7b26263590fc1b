#include <string>

#include "object/bobject.h"
#include "object/bobject_lua_state.h"
#include "lua/blua_error_text.h"

namespace VadiZov {

void BeamObjectImpl::createLua()
{
    objectLua_ = new ObjectLua();
    objectLua_->lua.initialize(this, nullptr);
    script_ = &objectLua_->script;
}

void BeamObjectImpl::deleteLua()
{
    if (!objectLua_)
        return;
    if (script_ == &objectLua_->script)
        script_ = nullptr;
    delete objectLua_;
    objectLua_ = nullptr;
}

Lua& BeamObjectImpl::lua() { return objectLua_->lua; }

LuaObjectScript& BeamObjectImpl::luaScript() { return objectLua_->script; }

bool BeamObjectImpl::callLuaFunction(const char* name, const char* argument, std::string& error)
{
    lua_State* L = objectLua_->lua.state();
    if (!L) {
        error = "no Lua state";
        return false;
    }
    const LuaStackRestore restore(L);
    lua_getglobal(L, name);
    if (argument)
        lua_pushstring(L, argument);
    else
        lua_pushnil(L);
    if (lua_pcall(L, 1, 0, 0) != 0) {
        error = luaErrorText(L, -1);
        return false;
    }
    return true;
}

} // namespace VadiZov
