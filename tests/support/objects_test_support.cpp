#include "tests/support/objects_test_support.h"

#include "base/bglobals.h"
#include "base/blog.h"
#include "lua/blua.h"
#include "base/bsettings.h"

namespace VadiZov::testing {

const char* const kSystemScript = R"(
function graphicsStep(dt) end
function engineEvent(name, value)
  if value ~= nil then logInfo("event:" .. name .. " " .. tostring(value)) else logInfo("event:" .. name) end
end
)";

const char* const kRecordingObjectScript = R"(
local function log(text) logInfo("cb:" .. text) end
function init(dir)
  log("init " .. dir)
  obj:setNode(-1, float3(0, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setNode(-1, float3(1, 0, 0), 10, NORMALTYPE, 1, -1, false, false)
  obj:setBeam(-1, 0, 1, 1e9, 1000, 10, 1e9, 1.0)
  obj:finishLoading()
end
function graphicsStep(dt) log("graphicsStep") end
function graphicsStepLocal(dt) end
function physicsStep(dt) end
function beamBroken(id, energy) log(string.format("beamBroken %d %.3f", id, energy)) end
function beamDeformed(id, ratio) log(string.format("beamDeformed %d %.3f", id, ratio)) end
function vehicleResetted(changed) log("vehicleResetted " .. tostring(changed)) end
function vehicleDestroy() log("vehicleDestroy") end
function particleEmitted(p)
  log(string.format("particleEmitted %d %d %d", p.materialID1, p.materialID2, p.particleType))
end
function activated(value) log("activated " .. value) end
function debugDraw() log("debugDraw") end
)";

SFXSource* RecordingGameEngine::playSFXOnce(const char* name)
{
    calls.push_back(std::string("playSFXOnce ") + (name ? name : "(null)"));  // scripts may pass nil
    if (playReturnsNull)
        return nullptr;
    played.push_back(std::make_unique<RecordingSound>());
    return played.back().get();
}

int RecordingGameEngine::setupForceFeedback(const char* config)
{
    calls.push_back(std::string("setupForceFeedback ") + (config ? config : "(null)"));
    return 42;
}

void RecordingGameEngine::sendForceFeedback(int channel, float value)
{
    calls.push_back("sendForceFeedback " + std::to_string(channel) + " " + std::to_string(value));
}

const char* RecordingGameEngine::getForceFeedbackConfig(int channel) { return channel == 1 ? "wheel" : nullptr; }

void RecordingGameEngine::executeJS(const char* script, int value)
{
    calls.push_back(std::string("executeJS ") + (script ? script : "(null)") + " " + std::to_string(value));
}

void EngineTest::SetUp()
{
    EngineFixture::SetUp();
    hostObject.followsSetPosition = true;
    fs.addFile("lua/system/main.lua", kSystemScript);
    fs.addFile("obj/init.lua", kRecordingObjectScript);
    startEngine(&fs, &gameEngine);
}

BeamObjectImpl* EngineTest::addObject(bool withHostObject)
{
    BeamObject* object =
        engine->addObject("obj", 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, withHostObject ? &hostObject : nullptr);
    return static_cast<BeamObjectImpl*>(object);
}

void EngineTest::runInObject(BeamObjectImpl* object, const std::string& code)
{
    ASSERT_EQ(object->lua().executeChunk(code.data(), code.size(), "test"), 0) << code;
}

std::vector<std::string> EngineTest::linesStartingWith(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const LogLine& line : sink.lines)
        if (line.text.rfind(prefix, 0) == 0)
            out.push_back(line.text);
    return out;
}

int EngineTest::indexOf(const std::string& text, int from) const
{
    for (size_t i = size_t(from); i < sink.lines.size(); ++i)
        if (sink.lines[i].text == text)
            return int(i);
    return -1;
}

} // namespace VadiZov::testing
