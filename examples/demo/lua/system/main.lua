-- The cart scene's system script: the surface its terrain, tires and panel name, and a line on
-- every engine event.
local asphalt = groundModel()
asphalt.staticFrictionCoefficient = 0.98
asphalt.slidingFrictionCoefficient = 0.75
asphalt.skidMarks = true
BeamEngine:setGroundModel(asphalt, "asphalt")

function engineEvent(name, value)
  logInfo("engine event: " .. tostring(name) .. (value ~= nil and (" " .. tostring(value)) or ""))
end

function graphicsStep(dt) end
