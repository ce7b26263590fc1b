// Registration of native classes and functions into a Lua state. Each member is one line:
//
//   LuaBinding::getGlobalNamespace(L)
//       .beginClass<Widget>("Widget")
//           .addConstructor<int>()
//           .addFunction("resize", &Widget::resize)
//           .addProperty("width", &Widget::width)
//           .addStaticProperty("count", &Widget::count)
//       .endClass()
//       .addFunction("logInfo", &luaLogInfo)
//       .pop();
//
// The glue for a member is generated from its native type: arguments are read by the rules of
// blua_binding_args.h, the member is called, the result is pushed.
#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "lua/binding/blua_binding_args.h"
#include "lua/binding/blua_binding_core.h"

namespace VadiZov::LuaBinding {

// Signature of a free function or member function pointer.
template <class F>
struct FunctionTraits;

template <class R, class... P>
struct FunctionTraits<R (*)(P...)> {
    using Result = R;
    using Params = std::tuple<P...>;
    static constexpr bool kConst = false;
};

template <class R, class... P>
struct FunctionTraits<R (*)(P...) noexcept> : FunctionTraits<R (*)(P...)> {};

template <class C, class R, class... P>
struct FunctionTraits<R (C::*)(P...)> {
    using Result = R;
    using Params = std::tuple<P...>;
    static constexpr bool kConst = false;
};

template <class C, class R, class... P>
struct FunctionTraits<R (C::*)(P...) const> : FunctionTraits<R (C::*)(P...)> {
    static constexpr bool kConst = true;
};

template <class C, class R, class... P>
struct FunctionTraits<R (C::*)(P...) noexcept> : FunctionTraits<R (C::*)(P...)> {};

template <class C, class R, class... P>
struct FunctionTraits<R (C::*)(P...) const noexcept> : FunctionTraits<R (C::*)(P...) const> {};

// Reads the parameters from position `first` on, left to right, calls f with them and pushes
// the result; returns the number of results.
template <class R, class Params>
struct Invoker;

template <class R, class... P>
struct Invoker<R, std::tuple<P...>> {
    template <class F>
    static int call(lua_State* L, int first, F&& f)
    {
        return callWith(L, first, f, std::index_sequence_for<P...>{});
    }

private:
    template <class F, size_t... I>
    static int callWith(lua_State* L, int first, F& f, std::index_sequence<I...>)
    {
        // Braced initialisation reads the arguments in order.
        [[maybe_unused]] std::tuple<typename ArgReader<P>::Holder...> held{
            ArgReader<P>::read(L, first + int(I))...};
        if constexpr (std::is_void_v<R>) {
            f(ArgReader<P>::pass(std::get<I>(held))...);
            return 0;
        } else {
            return ResultPusher<R>::push(L, f(ArgReader<P>::pass(std::get<I>(held))...));
        }
    }
};

// Glue closures keep the native function or member pointer in a userdata upvalue.
template <class V>
void pushWithUpvalue(lua_State* L, lua_CFunction glue, const V& value)
{
    static_assert(std::is_trivially_copyable_v<V>, "upvalues hold plain pointers");
    new (lua_newuserdata(L, sizeof(V))) V(value);
    lua_pushcclosure(L, glue, 1);
}

template <class V>
const V& upvalue(lua_State* L)
{
    return *static_cast<const V*>(lua_touserdata(L, lua_upvalueindex(1)));
}

// The object a method is called on: a reference, so nil or a finalised value is refused.
template <class T>
T* selfArg(lua_State* L, bool constAllowed)
{
    return static_cast<T*>(getReference(L, 1, classKeyOf<T>(), constAllowed));
}

template <class F>
int freeFunctionGlue(lua_State* L)
{
    const F fn = upvalue<F>(L);
    return Invoker<typename FunctionTraits<F>::Result, typename FunctionTraits<F>::Params>::call(
        L, 1, [fn](auto&&... args) -> decltype(auto) { return fn(std::forward<decltype(args)>(args)...); });
}

template <class T, class M>
int methodGlue(lua_State* L)
{
    using Traits = FunctionTraits<M>;
    const M fn = upvalue<M>(L);
    T* self = selfArg<T>(L, Traits::kConst);
    const MethodCall running(static_cast<Userdata*>(lua_touserdata(L, 1)));
    return Invoker<typename Traits::Result, typename Traits::Params>::call(
        L, 2, [self, fn](auto&&... args) -> decltype(auto) { return (self->*fn)(std::forward<decltype(args)>(args)...); });
}

template <class T, class V>
int memberGetGlue(lua_State* L)
{
    const auto member = upvalue<V T::*>(L);
    const T* self = selfArg<T>(L, true);
    return ResultPusher<V>::push(L, self->*member);  // class members are pushed as copies
}

// Class values are read by reference (then copied in), everything else by its own rule.
template <class V>
using SetterReader = std::conditional_t<BoundClass<V>, ArgReader<const V&>, ArgReader<V>>;

template <class T, class V>
int memberSetGlue(lua_State* L)
{
    const auto member = upvalue<V T::*>(L);
    T* self = selfArg<T>(L, false);
    self->*member = SetterReader<V>::pass(SetterReader<V>::read(L, 2));
    return 0;
}

template <class V>
int staticGetGlue(lua_State* L)
{
    return ResultPusher<V>::push(L, *upvalue<V*>(L));
}

template <class V>
int staticSetGlue(lua_State* L)
{
    *upvalue<V*>(L) = SetterReader<V>::pass(SetterReader<V>::read(L, 1));
    return 0;
}

template <class T, class... A>
int constructorGlue(lua_State* L)
{
    return Invoker<void, std::tuple<A...>>::call(L, 2, [L](auto&&... args) {
        pushObjectValue<T>(L, std::forward<decltype(args)>(args)...);
    }) + 1;
}

template <class T, class F>
int factoryGlue(lua_State* L)
{
    const F fn = upvalue<F>(L);
    return Invoker<typename FunctionTraits<F>::Result, typename FunctionTraits<F>::Params>::call(
        L, 2, [fn](auto&&... args) -> decltype(auto) { return fn(std::forward<decltype(args)>(args)...); });
}

// A free function bound as a method is const-callable when its first parameter can take a const
// object.
template <class T, class Params>
constexpr bool firstParamTakesConst()
{
    if constexpr (std::tuple_size_v<Params> == 0) {
        return false;
    } else {
        using First = std::tuple_element_t<0, Params>;
        if constexpr (std::is_pointer_v<First>)
            return std::is_const_v<std::remove_pointer_t<First>>;
        else if constexpr (std::is_reference_v<First>)
            return std::is_const_v<std::remove_reference_t<First>>;
        else
            return true;
    }
}

template <class T>
class Class;

// An open registration scope on one table (the global table): it holds one stack slot.
class Namespace {
public:
    Namespace(lua_State* L, int tableIndex, int slots) : L_(L), tableIndex_(tableIndex), slots_(slots) {}

    lua_State* state() const { return L_; }
    int tableIndex() const { return tableIndex_; }

    template <class T>
    Class<T> beginClass(const char* name);

    template <class F>
    Namespace& addFunction(const char* name, F fn)
    {
        pushWithUpvalue(L_, &freeFunctionGlue<F>, fn);
        store(name);
        return *this;
    }

    Namespace& addCFunction(const char* name, lua_CFunction fn)
    {
        lua_pushcfunction(L_, fn);
        store(name);
        return *this;
    }

    // Closes the scope: pops the slots it holds.
    void pop();

private:
    void store(const char* name)
    {
        lua_pushstring(L_, name);
        lua_insert(L_, -2);
        lua_rawset(L_, tableIndex_);
    }

    lua_State* L_;
    int tableIndex_;
    int slots_;
};

// Opens the global scope on "_G".
Namespace getGlobalNamespace(lua_State* L);
// Pops `slots` stack slots; more than the stack has is the Lua error "invalid stack".
void popScope(lua_State* L, int slots);

// An open class scope: const table, class table and static metatable on the stack.
template <class T>
class Class {
public:
    Class(Namespace parent, const char* name) : parent_(parent), L_(parent.state())
    {
        beginClassTables(L_, parent.tableIndex(), name, staticKeyOf<T>(), classKeyOf<T>(), constKeyOf<T>());
        staticMeta_ = lua_gettop(L_);
        classTable_ = staticMeta_ - 1;
        constTable_ = staticMeta_ - 2;
    }

    // Member functions: const members are callable on const objects as well.
    template <class M>
        requires std::is_member_function_pointer_v<M>
    Class& addFunction(const char* name, M fn)
    {
        pushWithUpvalue(L_, &methodGlue<T, M>, fn);
        storeMethod(name, FunctionTraits<M>::kConst);
        return *this;
    }

    // A free function as a method: the object is its first argument (metamethods like __add).
    template <class F>
        requires std::is_pointer_v<F> && std::is_function_v<std::remove_pointer_t<F>>
    Class& addFunction(const char* name, F fn)
    {
        pushWithUpvalue(L_, &freeFunctionGlue<F>, fn);
        storeMethod(name, firstParamTakesConst<T, typename FunctionTraits<F>::Params>());
        return *this;
    }

    // A hand-written function, for the rare member whose Lua surface no native type describes.
    Class& addCFunction(const char* name, lua_CFunction fn, bool constCallable)
    {
        lua_pushcfunction(L_, fn);
        storeMethod(name, constCallable);
        return *this;
    }

    // A read-write data member.
    template <class V>
    Class& addProperty(const char* name, V T::*member)
    {
        pushWithUpvalue(L_, &memberGetGlue<T, V>, member);
        lua_pushvalue(L_, -1);
        storeIn(constTable_, "__propget", name);
        storeIn(classTable_, "__propget", name);
        pushWithUpvalue(L_, &memberSetGlue<T, V>, member);
        storeIn(classTable_, "__propset", name);
        return *this;
    }

    // A data member read and written through member functions (for members with checked writes).
    template <class G, class S>
        requires std::is_member_function_pointer_v<G> && std::is_member_function_pointer_v<S>
    Class& addProperty(const char* name, G getter, S setter)
    {
        static_assert(FunctionTraits<G>::kConst, "a property getter must be const");
        pushWithUpvalue(L_, &methodGlue<T, G>, getter);
        lua_pushvalue(L_, -1);
        storeIn(constTable_, "__propget", name);
        storeIn(classTable_, "__propget", name);
        pushWithUpvalue(L_, &methodGlue<T, S>, setter);
        storeIn(classTable_, "__propset", name);
        return *this;
    }

    // A data member read and written through free functions of the object, for members whose
    // writes need a check the class itself does not make.
    template <class V>
    Class& addProperty(const char* name, V (*getter)(const T&), void (*setter)(T&, V))
    {
        pushWithUpvalue(L_, &freeFunctionGlue<V (*)(const T&)>, getter);
        lua_pushvalue(L_, -1);
        storeIn(constTable_, "__propget", name);
        storeIn(classTable_, "__propget", name);
        pushWithUpvalue(L_, &freeFunctionGlue<void (*)(T&, V)>, setter);
        storeIn(classTable_, "__propset", name);
        return *this;
    }

    // A data member read by a hand-written function and not writable from Lua: an assignment
    // raises "no member named".
    Class& addReadOnlyCProperty(const char* name, lua_CFunction getter)
    {
        lua_pushcfunction(L_, getter);
        lua_pushvalue(L_, -1);
        storeIn(constTable_, "__propget", name);
        storeIn(classTable_, "__propget", name);
        return *this;
    }

    template <class V>
    Class& addStaticProperty(const char* name, V* variable)
    {
        pushWithUpvalue(L_, &staticGetGlue<V>, variable);
        storeIn(staticMeta_, "__propget", name);
        pushWithUpvalue(L_, &staticSetGlue<V>, variable);
        storeIn(staticMeta_, "__propset", name);
        return *this;
    }

    template <class F>
    Class& addStaticFunction(const char* name, F fn)
    {
        pushWithUpvalue(L_, &freeFunctionGlue<F>, fn);
        storeRaw(staticMeta_, name);
        return *this;
    }

    // T(args...) called from Lua as Name(args...) makes a by-value object.
    template <class... A>
    Class& addConstructor()
    {
        lua_pushcfunction(L_, (&constructorGlue<T, A...>));
        storeRaw(staticMeta_, "__call");
        return *this;
    }

    // A hand-written Name(...), for a class whose script-made objects need more than T().
    Class& addCConstructor(lua_CFunction fn)
    {
        lua_pushcfunction(L_, fn);
        storeRaw(staticMeta_, "__call");
        return *this;
    }

    // Name(args...) returns factory(args...) as a by-value object.
    template <class F>
    Class& addFactory(F factory)
    {
        static_assert(std::is_same_v<typename FunctionTraits<F>::Result, T>, "a factory returns the class by value");
        pushWithUpvalue(L_, &factoryGlue<T, F>, factory);
        storeRaw(staticMeta_, "__call");
        return *this;
    }

    // Closes the class scope (three slots) and returns to the enclosing one.
    Namespace endClass()
    {
        popScope(L_, 3);
        return parent_;
    }

private:
    void storeRaw(int tableIndex, const char* name)
    {
        lua_pushstring(L_, name);
        lua_insert(L_, -2);
        lua_rawset(L_, tableIndex);
    }

    void storeMethod(const char* name, bool constCallable)
    {
        if (constCallable) {
            lua_pushvalue(L_, -1);
            storeRaw(constTable_, name);
        }
        storeRaw(classTable_, name);
    }

    // Stores the value on top as table[field][name].
    void storeIn(int tableIndex, const char* field, const char* name)
    {
        lua_pushstring(L_, field);
        lua_rawget(L_, tableIndex);
        lua_pushstring(L_, name);
        lua_pushvalue(L_, -3);
        lua_rawset(L_, -3);
        lua_pop(L_, 2);
    }

    Namespace parent_;
    lua_State* L_;
    int constTable_ = 0;
    int classTable_ = 0;
    int staticMeta_ = 0;
};

template <class T>
Class<T> Namespace::beginClass(const char* name)
{
    return Class<T>(*this, name);
}

} // namespace VadiZov::LuaBinding
