-- System script of the mechanism examples: the one surface the flat ground uses.
local asphalt = groundModel()
asphalt.staticFrictionCoefficient = 0.98
asphalt.slidingFrictionCoefficient = 0.7
BeamEngine:setGroundModel(asphalt, "asphalt")

function engineEvent(name, value) end
function graphicsStep(dt) end
