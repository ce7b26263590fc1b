// How a bound function reads each parameter from the Lua stack and pushes its result, chosen by
// the native type. A parameter type without a rule here does not compile.
#pragma once

#include <concepts>
#include <string>
#include <type_traits>

#include "lua/binding/blua_binding_core.h"
#include "lua/blua_table_ref.h"

namespace VadiZov::LuaBinding {

template <class>
inline constexpr bool kNoRule = false;

template <class T>
concept TextString = std::is_same_v<std::remove_cvref_t<T>, std::string>;

template <class T>
concept TableRef = std::is_same_v<std::remove_cvref_t<T>, LuaTableRef>;

template <class T>
concept IntegerLike = (std::integral<T> && !std::is_same_v<T, bool>) || std::is_enum_v<T>;

template <class T>
concept CString = std::is_same_v<T, const char*>;

// Classes that travel as objects of the binding (not strings or table references).
template <class T>
concept BoundClass = std::is_class_v<std::remove_cvref_t<T>> && !TextString<T> && !TableRef<T>;

// Pointers to objects: anything but C strings.
template <class T>
concept ObjectPointer = std::is_pointer_v<T> && !std::is_same_v<std::remove_cv_t<std::remove_pointer_t<T>>, char>;

template <class P>
struct ArgReader {
    static_assert(kNoRule<P>, "no Lua argument rule for this parameter type");
};

template <class P>
    requires std::is_same_v<P, bool>
struct ArgReader<P> {
    using Holder = bool;
    static Holder read(lua_State* L, int index) { return lua_toboolean(L, index) != 0; }
    static bool pass(Holder value) { return value; }
};

template <class P>
    requires IntegerLike<P>
struct ArgReader<P> {
    using Holder = P;
    static Holder read(lua_State* L, int index) { return static_cast<P>(luaL_checkinteger(L, index)); }
    static P pass(Holder value) { return value; }
};

template <class P>
    requires std::floating_point<P>
struct ArgReader<P> {
    using Holder = P;
    static Holder read(lua_State* L, int index) { return static_cast<P>(luaL_checknumber(L, index)); }
    static P pass(Holder value) { return value; }
};

// nil is a null text; the callee treats null as "".
template <class P>
    requires CString<P>
struct ArgReader<P> {
    using Holder = const char*;
    static Holder read(lua_State* L, int index) { return lua_isnil(L, index) ? nullptr : luaL_checkstring(L, index); }
    static const char* pass(Holder value) { return value; }
};

template <class P>
    requires TextString<P> && (!std::is_reference_v<P> || std::is_const_v<std::remove_reference_t<P>>)
struct ArgReader<P> {
    using Holder = std::string;
    static Holder read(lua_State* L, int index)
    {
        size_t length = 0;
        const char* text = luaL_checklstring(L, index, &length);
        return std::string(text, length);
    }
    static const std::string& pass(const Holder& value) { return value; }
};

template <class P>
    requires TableRef<P> && (!std::is_reference_v<P> || std::is_const_v<std::remove_reference_t<P>>)
struct ArgReader<P> {
    using Holder = LuaTableRef;
    static Holder read(lua_State* L, int index) { return LuaTableRef::fromStack(L, index); }
    static const LuaTableRef& pass(const Holder& value) { return value; }
};

// nil is a null pointer; anything else must be an object of the class.
template <class P>
    requires ObjectPointer<P>
struct ArgReader<P> {
    using Pointee = std::remove_pointer_t<P>;
    using Holder = P;
    static Holder read(lua_State* L, int index)
    {
        if (lua_isnil(L, index))
            return nullptr;
        return static_cast<P>(getClass(L, index, classKeyOf<Pointee>(), std::is_const_v<Pointee>));
    }
    static P pass(Holder value) { return value; }
};

// References and values need an object: nil raises "nil passed to reference".
template <class P>
    requires BoundClass<P> && (!std::is_rvalue_reference_v<P>)
struct ArgReader<P> {
    using Object = std::remove_reference_t<P>;
    using Holder = Object*;
    static constexpr bool kConstAllowed = std::is_const_v<Object> || !std::is_reference_v<P>;
    static Holder read(lua_State* L, int index)
    {
        return static_cast<Holder>(getReference(L, index, classKeyOf<Object>(), kConstAllowed));
    }
    static Object& pass(Holder value) { return *value; }
};

// A writable reference to a plain number (an out-parameter) has no Lua class: nil raises "nil
// passed to reference" and any other value fails the class check, so the member is never handed
// a null or foreign object.
template <class P>
    requires std::is_lvalue_reference_v<P> && std::is_arithmetic_v<std::remove_reference_t<P>> &&
             (!std::is_const_v<std::remove_reference_t<P>>)
struct ArgReader<P> {
    using Object = std::remove_reference_t<P>;
    using Holder = Object*;
    static Holder read(lua_State* L, int index)
    {
        return static_cast<Holder>(getReference(L, index, classKeyOf<Object>(), false));
    }
    static Object& pass(Holder value) { return *value; }
};

template <class R>
struct ResultPusher {
    static_assert(kNoRule<R>, "no Lua result rule for this return type");
};

template <class R>
    requires std::is_same_v<R, bool>
struct ResultPusher<R> {
    static int push(lua_State* L, bool value)
    {
        lua_pushboolean(L, value);
        return 1;
    }
};

template <class R>
    requires IntegerLike<std::remove_cvref_t<R>> || std::floating_point<std::remove_cvref_t<R>>
struct ResultPusher<R> {
    static int push(lua_State* L, R value)
    {
        lua_pushnumber(L, static_cast<lua_Number>(value));
        return 1;
    }
};

template <class R>
    requires std::is_same_v<R, const char*> || std::is_same_v<R, char*>
struct ResultPusher<R> {
    static int push(lua_State* L, const char* text)
    {
        if (text)
            lua_pushstring(L, text);
        else
            lua_pushnil(L);
        return 1;
    }
};

template <class R>
    requires TextString<R>
struct ResultPusher<R> {
    static int push(lua_State* L, const std::string& text)
    {
        lua_pushlstring(L, text.data(), text.size());
        return 1;
    }
};

template <class R>
    requires TableRef<R>
struct ResultPusher<R> {
    static int push(lua_State* L, const LuaTableRef& table)
    {
        table.push(L);
        return 1;
    }
};

// Object pointers and references are pushed by pointer; a const object gets the const table.
template <class R>
    requires ObjectPointer<R> || (std::is_lvalue_reference_v<R> && BoundClass<R>)
struct ResultPusher<R> {
    using Object = std::remove_reference_t<std::remove_pointer_t<R>>;
    static const void* key() { return std::is_const_v<Object> ? constKeyOf<Object>() : classKeyOf<Object>(); }
    static int push(lua_State* L, Object* object)
    {
        pushObjectPointer(L, const_cast<std::remove_const_t<Object>*>(object), key());
        return 1;
    }
    static int push(lua_State* L, Object& object) { return push(L, &object); }
};

// Class values are copied (or moved) into a new by-value userdata.
template <class R>
    requires BoundClass<R> && (!std::is_reference_v<R>)
struct ResultPusher<R> {
    using Object = std::remove_cv_t<R>;
    static int push(lua_State* L, Object value)
    {
        pushObjectValue<Object>(L, std::move(value));
        return 1;
    }
};

} // namespace VadiZov::LuaBinding
