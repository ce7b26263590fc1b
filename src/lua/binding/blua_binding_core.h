// The machinery under the Lua class bindings: the userdata records that carry native objects,
// the per-class keys of the registry, the class/const/static tables and their lookup functions,
// and the checked reads of object arguments. Every failure here is a Lua error raised with
// luaL_error/luaL_argerror: nothing in this layer throws a C++ exception through Lua frames.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include <luajit-2.1/lua.hpp>

#include "base/blifetime.h"

namespace VadiZov::LuaBinding {

// Three registry keys per class: the static table's metatable, the class table, the const table.
// Their addresses are the keys, so reassigning the global of a class never breaks its checks.
template <class T>
struct ClassKeys {
    static inline const char staticKey = 0;
    static inline const char classKey = 0;
    static inline const char constKey = 0;
};

template <class T>
const void* classKeyOf()
{
    return &ClassKeys<std::remove_cv_t<T>>::classKey;
}

template <class T>
const void* constKeyOf()
{
    return &ClassKeys<std::remove_cv_t<T>>::constKey;
}

template <class T>
const void* staticKeyOf()
{
    return &ClassKeys<std::remove_cv_t<T>>::staticKey;
}

// Every object userdata starts with this record; its first entry is the virtual destructor.
class Userdata {
public:
    virtual ~Userdata() = default;
    Userdata(const Userdata&) = delete;
    Userdata& operator=(const Userdata&) = delete;

    // Null once the object is gone.
    void* object() const { return liveObject(); }
    // True when the userdata holds the object itself, so the finaliser must destroy it.
    virtual bool ownsObject() const { return false; }
    // True when the object the userdata refers to (or lives inside) has been deleted.
    bool expired() const { return life_.expired(); }
    // True when it refers into a tracked object (a soft-body object or a handle into one).
    bool tracked() const { return life_.slot != nullptr; }
    // Methods of the object running now (a method may call back into Lua): the finaliser
    // refuses to destroy the object under them.
    bool inUse() const { return calls_ > 0; }

protected:
    Userdata(void* object, LifeFlag life) : object_(object), life_(life) {}
    virtual void* liveObject() const { return object_; }
    void* object_;
    LifeFlag life_;

private:
    friend class MethodCall;
    int calls_ = 0;
};

// Marks a method of the userdata's object as running for the life of the scope.
class MethodCall {
public:
    explicit MethodCall(Userdata* record) : record_(record) { ++record_->calls_; }
    ~MethodCall() { --record_->calls_; }
    MethodCall(const MethodCall&) = delete;
    MethodCall& operator=(const MethodCall&) = delete;

private:
    Userdata* record_;
};

// An object owned elsewhere: the finaliser leaves it alone. The flag is that of the tracked
// object whose memory holds it, if any.
class UserdataPointer final : public Userdata {
public:
    UserdataPointer(void* object, LifeFlag life) : Userdata(object, life) {}
};

// A value that refers into another object (a handle) tells whose lifetime it depends on.
template <class T>
concept RefersToTrackedObject = requires(const T& value) {
    { value.lifeFlag() } -> std::convertible_to<LifeFlag>;
};

// An object the library may free while a script still holds it: each use asks whether the
// object with this serial still lives, and a freed one reads as gone.
class UserdataChecked final : public Userdata {
public:
    using AliveTest = bool (*)(const void* object, uint64_t serial);
    UserdataChecked(void* object, uint64_t serial, AliveTest alive)
        : Userdata(object, {}), serial_(serial), alive_(alive)
    {
    }

protected:
    void* liveObject() const override { return alive_(object_, serial_) ? object_ : nullptr; }

private:
    uint64_t serial_;
    AliveTest alive_;
};

// The object lives inside the userdata block, after this record, aligned for T.
template <class T>
class UserdataValue final : public Userdata {
public:
    static constexpr size_t blockSize() { return sizeof(UserdataValue) + alignof(T) - 1 + sizeof(T); }

    // Constructs the record and then the object in a block of blockSize() bytes.
    template <class... A>
    static UserdataValue* construct(void* block, A&&... args)
    {
        auto* record = new (block) UserdataValue();
        T* object = new (record->storage()) T(std::forward<A>(args)...);
        record->object_ = object;
        if constexpr (RefersToTrackedObject<T>)
            record->life_ = object->lifeFlag();
        return record;
    }

    ~UserdataValue() override
    {
        if (object_)
            static_cast<T*>(object_)->~T();
    }
    bool ownsObject() const override { return true; }

private:
    UserdataValue() : Userdata(nullptr, {}) {}
    void* storage()
    {
        const auto start = reinterpret_cast<uintptr_t>(this) + sizeof(UserdataValue);
        return reinterpret_cast<void*>((start + alignof(T) - 1) & ~uintptr_t(alignof(T) - 1));
    }
};

// The process-wide marker stored as true in every class and const table.
const void* identityKey();

// Raw registry access by light-userdata key (Lua 5.1 has no lua_rawgetp).
void pushRegistryValue(lua_State* L, const void* key);

// The four lookup functions installed in class, const and static tables.
int instanceIndex(lua_State* L);
int instanceNewindex(lua_State* L);
int staticIndex(lua_State* L);
int staticNewindex(lua_State* L);

// Leaves const table, class table and static metatable (in this order) on the stack, and stores
// the static table as field `name` of the table at scopeIndex. A class begun again reopens its
// tables instead of making new ones.
void beginClassTables(lua_State* L, int scopeIndex, const char* name, const void* staticKey, const void* classKey,
                      const void* constKey);

// Checked read of an object argument: the userdata's object pointer (may be null for a value
// that was finalised). Raises "%s expected, got %s" or "cannot be const" as argument errors,
// and "object no longer exists" for a handle whose object was deleted.
void* getClass(lua_State* L, int index, const void* classKey, bool canBeConst);
// Like getClass without the parent walk: the metatable must be the class or its const table.
Userdata* getExactRecord(lua_State* L, int index, const void* classKey);
void* getExact(lua_State* L, int index, const void* classKey);

// Reads an argument bound to a reference or value parameter: nil, or a userdata whose object is
// gone, raises "nil passed to reference".
void* getReference(lua_State* L, int index, const void* classKey, bool canBeConst);

// Pushes a by-pointer userdata with the metatable stored under key (the class or const key),
// nil for a null pointer. A pointer into a tracked object shares that object's lifetime.
void pushObjectPointer(lua_State* L, void* pointer, const void* key);

// Like pushObjectPointer for an object whose lifetime the alive test knows under serial.
void pushCheckedPointer(lua_State* L, void* pointer, const void* key, uint64_t serial, UserdataChecked::AliveTest alive);

// Pushes the metatable of the class for a new by-value object; raises a Lua error when the
// class was never registered in this state.
void pushClassTableForValue(lua_State* L, const void* classKey);

template <class T, class... A>
T* pushObjectValue(lua_State* L, A&&... args)
{
    pushClassTableForValue(L, classKeyOf<T>());
    void* block = lua_newuserdata(L, UserdataValue<T>::blockSize());
    auto* record = UserdataValue<T>::construct(block, std::forward<A>(args)...);
    lua_insert(L, -2);
    lua_setmetatable(L, -2);
    return static_cast<T*>(record->object());
}

// Raises "object no longer exists" when the record's object was deleted; before a tracked
// object is used it calls beforeScriptAccess.
void checkAlive(lua_State* L, const Userdata* record);

// The finaliser closure of a class: upvalue 1 is its class key. Destroying is idempotent and
// refused (a Lua error) while a method of the object runs. Scripts cannot reach it: lookups
// never hand out "__gc", and getmetatable gives the class's stand-in.
int finalizeObject(lua_State* L);

// How many "__parent" links a lookup follows before it gives up with a Lua error.
constexpr int kMaxParentDepth = 32;

// Absolute stack index for a relative one (Lua 5.1 has no lua_absindex).
inline int absoluteIndex(lua_State* L, int index)
{
    return (index > 0 || index <= LUA_REGISTRYINDEX) ? index : lua_gettop(L) + index + 1;
}

} // namespace VadiZov::LuaBinding
