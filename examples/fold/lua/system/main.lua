-- System script of the fold example: the surface of the plate's collision triangles.
local plate = groundModel()
plate.staticFrictionCoefficient = 0.9
plate.slidingFrictionCoefficient = 0.6
BeamEngine:setGroundModel(plate, "plate")

function engineEvent(name, value) end
function graphicsStep(dt) end
