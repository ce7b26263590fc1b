// What a script can reach of the scripting API, read back from the tables the binding fills when
// it registers the API into a state: the classes (class table, static table and their property
// tables in the registry) and the globals the registration sets.
#pragma once

#include <string>
#include <vector>

#include <luajit-2.1/lua.hpp>

namespace VadiZov::apidoc {

enum class MemberKind {
    Constructor,     // Name(...) through the static table's __call
    StaticFunction,  // Name.f(...)
    StaticProperty,  // Name.x
    Method,          // value:f(...)
    Operator,        // a metamethod: value + value, tostring(value), ...
    Property,        // value.x
};

struct ApiMember {
    std::string name;
    MemberKind kind;
    bool writable = false;  // properties only
};

struct ApiClass {
    std::string name;
    // The global of the class's own name holds its static table; false when a global object of
    // the same name replaced it (then its constructor and static members are out of reach).
    bool staticTableIsGlobal = false;
    std::vector<ApiMember> members;  // by kind, then by name
};

enum class GlobalKind { Object, Function, Constant };

struct ApiGlobal {
    std::string name;
    GlobalKind kind;
    std::string detail;  // the class of an object, the value of a constant
};

struct ApiSurface {
    std::vector<ApiClass> classes;  // by name
    std::vector<ApiGlobal> globals; // by kind, then by name
};

// Reads a state the binding registered classes into. Globals are every entry of the state's
// global table that is a bound object, a C function or a number, so the state should hold
// nothing but the registration (a bare luaL_newstate).
ApiSurface readApiSurface(lua_State* L);

// Registers the library's API into a bare state, as every script's state gets it, and reads it.
// The global objects (engine, file system, game engine, terrain, the object) are registered with
// placeholder addresses, so their classes show; nothing is called on them.
ApiSurface readRegisteredApi();

const char* kindName(MemberKind kind);

} // namespace VadiZov::apidoc
