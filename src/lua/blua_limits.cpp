#include "lua/blua_limits.h"

namespace VadiZov {

LuaLimits& luaLimits()
{
    static LuaLimits limits;
    return limits;
}

} // namespace VadiZov
