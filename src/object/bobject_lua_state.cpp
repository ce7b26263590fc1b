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
    Lua& lua = objectLua_->lua;
    if (!lua.state()) {
        error = "no Lua state";
        return false;
    }
    const int status = lua.protectedCall(name, luaCallSeconds(), [name, argument](lua_State* L) {
        lua_getglobal(L, name);
        if (argument)
            lua_pushstring(L, argument);
        else
            lua_pushnil(L);
        lua_call(L, 1, 0);
    }, &error);
    return status == 0;
}

} // namespace VadiZov
