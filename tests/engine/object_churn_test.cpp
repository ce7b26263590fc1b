// Objects added, reset, deleted and spawned again from scripts, frame after frame, while the
// scripts keep and poke handles of objects long gone. The sanitizer build runs this too: no
// report, nothing left allocated at the end, and the system state's memory stays bounded.
#include <gtest/gtest.h>

#include <string>

#include "lua/blua.h"
#include "tests/support/objects_test_support.h"
#include "tests/support/scoped_settings.h"

using namespace VadiZov;
using namespace VadiZov::testing;

namespace {

constexpr int kFrames = 10000;

// The system script runs the churn from its graphicsStep; every sixteenth frame it logs how many
// handles it kept and how many of the calls through them were refused.
const char* const kChurnSystem = R"(
local frame, spawned, refused, kept = 0, 0, 0, {}
local function keep(h) if h ~= nil then kept[#kept % 24 + 1] = h end end
local function poke(h)
  if not pcall(function() return h.node_count end) then refused = refused + 1 end
end
function graphicsStep(dt)
  frame = frame + 1
  local step = frame % 16
  local o = BeamEngine:getSlot(0)
  if step == 1 and o == nil then
    BeamEngine:spawnObject('obj', float3(0, 0, frame % 7))
    if BeamEngine:getSlot(0) then spawned = spawned + 1 end
  elseif step == 3 and o then
    keep(o) keep(o:getWheel(0)) keep(o:setBeam(-1, 0, 1, 1e9, 1000, 10, 1e9, 1))
    o:requestReset(RESET_PHYSICS)
  elseif step == 5 and o then
    o:requestReset(RESET_COMPLETELY)
  elseif step == 7 then
    BeamEngine:deleteAllObjects()
  elseif step == 9 and o == nil then
    keep(BeamEngine:getSlot(-1))          -- an empty object made in the slot
  elseif step == 10 then
    pcall(BeamEngine.setSlot, BeamEngine, 0, kept[1])  -- a stale one is refused with a Lua error
  elseif step == 12 then
    BeamEngine:deleteAllObjects()
  end
  for i = 1, #kept do poke(kept[i]) end
  if frame % 1000 == 0 then
    logInfo(string.format('churn frame %d spawned %d refused %d memory %d', frame, spawned, refused,
                          collectgarbage('count')))
  end
end
)";

// The object deletes itself now and then from its own update and tries to come back when it
// is destroyed; both must settle without a loop.
const char* const kChurnObject = R"(
local frames = 0
function init(dir)
  obj:setNode(-1, float3(0, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setNode(-1, float3(1, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setBeam(-1, 0, 1, 1e9, 1000, 10, 1e9, 1.0)
  obj:setWheel(-1, 0, 1, -1)
  obj:finishLoading()
end
function graphicsStep(dt)
  frames = frames + 1
  if frames == 6 and obj.node_count % 2 == 0 then BeamEngine:deleteAllObjects() end
end
function physicsStep(dt) end
function vehicleDestroy() BeamEngine:spawnObject('obj', float3(0, 0, 1)) end
)";

class ObjectChurn : public EngineTest {};

int numberAfter(const std::string& line, const std::string& word)
{
    const size_t at = line.find(" " + word + " ");
    return at == std::string::npos ? -1 : std::stoi(line.substr(at + word.size() + 2));
}

TEST_F(ObjectChurn, ScriptsAddResetDeleteAndRespawnForTenThousandFrames)
{
    ScopedSettings settings;
    fs.addFile("lua/system/main.lua", kChurnSystem);
    fs.addFile("obj/init.lua", kChurnObject);
    engine->reloadLua();
    for (int frame = 1; frame <= kFrames; ++frame) {
        engine->update(0.002f);
        if (frame % 1000 == 500)
            engine->reset(nullptr);  // the host resets now and then as well
        if (frame % 2000 == 500)
            clearLog();  // the log of ten thousand frames is not needed whole
    }
    engine->waitForPhysicsFrame();

    const auto lines = linesStartingWith("churn frame ");
    ASSERT_FALSE(lines.empty());
    const std::string& last = lines.back();
    EXPECT_EQ(numberAfter(last, "frame"), kFrames);
    EXPECT_GE(numberAfter(last, "spawned"), kFrames / 32);  // objects really came and went
    EXPECT_GT(numberAfter(last, "refused"), 0);             // stale handles were refused
    // The kept handles are a ring of 24: the state does not grow with the frames.
    EXPECT_LT(numberAfter(last, "memory"), 4096);
    EXPECT_LE(engine->getSlotCount(), 1);
}

} // namespace
