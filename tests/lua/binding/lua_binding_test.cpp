// The class-binding runtime, through small test classes registered the way the library's own
// classes are: a value class, a pointer class with properties and static members, const objects,
// constructors and finalisers, driven from Lua scripts.
#include <cmath>
#include <string>

#include "lua/blua.h"
#include "lua/binding/blua_binding.h"
#include "tests/support/lua_test_support.h"

namespace VadiZov::testing {
namespace {

struct Vec2 {
    float x = 0.0f, y = 0.0f;
    Vec2() = default;
    Vec2(float x_, float y_) : x(x_), y(y_) {}
    float length() const { return std::sqrt(x * x + y * y); }
    void scale(float s) { x *= s; y *= s; }
};

Vec2 addVec2(const Vec2& a, const Vec2& b) { return Vec2(a.x + b.x, a.y + b.y); }

struct NeverRegistered {
    int value = 0;
};

struct Gadget {
    int id = 0;
    std::string label;
    Vec2 pos;
    Gadget* next = nullptr;
    bool enabled = false;
    std::string text = "untouched";
    bool receivedNullText = false;
    int bumps = 0;

    static inline int counter = 0;
    static inline float ratio = 0.5f;
    static int twice(int v) { return v * 2; }

    void bump() { ++bumps; }
    int readOnly() const { return id * 10; }
    void moveBy(const Vec2& by) { pos = addVec2(pos, by); }
    void moveTo(Vec2 to) { pos = to; }
    void setNext(Gadget* g) { next = g; }
    Gadget* getNext() { return next; }
    Gadget* none() { return nullptr; }
    const Gadget* constSelf() const { return this; }
    void setText(const char* t)
    {
        receivedNullText = t == nullptr;
        text = t ? t : "";
    }
    void setEnabled(bool on) { enabled = on; }
    int countTable(LuaTableRef table)
    {
        lua_State* L = table.state();
        table.push(L);
        const int n = int(lua_objlen(L, -1));
        lua_pop(L, 1);
        return n;
    }
    int takeUnregistered(NeverRegistered* p) { return p ? p->value : -1; }
    int takeUnregisteredRef(NeverRegistered& r) { return r.value; }
    int clampedGet() const { return bumps; }
    void clampedSet(int v) { bumps = v < 0 ? 0 : v; }
};

// The state the test's Lua code runs in, for the method that calls back into it.
lua_State* s_running = nullptr;

struct Tracked {
    static inline int destroyed = 0;
    int value;
    explicit Tracked(int v) : value(v) {}
    ~Tracked() { ++destroyed; }
    int get() const { return value; }
    // Runs Lua code while this method is running; returns its error text, "" when it ran.
    std::string during(const char* code)
    {
        lua_State* L = s_running;
        const int top = lua_gettop(L);
        std::string error;
        if (luaL_dostring(L, code) != 0)
            error = lua_tostring(L, -1);
        lua_settop(L, top);
        return error;
    }
};

// The class table itself, as native code sees it; scripts get the class's stand-in. The tests
// use it to damage the tables on purpose and to reach the finaliser.
int realMetatable(lua_State* L)
{
    if (!lua_getmetatable(L, 1))
        lua_pushnil(L);
    return 1;
}

int registerTestClasses(lua_State* L)
{
    LuaBinding::getGlobalNamespace(L)
        .beginClass<Vec2>("Vec2")
        .addConstructor<float, float>()
        .addProperty("x", &Vec2::x)
        .addProperty("y", &Vec2::y)
        .addFunction("length", &Vec2::length)
        .addFunction("scale", &Vec2::scale)
        .addFunction("__add", &addVec2)
        .endClass()
        .beginClass<Gadget>("Gadget")
        .addProperty("id", &Gadget::id)
        .addProperty("label", &Gadget::label)
        .addProperty("pos", &Gadget::pos)
        .addProperty("next", &Gadget::next)
        .addProperty("enabled", &Gadget::enabled)
        .addProperty("clamped", &Gadget::clampedGet, &Gadget::clampedSet)
        .addStaticProperty("counter", &Gadget::counter)
        .addStaticProperty("ratio", &Gadget::ratio)
        .addStaticFunction("twice", &Gadget::twice)
        .addFunction("bump", &Gadget::bump)
        .addFunction("readOnly", &Gadget::readOnly)
        .addFunction("moveBy", &Gadget::moveBy)
        .addFunction("moveTo", &Gadget::moveTo)
        .addFunction("setNext", &Gadget::setNext)
        .addFunction("getNext", &Gadget::getNext)
        .addFunction("none", &Gadget::none)
        .addFunction("constSelf", &Gadget::constSelf)
        .addFunction("setText", &Gadget::setText)
        .addFunction("setEnabled", &Gadget::setEnabled)
        .addFunction("countTable", &Gadget::countTable)
        .addFunction("takeUnregistered", &Gadget::takeUnregistered)
        .addFunction("takeUnregisteredRef", &Gadget::takeUnregisteredRef)
        .endClass()
        .beginClass<Tracked>("Tracked")
        .addConstructor<int>()
        .addFunction("get", &Tracked::get)
        .addFunction("during", &Tracked::during)
        .endClass()
        .addCFunction("realMetatable", realMetatable)
        .pop();
    return 0;
}

class LuaBindingTest : public LuaTest {
protected:
    void SetUp() override
    {
        LuaTest::SetUp();
        Gadget::counter = 0;
        Gadget::ratio = 0.5f;
        Tracked::destroyed = 0;
        reopen();
    }

    // A fresh state with the test classes and the globals `gadget` and `other`.
    void reopen()
    {
        gadget = Gadget{};
        gadget.id = 1;
        other = Gadget{};
        other.id = 2;
        lua = std::make_unique<Lua>("T");
        lua->initialize(nullptr, nullptr);
        lua_State* L = lua->state();
        s_running = L;
        const int top = lua_gettop(L);
        ASSERT_EQ(lua_cpcall(L, registerTestClasses, nullptr), 0);
        ASSERT_EQ(lua_gettop(L), top) << "registration left the stack unbalanced";
        LuaBinding::pushObjectPointer(L, &gadget, LuaBinding::classKeyOf<Gadget>());
        lua_setglobal(L, "gadget");
        LuaBinding::pushObjectPointer(L, &other, LuaBinding::classKeyOf<Gadget>());
        lua_setglobal(L, "other");
    }

    std::string run(const std::string& code) { return runProtected(*lua, code); }

    Gadget gadget;
    Gadget other;
    std::unique_ptr<Lua> lua;
};

TEST_F(LuaBindingTest, ErrorTextsReachScriptsAsCatchableLuaErrors)
{
    struct Case {
        const char* code;
        const char* expected;  // the whole message after the position prefix
    };
    const Case cases[] = {
        // Argument checks.
        {"gadget:moveBy(gadget)", "bad argument #1 to 'moveBy' (Vec2 expected, got Gadget)"},
        {"gadget:moveBy(5)", "bad argument #1 to 'moveBy' (Vec2 expected, got number)"},
        {"gadget:moveBy({})", "bad argument #1 to 'moveBy' (Vec2 expected, got table)"},
        {"gadget:setNext(Vec2(1, 2))", "bad argument #1 to 'setNext' (Gadget expected, got Vec2)"},
        {"gadget:setNext(gadget:constSelf())", "bad argument #1 to 'setNext' (cannot be const)"},
        {"gadget.bump(gadget:constSelf())", "bad argument #1 to 'bump' (cannot be const)"},
        {"gadget:moveBy(nil)", "nil passed to reference"},
        {"gadget:moveTo(nil)", "nil passed to reference"},
        {"gadget.bump(nil)", "nil passed to reference"},
        {"gadget:takeUnregistered(gadget)",
         "bad argument #1 to 'takeUnregistered' (unregistered class expected, got Gadget)"},
        {"gadget:takeUnregistered(3)",
         "bad argument #1 to 'takeUnregistered' (unregistered class expected, got number)"},
        {"gadget:takeUnregisteredRef(nil)", "nil passed to reference"},
        {"gadget:countTable(5)", "bad argument #1 to 'countTable' (table expected, got number)"},
        {"Vec2('a', 1)", "bad argument #2 to 'Vec2' (number expected, got string)"},
        {"gadget.id = 'seven'", "bad argument #2 to '?' (number expected, got string)"},
        {"local v = Vec2(1, 2) realMetatable(v).__gc(5)", "bad argument #1 to '__gc' (Vec2 expected, got number)"},
        {"local v = Vec2(1, 2) realMetatable(v).__gc(gadget)", "bad argument #1 to '__gc' (Vec2 expected, got Gadget)"},
        // Members.
        {"gadget.nosuch = 1", "no member named 'nosuch'"},
        {"gadget.bump = 1", "no member named 'bump'"},
        {"gadget[7] = 1", "no member named '7'"},
        {"gadget:constSelf().id = 3", "no member named 'id'"},
        {"Gadget.nosuch = 1", "no writable variable 'nosuch'"},
        {"Gadget.twice = 1", "no writable variable 'twice'"},
        // Fields of the class table that are no methods.
        {"return Vec2(1, 2).__type", "not a cfunction"},
        {"return gadget.__propget", "not a cfunction"},
        {"return gadget.__metatable", "not a cfunction"},
        // The runtime's own consistency checks, for tables damaged from native code.
        {"realMetatable(gadget).__propget.zzz = 5 return gadget.zzz", "not a cfunction"},
        {"rawset(realMetatable(gadget), '__propget', nil) return gadget.id", "missing __propget table"},
        {"rawset(realMetatable(gadget), '__parent', 5) return gadget.nosuch", "__parent is not a table"},
        {"rawset(realMetatable(gadget), '__parent', 5) gadget.nosuch = 1", "__parent is not a table"},
        {"realMetatable(gadget).extra = 1", "no member named 'extra'"},
        {"rawset(realMetatable(Gadget), '__propget', nil) return Gadget.counter", "missing __propget table"},
        // A chain of parents that loops ends in an error, not an endless walk.
        {"local m = realMetatable(gadget) rawset(m, '__parent', m) return gadget.nosuch", "__parent chain too long"},
        {"local m = realMetatable(gadget) rawset(m, '__parent', m) gadget.nosuch = 1", "__parent chain too long"},
        {"local m = realMetatable(Gadget) rawset(m, '__parent', m) return Gadget.nosuch", "__parent chain too long"},
        {"local m = realMetatable(Gadget) rawset(m, '__parent', m) Gadget.nosuch = 1", "__parent chain too long"},
        {"local m = realMetatable(Vec2(0, 0)) rawset(m, '__parent', m) gadget:setNext(Vec2(0, 0))",
         "bad argument #1 to 'setNext' (Gadget expected, got Vec2)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        reopen();  // some cases damage the class tables
        // The text, after the script position where Lua's error function adds one.
        const std::string message = run(c.code);
        const size_t position = message.find("]:1: ");
        EXPECT_EQ(position == std::string::npos ? message : message.substr(position + 5), c.expected) << message;
        // A script's pcall catches it like any Lua error.
        reopen();
        lua_pushstring(lua->state(), c.expected);
        lua_setglobal(lua->state(), "expected");
        EXPECT_EQ(run(std::string("local ok, e = pcall(function() ") + c.code +
                      "\nend) assert(not ok and e:find(expected, 1, true))"),
                  "")
            << "not catchable with pcall";
    }
}

TEST_F(LuaBindingTest, PropertiesReadAndWriteTheNativeObject)
{
    ASSERT_EQ(run(R"(
        assert(gadget.id == 1 and other.id == 2)
        gadget.id = 5
        gadget.label = 'wheel'
        gadget.enabled = 'anything true'
        gadget.pos = Vec2(3, 4)
        local p = gadget.pos
        p.x = 99                        -- a copy: the object keeps its value
        assert(gadget.pos.x == 3 and gadget.pos:length() == 5)
        gadget.next = other
        assert(gadget.next.id == 2)
        gadget.clamped = -4
        assert(gadget.clamped == 0)
        assert(gadget.nosuch == nil)
    )"),
              "");
    EXPECT_EQ(gadget.id, 5);
    EXPECT_EQ(gadget.label, "wheel");
    EXPECT_TRUE(gadget.enabled);
    EXPECT_EQ(gadget.pos.x, 3.0f);
    EXPECT_EQ(gadget.pos.y, 4.0f);
    EXPECT_EQ(gadget.next, &other);
    EXPECT_EQ(gadget.bumps, 0);
}

TEST_F(LuaBindingTest, MethodsReadArgumentsByTheirNativeType)
{
    ASSERT_EQ(run(R"(
        gadget:bump() gadget:bump()
        gadget:moveBy(Vec2(1, 1))
        gadget:moveBy(gadget.pos)
        gadget:setNext(other)
        assert(gadget:getNext() == gadget:getNext() or true)
        assert(gadget:getNext().id == 2)
        assert(gadget:none() == nil)
        assert(gadget:countTable({1, 2, 3}) == 3)
        assert(gadget:takeUnregistered(nil) == -1)
        local sum = Vec2(1, 2) + Vec2(3, 4)
        assert(sum.x == 4 and sum.y == 6 and getmetatable(sum).__type == 'Vec2')
        local v = Vec2(3, 4)
        v:scale(2)
        assert(v.x == 6 and v.y == 8)
    )"),
              "");
    EXPECT_EQ(gadget.bumps, 2);
    EXPECT_EQ(gadget.pos.x, 2.0f);
    EXPECT_EQ(gadget.pos.y, 2.0f);
    EXPECT_EQ(gadget.next, &other);

    ASSERT_EQ(run("gadget:setNext(nil)"), "");
    EXPECT_EQ(gadget.next, nullptr);
}

TEST_F(LuaBindingTest, BooleanArgumentsFollowLuaTruth)
{
    struct Case {
        const char* value;
        bool expected;
    };
    const Case cases[] = {{"nil", false}, {"false", false}, {"true", true}, {"0", true}, {"''", true}, {"{}", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        gadget.enabled = !c.expected;
        ASSERT_EQ(run(std::string("gadget:setEnabled(") + c.value + ")"), "");
        EXPECT_EQ(gadget.enabled, c.expected);
    }
}

TEST_F(LuaBindingTest, NilTextArgumentArrivesAsNull)
{
    ASSERT_EQ(run("gadget:setText(nil)"), "");
    EXPECT_TRUE(gadget.receivedNullText);
    EXPECT_EQ(gadget.text, "");
    ASSERT_EQ(run("gadget:setText('hi')"), "");
    EXPECT_FALSE(gadget.receivedNullText);
    EXPECT_EQ(gadget.text, "hi");
    EXPECT_NE(run("gadget:setText({})").find("string expected, got table"), std::string::npos);
}

TEST_F(LuaBindingTest, StaticMembersLiveOnTheClassTable)
{
    ASSERT_EQ(run(R"(
        assert(Gadget.counter == 0)
        assert(Gadget.ratio == 0.5)
        Gadget.counter = 7
        Gadget.ratio = 0.1
        assert(Gadget.twice(21) == 42)
        assert(type(Gadget.__call) == 'nil')
        assert(type(Vec2.__call) == 'function')
        -- only functions come out of the static table's metatable
        assert(Gadget.__class == nil and Gadget.__propget == nil and Gadget.__metatable == nil)
    )"),
              "");
    EXPECT_EQ(Gadget::counter, 7);
    EXPECT_EQ(Gadget::ratio, 0.1f);
    // Lua sees the single-precision value widened.
    ASSERT_EQ(run("assert(Gadget.ratio == " + std::to_string(double(0.1f)) + " or Gadget.ratio ~= 0.1)"), "");
}

// getmetatable gives a stand-in naming the class; what a script does to it, or tries to do
// to the class through it, changes nothing the binding reads.
TEST_F(LuaBindingTest, ScriptsSeeStandInsOfTheClassTables)
{
    ASSERT_EQ(run(R"(
        assert(type(gadget) == 'userdata')
        local mt = getmetatable(gadget)
        assert(mt == getmetatable(other) and mt.__type == 'Gadget')
        assert(getmetatable(Gadget) == mt and getmetatable(mt) == nil)
        local c = gadget:constSelf()
        local cmt = getmetatable(c)
        assert(cmt.__type == 'const Gadget' and cmt ~= mt and cmt.__class == nil)
        assert(c.id == 1 and c:readOnly() == 10)
        assert(c.bump == nil)
        assert(getmetatable(Vec2(1, 2)).__type == 'Vec2')

        mt.__propget, mt.__index, mt.__newindex, mt.__gc = nil, print, print, print
        rawset(mt, '__parent', mt)
        rawset(mt, 'bump', print)
        rawset(getmetatable(Vec2(0, 0)), '__parent', mt)
        assert(gadget.id == 1 and gadget.nosuch == nil)
        gadget:bump()
        assert(not pcall(function() gadget.extra = 1 end))
        assert(not pcall(setmetatable, Gadget, {}))
        assert(not pcall(gadget.setNext, gadget, Vec2(0, 0)))
    )"),
              "");
    EXPECT_EQ(gadget.bumps, 1);
}

TEST_F(LuaBindingTest, ClassChecksSurviveReassignedGlobals)
{
    ASSERT_EQ(run(R"(
        local make = Vec2
        Gadget = nil
        Vec2 = 5
        gadget:setNext(other)
        gadget:moveBy(make(1, 2))
    )"),
              "");
    EXPECT_EQ(gadget.next, &other);
    EXPECT_EQ(gadget.pos.y, 2.0f);
    EXPECT_NE(run("gadget:setNext(Vec2)").find("Gadget expected, got number"), std::string::npos);
}

// Scripts cannot reach "__gc"; called from native code it destroys once, and never under a
// running method of the object.
TEST_F(LuaBindingTest, FinaliserDestroysAValueExactlyOnceAndNotUnderARunningMethod)
{
    ASSERT_EQ(run(R"(
        local t = Tracked(5)
        assert(t.__gc == nil and gadget.__gc == nil and Tracked.__gc == nil)
        assert(t:get() == 5)
        kept = t
        local refused = t:during('realMetatable(kept).__gc(kept)')
        assert(refused:find('object is in use', 1, true), refused)
        assert(t:get() == 5)
        local gc = realMetatable(t).__gc
        gc(t)
        gc(t)                           -- twice
        local ok, e = pcall(function() return t:get() end)
        assert(not ok and e:find('nil passed to reference', 1, true))
        t, kept = nil, nil
        collectgarbage() collectgarbage()
    )"),
              "");
    EXPECT_EQ(Tracked::destroyed, 1);

    ASSERT_EQ(run("do local a, b = Tracked(1), Tracked(2) end collectgarbage() collectgarbage()"), "");
    EXPECT_EQ(Tracked::destroyed, 3);

    ASSERT_EQ(run("kept = Tracked(3)"), "");
    lua->close();
    EXPECT_EQ(Tracked::destroyed, 4);
}

TEST_F(LuaBindingTest, FinaliserOfAPointerLeavesTheObjectAlone)
{
    ASSERT_EQ(run("local gc = realMetatable(gadget).__gc gc(gadget) gc(gadget) gadget.id = 9"), "");
    EXPECT_EQ(gadget.id, 9);
}

TEST_F(LuaBindingTest, TableArgumentsAreReleasedAfterTheCall)
{
    ASSERT_EQ(run(R"(
        local watch = setmetatable({}, {__mode = 'k'})
        local t = {1, 2}
        watch[t] = true
        assert(gadget:countTable(t) == 2)
        t = nil
        collectgarbage() collectgarbage()
        assert(next(watch) == nil, 'table still referenced')
    )"),
              "");
}

TEST_F(LuaBindingTest, ClosingAScopeThatLostItsSlotsIsAnInvalidStackError)
{
    lua_State* L = lua->state();
    const auto damaged = [](lua_State* S) -> int {
        LuaBinding::Namespace global = LuaBinding::getGlobalNamespace(S);
        auto cls = global.beginClass<NeverRegistered>("NeverRegistered");
        lua_settop(S, 1);
        cls.endClass();
        return 0;
    };
    ASSERT_NE(lua_cpcall(L, damaged, nullptr), 0);
    EXPECT_STREQ(lua_tostring(L, -1), "invalid stack");
    lua_settop(L, 0);
}

TEST_F(LuaBindingTest, APointerOfAClassNeverRegisteredIsRefusedWhenPushed)
{
    lua_State* L = lua->state();
    NeverRegistered value;
    const auto push = [](lua_State* S) -> int {
        LuaBinding::pushObjectPointer(S, lua_touserdata(S, 1), LuaBinding::classKeyOf<NeverRegistered>());
        return 1;
    };
    ASSERT_NE(lua_cpcall(L, push, &value), 0);
    EXPECT_NE(std::string(lua_tostring(L, -1)).find("unregistered class"), std::string::npos);
    lua_settop(L, 0);
    LuaBinding::pushObjectPointer(L, nullptr, LuaBinding::classKeyOf<NeverRegistered>());
    EXPECT_TRUE(lua_isnil(L, -1));
    lua_settop(L, 0);
}

} // namespace
} // namespace VadiZov::testing
