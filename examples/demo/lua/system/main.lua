-- The demo's system script: loaded once when the engine starts, then called every host frame.
local frames = 0
local simulated = 0

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
end

logInfo("demo system script loaded")
