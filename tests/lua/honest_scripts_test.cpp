// What the sandbox must leave working: ordinary pure-Lua libraries a vehicle author would bring
// along (a JSON encoder and decoder, a class library with inheritance, a text template library
// that loads source text with an environment), loaded with require from the data folder through
// the host file system, from the system state and from an object's init.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/objects_test_support.h"

namespace VadiZov::testing {
namespace {

const char* const kJson = R"(
local json = {}
local escapes = { ['"'] = '\\"', ['\\'] = '\\\\', ['\n'] = '\\n', ['\r'] = '\\r', ['\t'] = '\\t' }

local function encodeString(s)
  return '"' .. s:gsub('[%c"\\]', function(c) return escapes[c] or string.format('\\u%04x', c:byte()) end) .. '"'
end

local function isArray(t)
  local n = 0
  for k in pairs(t) do
    if type(k) ~= 'number' then return false end
    n = n + 1
  end
  return n == #t
end

function json.encode(v)
  local kind = type(v)
  if kind == 'nil' then return 'null' end
  if kind == 'boolean' then return tostring(v) end
  if kind == 'number' then return string.format('%.14g', v) end
  if kind == 'string' then return encodeString(v) end
  if kind ~= 'table' then error('cannot encode a ' .. kind) end
  local parts = {}
  if isArray(v) then
    for i = 1, #v do parts[i] = json.encode(v[i]) end
    return '[' .. table.concat(parts, ',') .. ']'
  end
  local keys = {}
  for k in pairs(v) do keys[#keys + 1] = tostring(k) end
  table.sort(keys)
  for i, k in ipairs(keys) do parts[i] = encodeString(k) .. ':' .. json.encode(v[k]) end
  return '{' .. table.concat(parts, ',') .. '}'
end

local unescapes = { b = '\b', f = '\f', n = '\n', r = '\r', t = '\t', ['"'] = '"', ['\\'] = '\\', ['/'] = '/' }

local function skip(s, i) return s:find('[^ \t\r\n]', i) or #s + 1 end

local function decodeString(s, i)
  local out, j = {}, i + 1
  while true do
    local c = s:sub(j, j)
    if c == '"' then return table.concat(out), j + 1 end
    if c == '' then error('unterminated string') end
    if c == '\\' then
      local e = s:sub(j + 1, j + 1)
      if e == 'u' then
        out[#out + 1] = string.char(tonumber(s:sub(j + 2, j + 5), 16) % 256)
        j = j + 6
      else
        out[#out + 1] = unescapes[e] or error('bad escape \\' .. e)
        j = j + 2
      end
    else
      local k = s:find('["\\]', j) or #s + 1
      out[#out + 1] = s:sub(j, k - 1)
      j = k
    end
  end
end

local decodeValue

local function decodeList(s, i, close, item)
  i = skip(s, i + 1)
  if s:sub(i, i) == close then return i + 1 end
  while true do
    i = skip(s, item(i))
    local c = s:sub(i, i)
    if c == close then return i + 1 end
    if c ~= ',' then error('expected , or ' .. close .. ' at ' .. i) end
    i = skip(s, i + 1)
  end
end

function decodeValue(s, i)
  i = skip(s, i)
  local c = s:sub(i, i)
  if c == '{' then
    local t = {}
    return t, decodeList(s, i, '}', function(at)
      local key
      key, at = decodeString(s, at)
      at = skip(s, at)
      if s:sub(at, at) ~= ':' then error('expected : at ' .. at) end
      t[key], at = decodeValue(s, at + 1)
      return at
    end)
  elseif c == '[' then
    local t = {}
    return t, decodeList(s, i, ']', function(at)
      t[#t + 1], at = decodeValue(s, at)
      return at
    end)
  elseif c == '"' then
    return decodeString(s, i)
  end
  for word, value in pairs({ ['true'] = true, ['false'] = false, null = json.null }) do
    if s:sub(i, i + #word - 1) == word then return value, i + #word end
  end
  local number = s:match('^%-?%d+%.?%d*[eE]?[%+%-]?%d*', i)
  if not number then error('unexpected ' .. c .. ' at ' .. i) end
  return tonumber(number), i + #number
end

json.null = setmetatable({}, { __tostring = function() return 'null' end })

function json.decode(s)
  local value, i = decodeValue(s, 1)
  if skip(s, i) <= #s then error('text after the value at ' .. i) end
  return value
end

return json
)";

const char* const kClass = R"(
local class = {}
function class.new(parent)
  local c = {}
  c.__index = c
  c.super = parent
  if parent then setmetatable(c, { __index = parent }) end
  function c.new(...)
    local object = setmetatable({}, c)
    if object.init then object:init(...) end
    return object
  end
  return c
end
return class
)";

const char* const kTemplate = R"(
local template = {}
-- "{{ expression }}" is written out, "{% statement %}" is run.
function template.compile(text)
  local code, position = { 'local out = {} ' }, 1
  while true do
    local s, e, kind, body = text:find('{([{%%])(.-)[}%%]}', position)
    if not s then break end
    code[#code + 1] = string.format('out[#out + 1] = %q ', text:sub(position, s - 1))
    if kind == '{' then code[#code + 1] = 'out[#out + 1] = tostring(' .. body .. ') '
    else code[#code + 1] = body .. ' ' end
    position = e + 1
  end
  code[#code + 1] = string.format('out[#out + 1] = %q return table.concat(out)', text:sub(position))
  return table.concat(code)
end
function template.render(text, values)
  local env = setmetatable({}, { __index = function(_, k)
    if values[k] ~= nil then return values[k] end
    return _G[k]
  end })
  return assert(load(template.compile(text), '=template', 't', env))()
end
return template
)";

// Uses the three libraries and logs "honest:<where> <results>".
const char* const kUser = R"(
local function useLibraries(where)
  package.path = 'lua/common/?.lua;' .. package.path
  local json = require('json')
  local class = require('class')
  local template = require('template')
  assert(require('json') == json and package.loaded.json == json)

  local data = json.decode('{"name": "cart", "wheels": [1, 2, 3, 4], "mass": 250.5, "ok": true, ' ..
                           '"note": "a \\"quoted\\" word\\n", "none": null}')
  assert(data.name == 'cart' and #data.wheels == 4 and data.mass == 250.5 and data.ok == true)
  assert(data.note == 'a "quoted" word\n' and data.none == json.null)
  local again = json.encode({ name = data.name, wheels = data.wheels, mass = data.mass, tab = 'a\tb' })

  local Shape = class.new()
  function Shape:init(name) self.name = name end
  function Shape:area() return 0 end
  function Shape:describe() return self.name .. ' ' .. self:area() end
  local Rect = class.new(Shape)
  function Rect:init(w, h) Shape.init(self, 'rect') self.w, self.h = w, h end
  function Rect:area() return self.w * self.h end
  local Square = class.new(Rect)
  function Square:init(s) Rect.init(self, s, s) self.name = 'square' end
  local shapes = { Rect.new(2, 3):describe(), Square.new(4):describe(), Shape.new('dot'):describe() }
  assert(Square.super == Rect and getmetatable(Square.new(1)) == Square)

  local text = template.render('{{ who }} has {% for i = 1, n do %}[{{ i * i }}]{% end %} and {{ #list }} items',
                               { who = where, n = 3, list = data.wheels })
  logInfo('honest:' .. where .. ' ' .. again .. ' | ' .. table.concat(shapes, ', ') .. ' | ' .. text)
end
)";

class HonestScripts : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        fs.addFile("lua/common/json.lua", kJson);
        fs.addFile("lua/common/class.lua", kClass);
        fs.addFile("lua/common/template.lua", kTemplate);
    }
};

TEST_F(HonestScripts, PureLuaLibrariesLoadAndWorkFromTheSystemStateAndAnObjectsInit)
{
    const std::string expected = R"({"mass":250.5,"name":"cart","tab":"a\tb","wheels":[1,2,3,4]} | rect 6, )"
                                 R"(square 16, dot 0 | )";
    fs.addFile("lua/system/main.lua", std::string(kSystemScript) + kUser + "useLibraries('system')");
    engine->reloadLua();
    engine->update(0.002f);
    engine->waitForPhysicsFrame();
    fs.addFile("obj/init.lua", std::string(kRecordingObjectScript) + kUser +
                                   "local initObject = init function init(dir) initObject(dir) useLibraries('init') end");
    ASSERT_NE(addObject(), nullptr);

    EXPECT_EQ(linesStartingWith("honest:"),
              (std::vector<std::string>{"honest:system " + expected + "system has [1][4][9] and 4 items",
                                        "honest:init " + expected + "init has [1][4][9] and 4 items"}));
    for (const LogLine& line : sink.lines)
        EXPECT_TRUE(line.level != LOG_WARN && line.level != LOG_ERROR) << line.text;
}

} // namespace
} // namespace VadiZov::testing
