-- The demo's system script: loaded once when the engine starts, then called every host frame.
local frames = 0
local simulated = 0
local timer = HighPerfTimer()

-- The surface the demo's terrain and collision triangles refer to by name.
local asphalt = groundModel()
asphalt.staticFrictionCoefficient = 0.98
asphalt.slidingFrictionCoefficient = 0.7
asphalt.skidMarks = true
BeamEngine:setGroundModel(asphalt, "asphalt")

function engineEvent(name, value)
  if value ~= nil then
    logInfo("engine event: " .. tostring(name) .. " " .. tostring(value))
  else
    logInfo("engine event: " .. tostring(name))
  end
end

function graphicsStep(dt)
  frames = frames + 1
  simulated = simulated + dt
  if frames % 100 == 0 then
    logInfo(string.format("%d frames, %.2f s of frame time, %.0f ms since start", frames, simulated, timer:stop()))
  end
end

logInfo(string.format("demo system script loaded: %g substeps per second, gravity %.2f, up is %s",
  Settings.fps, Settings.gravity, tostring(float3(0, 0, 1))))
