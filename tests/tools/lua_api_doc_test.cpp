// The API reference generator: what it reads back from the binding's tables, and that it refuses
// to write a reference with a member left undescribed or a description of nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lua/binding/blua_binding.h"
#include "tools/lua_api_doc/lua_api_markdown.h"
#include "tools/lua_api_doc/lua_api_reader.h"

using namespace VadiZov;
using namespace VadiZov::apidoc;

namespace {

struct Gadget {
    float size = 1.0f;
    static inline int made = 0;
    void spin() {}
    float weight() const { return size * 2.0f; }
    static int count() { return made; }
};

struct Shadowed {
    void touch() {}
};

Gadget combine(const Gadget& a, const Gadget&) { return a; }
int readLabel(lua_State* L)
{
    lua_pushstring(L, "label");
    return 1;
}
void hello() {}

Gadget s_gadget;
Shadowed s_shadowed;

// A bare state holding one class of every kind of member, a class whose global an object of it
// replaced, a global function, a global object and a constant.
lua_State* stateWithFixtureClasses()
{
    lua_State* L = luaL_newstate();
    LuaBinding::getGlobalNamespace(L)
        .beginClass<Gadget>("Gadget")
        .addConstructor<>()
        .addFunction("spin", &Gadget::spin)
        .addFunction("weight", &Gadget::weight)
        .addFunction("__add", &combine)
        .addProperty("size", &Gadget::size)
        .addReadOnlyCProperty("label", &readLabel)
        .addStaticFunction("count", &Gadget::count)
        .addStaticProperty("made", &Gadget::made)
        .endClass()
        .beginClass<Shadowed>("Shadowed")
        .addConstructor<>()
        .addFunction("touch", &Shadowed::touch)
        .endClass()
        .addFunction("hello", &hello)
        .pop();
    LuaBinding::pushObjectPointer(L, &s_shadowed, LuaBinding::classKeyOf<Shadowed>());
    lua_setglobal(L, "Shadowed");
    LuaBinding::pushObjectPointer(L, &s_gadget, LuaBinding::constKeyOf<Gadget>());
    lua_setglobal(L, "theGadget");
    lua_pushinteger(L, 7);
    lua_setglobal(L, "SEVEN");
    return L;
}

std::string describe(const ApiMember& m)
{
    return std::string(kindName(m.kind)) + " " + m.name + (m.writable ? " rw" : "");
}

std::vector<std::string> describe(const ApiClass& c)
{
    std::vector<std::string> out;
    for (const ApiMember& m : c.members)
        out.push_back(describe(m));
    return out;
}

const ApiClass* find(const ApiSurface& s, const std::string& name)
{
    for (const ApiClass& c : s.classes)
        if (c.name == name)
            return &c;
    return nullptr;
}

std::vector<std::string> globalsText(const ApiSurface& s)
{
    std::vector<std::string> out;
    for (const ApiGlobal& g : s.globals)
        out.push_back(g.name + "=" + g.detail);
    return out;
}

} // namespace

TEST(LuaApiReader, FindsEveryKindOfMemberAndGlobalInTheTables)
{
    lua_State* L = stateWithFixtureClasses();
    const ApiSurface surface = readApiSurface(L);
    lua_close(L);

    ASSERT_EQ(surface.classes.size(), 2u);
    const ApiClass* gadget = find(surface, "Gadget");
    ASSERT_NE(gadget, nullptr);
    EXPECT_TRUE(gadget->staticTableIsGlobal);
    EXPECT_EQ(describe(*gadget), (std::vector<std::string>{
                                     "constructor __call", "static function count", "static property made rw",
                                     "method spin", "method weight", "operator __add", "property label",
                                     "property size rw"}));

    const ApiClass* shadowed = find(surface, "Shadowed");
    ASSERT_NE(shadowed, nullptr);
    EXPECT_FALSE(shadowed->staticTableIsGlobal);
    EXPECT_EQ(describe(*shadowed), (std::vector<std::string>{"constructor __call", "method touch"}));

    // Objects by class (a const object too), then functions, then constants with their values.
    EXPECT_EQ(globalsText(surface),
              (std::vector<std::string>{"Shadowed=Shadowed", "theGadget=Gadget", "hello=", "SEVEN=7"}));
}

TEST(LuaApiReference, NamesEveryMissingDuplicateAndStaleDescription)
{
    lua_State* L = stateWithFixtureClasses();
    const ApiSurface surface = readApiSurface(L);
    lua_close(L);

    std::vector<Description> table = {
        {"Gadget", "", "", "A gadget."},
        {"Gadget", "__call", "Gadget()", "New."},
        {"Gadget", "count", "", "Count."},
        {"Gadget", "made", "", "Made."},
        {"Gadget", "spin", "", "Spins."},
        {"Gadget", "weight", "", "Weight."},
        {"Gadget", "__add", "", "Sum."},
        {"Gadget", "label", "", "Label."},
        {"Gadget", "size", "", "Size."},
        {"Shadowed", "", "", "Shadowed."},
        {"Shadowed", "__call", "", "New."},
        {"Shadowed", "touch", "", "Touch."},
        {"", "Shadowed", "", "The object."},
        {"", "theGadget", "", "A gadget."},
        {"", "hello", "hello()", "Greets."},
        {"", "SEVEN", "", "Seven."},
    };
    const Reference complete = writeReference(surface, table);
    EXPECT_TRUE(complete.problems.empty());
    EXPECT_NE(complete.markdown.find("| `spin` | method |  | Spins. |"), std::string::npos);
    EXPECT_NE(complete.markdown.find("| `SEVEN` | 7 | Seven. |"), std::string::npos);
    EXPECT_NE(complete.markdown.find("The global `Shadowed` is an object of the class"), std::string::npos);
    EXPECT_EQ(complete.markdown.find("The global `Gadget` is an object"), std::string::npos);

    struct Case {
        const char* what;
        std::vector<Description> table;
        std::string problem;
    };
    std::vector<Description> withoutSpin = table, withoutClassLine = table, withStale = table, twice = table;
    withoutSpin.erase(withoutSpin.begin() + 4);
    withoutClassLine.erase(withoutClassLine.begin() + 9);
    withStale.push_back({"Gadget", "wobble", "", "Gone."});
    twice.push_back({"", "hello", "", "Again."});
    const Case cases[] = {
        {"member left out", withoutSpin, "no description of Gadget.spin"},
        {"class line left out", withoutClassLine, "no description of class Shadowed"},
        {"member removed from the API", withStale, "the description of Gadget.wobble names nothing the API registers"},
        {"described twice", twice, "two descriptions of global hello"},
    };
    for (const Case& c : cases) {
        const Reference ref = writeReference(surface, c.table);
        EXPECT_EQ(ref.problems, std::vector<std::string>{c.problem}) << c.what;
    }
}

TEST(LuaApiReader, ReadsTheLibrarysOwnRegistration)
{
    const ApiSurface surface = readRegisteredApi();
    std::vector<std::string> classes;
    for (const ApiClass& c : surface.classes)
        classes.push_back(c.name);
    std::vector<std::string> expected = {
        "BeamEngine", "wheelData", "particleData", "groundModel", "color", "debugdrawer", "beam",
        "Vector3", "float3", "Quaternion", "FlexMesh", "Prop", "beamstats", "ResourceContainer",
        "SpotLight", "BeamObject", "wheel", "HighPerfTimer", "Lua", "Settings", "FS", "FSDirectory",
        "Material", "FilePure", "SFXSource", "TerrainBlock", "GameEngine"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(classes, expected);

    const std::vector<std::string> globals = globalsText(surface);
    for (const char* g : {"BeamEngine=BeamEngine", "FS=FS", "Lua=Lua", "gameEngine=GameEngine",
                          "obj=BeamObject", "terrainBlock=TerrainBlock", "logInfo=", "dumpTableToFile=",
                          "NODE_FIXED=1", "LOG_ALWAYS=4", "FLT_MAX=3.40282347e+38"})
        EXPECT_NE(std::find(globals.begin(), globals.end(), g), globals.end()) << g;

    // The engine's global is the engine itself; float3's is its class.
    EXPECT_FALSE(find(surface, "BeamEngine")->staticTableIsGlobal);
    EXPECT_TRUE(find(surface, "float3")->staticTableIsGlobal);
    // Settings' properties are replaced by checked setters after registration: still read-write.
    const ApiClass* settings = find(surface, "Settings");
    ASSERT_NE(settings, nullptr);
    for (const ApiMember& m : settings->members)
        EXPECT_TRUE(m.kind == MemberKind::StaticProperty && m.writable) << m.name;
}
