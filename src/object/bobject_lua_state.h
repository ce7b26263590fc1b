// The Lua state every object carries, with the script object through which the library calls
// back into it. Made by the object's constructor, named "V" until loading names it "V<id>".
#pragma once

#include "lua/blua.h"
#include "object/bobject_lua_script.h"

namespace VadiZov {

struct ObjectLua {
    ObjectLua() : lua("V"), script(lua) {}
    Lua lua;
    LuaObjectScript script;
};

} // namespace VadiZov
