// Lua surface of the value types: float3, Quaternion and color (Vector3 has none).
#include "lua/api/blua_api.h"
#include "lua/binding/blua_binding.h"
#include "velkor/types.h"

namespace VadiZov {

namespace {

float3 add(const float3& a, const float3& b) { return a + b; }
float3 subtract(const float3& a, const float3& b) { return a - b; }
float3 multiply(const float3& a, const float3& b) { return a * b; }
float3 divide(const float3& a, const float3& b) { return a / b; }
float3 negate(const float3& a) { return -a; }
const char* float3Text(float3& v) { return v.toString(); }

// The text of one operand of a concatenation: float3 values by their own format, strings and
// numbers as Lua converts them.
void pushConcatOperand(lua_State* L, int index)
{
    if (lua_type(L, index) == LUA_TUSERDATA) {
        const auto* v = static_cast<const float3*>(
            LuaBinding::getReference(L, index, LuaBinding::classKeyOf<float3>(), true));
        lua_pushstring(L, v->toString());
    } else {
        lua_pushvalue(L, index);
        if (!lua_isstring(L, -1))
            luaL_error(L, "attempt to concatenate a %s value", luaL_typename(L, index));
    }
}

// Either operand may be the float3 ("pos: " .. v as well as v .. " m").
int concatenate(lua_State* L)
{
    pushConcatOperand(L, 1);
    pushConcatOperand(L, 2);
    lua_concat(L, 2);
    return 1;
}

Quaternion quaternionFromAngleAxis(float degrees, const float3& axis)
{
    return Quaternion::fromAngleAxis(degrees, axis);
}
const char* quaternionText(Quaternion& q) { return q.toString(); }

// Each byte keeps the low 8 bits of its argument.
color makeColor(int r, int g, int b, int a)
{
    return color{uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a)};
}

} // namespace

void addFloat3Members(LuaBinding::Class<float3>& c)
{
    c.addConstructor<float, float, float>()
        .addProperty("x", &float3::x)
        .addProperty("y", &float3::y)
        .addProperty("z", &float3::z)
        .addFunction("length", &float3::length)
        .addFunction("scale", &float3::scale)
        .addFunction("scaleCopy", &float3::scaleCopy)
        .addFunction("normalize", &float3::normalize)
        .addFunction("cross", &float3::cross)
        .addFunction("toRadians", &float3::toRadians)
        .addFunction("distance", &float3::distance)
        .addFunction("getPerpendicularVector", &float3::getPerpendicularVector)
        .addFunction("__add", &add)
        .addFunction("__sub", &subtract)
        .addFunction("__mul", &multiply)
        .addFunction("__div", &divide)
        .addFunction("__unm", &negate)
        .addFunction("__tostring", &float3Text)
        .addCFunction("__concat", &concatenate, false);
}

void addQuaternionMembers(LuaBinding::Class<Quaternion>& c)
{
    c.addFactory(&quaternionFromAngleAxis)
        .addFunction("multiply", &Quaternion::rotateVector)
        .addFunction("normalize", &Quaternion::normalize)
        .addFunction("inverse", &Quaternion::inverse)
        .addFunction("__tostring", &quaternionText);
}

void addColorMembers(LuaBinding::Class<color>& c)
{
    c.addFactory(&makeColor)
        .addProperty("r", &color::r)
        .addProperty("g", &color::g)
        .addProperty("b", &color::b)
        .addProperty("a", &color::a);
}

} // namespace VadiZov
