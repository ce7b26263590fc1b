// Every member the binding registered, called with random argument lists from an object's init,
// graphicsStep and physicsStep. The members are found in the binding's own tables in the
// registry, so members added later are called too. Nothing may crash, hang or touch freed
// memory (the sanitizer build runs this), and the engine must still step afterwards.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lua/blua.h"
#include "tests/support/objects_test_support.h"
#include "tests/support/scoped_lua_limits.h"
#include "tests/support/scoped_settings.h"

using namespace VadiZov;
using namespace VadiZov::testing;

namespace {

// The fuzzer as Lua text: fuzz(context, seed, all) calls each member a few times and logs
// "fuzz:<context> classes <n> members <m> calls <c> errors <e> names <list>". Without `all`
// the members that would end the run (deleting or disabling) are left out. Scripts see only
// stand-ins of the class tables; the test hands the fuzzer the real ones as bindingTable.
const char* const kFuzzer = R"(
local getmetatable = function(value) return bindingTable(value) end
local seed
-- Park and Miller's generator: exact in doubles, and its low digits are not periodic.
local function random(n)
  seed = (seed * 16807) % 2147483647
  return seed % n + 1
end

local huge = string.rep('x', 1048576)
local proxy = newproxy and newproxy(true) or io.stdout
local function valuePool()
  return {
    n = 28,
    nil, 0/0, 1/0, -1/0, 2^31, -2^31, 2^31 - 1, 2^53, -1, 0, 1, 3, 0.5, 1e-40,
    huge, '', 'obj', '../../x', true, false, {}, {1, 2, 3}, print, io.stdout, proxy,
    float3(1, 2, 3), coroutine.create(function() end), obj,
  }
end

-- Most arguments are numbers, some points, so many lists get past the type checks into the
-- members; the rest are anything at all.
local numbers = { n = 15, 0/0, 1/0, -1/0, 2^31, -2^31, 2^31 - 1, -1, 0, 1, 2, 3, 0.5, 1e-40, 1e38, -0.0 }

local enders = { deleteAllObjects = true, destroy = true, setEnabled = true }

local function sortedKeys(t)
  local keys = {}
  for k in pairs(t) do if type(k) == 'string' then keys[#keys + 1] = k end end
  table.sort(keys)
  return keys
end

local function addFunctions(members, t, kind)
  if type(t) ~= 'table' then return end
  for _, k in ipairs(sortedKeys(t)) do
    local f = rawget(t, k)
    if type(f) == 'function' and k ~= '__index' and k ~= '__newindex' then
      members[#members + 1] = { kind = kind, name = k, fn = f }
    end
  end
end

-- The binding's tables as scripts reach them: each class's global is its static table (whose
-- metatable holds the static members and points at the class table), or, for the classes whose
-- global is an object (BeamEngine, Lua, FS), that object's class table.
local function registeredClasses()
  local list, seen = {}, {}
  for _, name in ipairs(sortedKeys(_G)) do
    local value, static, class = rawget(_G, name), nil, nil
    local mt = getmetatable(value)
    if type(value) == 'table' and type(mt) == 'table' and type(rawget(mt, '__class')) == 'table' then
      static, class = mt, rawget(mt, '__class')
    elseif type(value) == 'userdata' and type(mt) == 'table' and type(rawget(mt, '__type')) == 'string' then
      class = rawget(mt, '__class') or mt  -- a const object's table names its class
    end
    local typeName = class and rawget(class, '__type')
    if type(typeName) == 'string' and not seen[typeName] then
      seen[typeName] = true
      local members = {}
      addFunctions(members, class, 'method')
      addFunctions(members, rawget(class, '__propget'), 'get')
      addFunctions(members, rawget(class, '__propset'), 'set')
      if static then
        addFunctions(members, static, 'static')
        addFunctions(members, rawget(static, '__propget'), 'static get')
        addFunctions(members, rawget(static, '__propset'), 'static set')
      end
      list[#list + 1] = { name = typeName, static = static or {}, members = members }
    end
  end
  table.sort(list, function(a, b) return a.name < b.name end)
  return list
end

-- Objects of the class to call members on: the globals of that class and what its
-- constructor makes, if it has one.
-- Host handles: files, directories, created and one-shot sounds. Some are given back while the
-- members run, so later calls meet handles already closed or deleted.
local handles = {}
local function openHandles()
  handles = {
    FS:openFile('fuzz/a.txt', 'r'), FS:openFile('fuzz/b.txt', 'r'), FS:openDirectory('fuzz'),
    FS:openDirectory('fuzz'), gameEngine:createSFXSource('fuzz'), gameEngine:createSFXSource('fuzz'),
    gameEngine:playSFXOnce('fuzz'),
  }
end
local function giveBackOne()
  local h = handles[random(#handles)]
  local kind = getmetatable(h) and rawget(getmetatable(h), '__type')
  if kind == 'FilePure' then pcall(h.close, h)
  elseif kind == 'FSDirectory' then pcall(FS.closeDirectory, FS, h)
  elseif kind == 'SFXSource' then pcall(gameEngine.deleteSFXSource, gameEngine, h, true) end
end

local function knownObjects()
  local list = { BeamEngine, obj, Lua, gameEngine, terrainBlock, FS }
  for i = 1, #handles do list[#list + 1] = handles[i] end
  if obj then
    list[#list + 1] = obj:setBeam(-1, 0, 1, 1e9, 1000, 10, 1e9, 1)
    list[#list + 1] = obj:setWheel(-1, 0, 1, -1)
    list[#list + 1] = obj:getWheel(0)
  end
  return list
end

local function receiversOf(class, known)
  local found = {}
  for _, g in pairs(known) do
    if type(g) == 'userdata' and getmetatable(g) and rawget(getmetatable(g), '__type') == class.name then
      found[#found + 1] = g
    end
  end
  local ctor = rawget(class.static, '__call')
  if ctor and class.name ~= 'BeamObject' then
    local ok, made = pcall(ctor, nil)
    if ok and made ~= nil then found[#found + 1] = made end
  end
  return found
end

function fuzz(context, startSeed, all)
  seed = startSeed
  openHandles()
  local values = valuePool()
  for i = 1, #handles do values[values.n + i] = handles[i] end
  values.n = values.n + #handles
  local classes = registeredClasses()
  local known = knownObjects()
  local memberCount, calls, errors, names = 0, 0, 0, {}
  for _, class in ipairs(classes) do
    names[#names + 1] = class.name
    local receivers = receiversOf(class, known)
    for _, member in ipairs(class.members) do
      if all or not enders[member.name] then
        memberCount = memberCount + 1
        for round = 1, 12 do
          local args, count = {}, random(10) - 1
          for i = 1, count do
            local pick = random(10)
            if pick <= 7 then args[i] = numbers[random(numbers.n)]
            elseif pick == 8 then args[i] = float3(numbers[random(numbers.n)], 0, 1)
            else args[i] = values[random(values.n)] end
          end
          local self
          if #receivers > 0 and random(4) > 1 then self = receivers[random(#receivers)]
          else self = values[random(values.n)] end
          local ok
          if member.kind == 'static' or member.kind == 'static get' or member.kind == 'static set' then
            ok = pcall(member.fn, unpack(args, 1, count))
          else
            ok = pcall(member.fn, self, unpack(args, 1, count))
          end
          calls = calls + 1
          if not ok then errors = errors + 1 end
          if random(40) == 1 then giveBackOne() end
        end
      end
    end
  end
  -- What the fuzzing switched off is switched back on, so the other contexts still run.
  if not all then
    pcall(BeamEngine.setEnabled, BeamEngine, true)
    pcall(BeamEngine.setSimulationTimeScale, BeamEngine, 1)
    Settings.fps, Settings.fpsRealtime, Settings.max_step, Settings.spawnScale = 2000, 2000, 80, 1
  end
  logInfo(string.format('fuzz:%s classes %d members %d calls %d errors %d names %s', context, #classes,
                        memberCount, calls, errors, ',' .. table.concat(names, ',') .. ','))
end
)";

const char* const kFuzzedObject = R"(
function init(dir)
  obj:setNode(-1, float3(0, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setNode(-1, float3(1, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setBeam(-1, 0, 1, 1e9, 1000, 10, 1e9, 1.0)
  obj:finishLoading()
  if bindingTable then fuzz('init', 11, false) end
end
local frames = 0
function graphicsStep(dt)
  frames = frames + 1
  if frames == 2 then fuzz('graphicsStep', 22, false) end
  if frames == 4 then fuzz('final', 44, true) end
end
local physicsDone = false
function physicsStep(dt)
  if not physicsDone then physicsDone = true fuzz('physicsStep', 33, false) end
end
)";

// The system state fuzzes the object too, from a step that meets the running physics frame.
const char* const kFuzzingSystem = R"(
local frames = 0
function graphicsStep(dt)
  frames = frames + 1
  if frames == 3 then
    obj = BeamEngine:getSlot(0)
    fuzz('system', 55, false)
    obj = nil
  end
end
)";

// A game engine and a file system whose sources, files and directories are freed when given
// back, so a use afterwards would be a use of freed memory (the sanitizer build runs this).
class FreeingGameEngine final : public NullGameEngine {
public:
    void queryNodeEnvironment(float3, HostObject*, float* density, int*, float*) override { *density = 1.2f; }
    SFXSource* createSFXSource(const char*) override { return new RecordingSound(); }
    void deleteSFXSource(SFXSource* source, bool) override { delete static_cast<RecordingSound*>(source); }
    SFXSource* playSFXOnce(const char*) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        oneShots.push_back(std::make_unique<RecordingSound>());
        return oneShots.back().get();
    }
    std::mutex mutex;
    std::vector<std::unique_ptr<RecordingSound>> oneShots;
};

class FreedFile final : public FilePure {
public:
    size_t read(void*, size_t, size_t, size_t) override { return 0; }
    size_t write(const void*, size_t, size_t, size_t) override { return 0; }
    long length() override { return 5; }
    int seek(long, int) override { return 0; }
    long tell() override { return 0; }
    int close() override
    {
        delete this;
        return 0;
    }
    int eof() override { return 1; }
    int flush() override { return 0; }
    int putc(int c, FilePure*) override { return c; }
    int puts(const char*) override { return 0; }
    int error() override { return 0; }
    char* gets(char*, int) override { return nullptr; }
    int pclose() override { return -1; }
    void clearerr() override {}
};

class FreedDirectory final : public FSDirectory {
public:
    const char* getNextFilename() override { return next++ == 0 ? "a.txt" : nullptr; }
    int next = 0;
};

// Scripts' own files ("fuzz/...") are made and freed here; everything else is the test's store.
class FreeingFileSystem final : public FS {
public:
    explicit FreeingFileSystem(FS& scripts) : scripts_(scripts) {}
    int fileExists(const char* path) override { return scripts_.fileExists(path); }
    FilePure* openFile(const char* path, const char* mode) override
    {
        if (path && std::string(path).rfind("fuzz/", 0) == 0)
            return new FreedFile();
        return scripts_.openFile(path, mode);
    }
    bool directoryExists(const char* path) override { return path && std::string(path) == "fuzz"; }
    FSDirectory* openDirectory(const char* path) override
    {
        return path && std::string(path) == "fuzz" ? new FreedDirectory() : nullptr;
    }
    void closeDirectory(FSDirectory* directory) override { delete static_cast<FreedDirectory*>(directory); }

private:
    FS& scripts_;
};
// The class table behind a value, as native code sees it.
int bindingTable(lua_State* L)
{
    if (!lua_getmetatable(L, 1))
        lua_pushnil(L);
    return 1;
}

class ScriptFuzz : public EngineTest {
protected:
    // The fields of the context's summary line; empty when the context never ran.
    std::string summaryOf(const std::string& context) const
    {
        const auto lines = linesStartingWith("fuzz:" + context + " ");
        return lines.empty() ? std::string() : lines.back();
    }
    static int field(const std::string& summary, const std::string& name)
    {
        const size_t at = summary.find(" " + name + " ");
        return at == std::string::npos ? -1 : std::stoi(summary.substr(at + name.size() + 2));
    }
};

TEST_F(ScriptFuzz, EveryRegisteredMemberSurvivesRandomArgumentsFromEveryCallback)
{
    const InWorkingFolder folder;  // the members that write files write them here
    ScopedSettings settings;
    FreeingFileSystem fileSystem(fs);
    FreeingGameEngine freeingEngine;
    engine->setFileSystem(&fileSystem);
    engine->setGameEngine(&freeingEngine);
    // A pass calls every member in one callback: longer than a script call's budget allows in
    // the sanitizer build on a busy machine.
    const ScopedLuaLimits limits(60.0, 60.0, luaLimits().memoryBytes);
    fs.addFile("obj/init.lua", std::string(kFuzzer) + kFuzzedObject);
    fs.addFile("lua/system/main.lua", std::string(kFuzzer) + kFuzzingSystem);
    engine->reloadLua();
    engine->update(0.002f);  // the system state made again, with the file system and game engine above
    ASSERT_NE(engine->systemLua(), nullptr);
    lua_register(engine->systemLua()->state(), "bindingTable", bindingTable);
    BeamObjectImpl* object = addObject();
    ASSERT_NE(object, nullptr);
    // Loaded again, the way the engine loads an object, now that the fuzzer can reach the
    // tables: init fuzzes as well.
    lua_register(object->lua().state(), "bindingTable", bindingTable);
    engine->enterObjectLua();
    object->spawnVehicle("obj", Vector3{0.0f, 0.0f, 0.0f}, Quaternion(0.0f, 0.0f, 0.0f, 1.0f));
    ASSERT_FALSE(engine->leaveObjectLua(object));
    for (int frame = 0; frame < 8; ++frame)
        engine->update(0.002f);
    engine->waitForPhysicsFrame();

    for (const char* context : {"init", "physicsStep", "graphicsStep", "system", "final"}) {
        SCOPED_TRACE(context);
        const std::string summary = summaryOf(context);
        ASSERT_FALSE(summary.empty());
        // Every class the binding registers, found from its tables rather than from a list.
        EXPECT_GE(field(summary, "classes"), 27);
        for (const char* name : {"BeamEngine", "BeamObject", "beam", "wheel", "wheelData", "particleData",
                                 "float3", "Quaternion", "Lua", "Settings", "HighPerfTimer", "TerrainBlock"})
            EXPECT_NE(summary.find(std::string(",") + name + ","), std::string::npos) << name << " in " << summary;
        EXPECT_GE(field(summary, "members"), 150);
        EXPECT_GT(field(summary, "errors"), 0);  // the bad arguments were refused with Lua errors
        EXPECT_LT(field(summary, "errors"), field(summary, "calls"));
    }
    // The engine keeps stepping whatever the final pass left behind.
    engine->setEnabled(true);
    Settings::fps = 2000.0f;
    for (int frame = 0; frame < 3; ++frame)
        engine->update(0.002f);
    engine->waitForPhysicsFrame();
    // The states give back what they still hold before the file system and game engine go.
    engine->deleteAllObjects();
    engine->reloadLua();
    engine->update(0.002f);
    engine->waitForPhysicsFrame();
    engine->setFileSystem(&fs);
    engine->setGameEngine(&gameEngine);
}

} // namespace
