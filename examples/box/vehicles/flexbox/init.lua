-- The box example's soft box with what the host shows of it: the skin mesh "box_skin" bound to its
-- eight nodes, a mirror prop on its front face, a spot light that blinks, and cameras.
-- At frame 120 the beam between nodes 0 and 1 breaks (the skin tears there); at frame 240 the
-- box is reset (the skin is whole again).
local size = 1.0
local nodeMass = 10
local frames = 0
local light

function init(dir)
  logInfo("flexbox: building from " .. dir)
  for i = 0, 7 do
    local x = (i % 2) * size
    local y = (math.floor(i / 2) % 2) * size
    local z = math.floor(i / 4) * size
    obj:setNode(-1, float3(x, y, z), nodeMass, NORMALTYPE, 1.0, -1, true, true)
  end
  for a = 0, 7 do
    for b = a + 1, 7 do
      obj:setBeam(-1, a, b, 1e7, 200000, 60, 1e7, 1.0)
    end
  end
  local faces = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}}
  for _, f in ipairs(faces) do
    obj:setCollisionTriangle(-1, f[1], f[2], f[3], 0, 0, -1, 0, "asphalt")
    obj:setCollisionTriangle(-1, f[1], f[3], f[4], 0, 0, -1, 0, "asphalt")
  end

  local skin = obj:setFlexmesh(-1, "box_skin")
  for n = 0, 7 do skin:addNodeBinding(n) end
  skin:initialize()

  -- The mirror rides on the front face (nodes 0, 1 and 4); its place comes from the mesh.
  local mirror = obj:setProp(-1, "mirror")
  mirror.nRef, mirror.nX, mirror.nY = 0, 1, 4
  mirror.baseRotation = float3(0, 0, 0)
  mirror:initialize()

  -- The light sits 0.5 m along the front edge, given in metres.
  light = obj:setProp(-1, "SPOTLIGHT")
  light.nRef, light.nX, light.nY = 0, 1, 4
  light.baseTranslation = float3(0.5, 0, 0)
  light.baseRotation = float3(0, 0, 0)
  light:initialize()

  obj:setReferenceNodes(0, 2, 1, 4, 0, 7)
  obj:setExternalCamera(0.5, -4, 2, 1, 1, 65)
  obj:addInternalCamera(6, 80)
  obj:finishLoading()
end

function graphicsStep(dt)
  frames = frames + 1
  -- On for half a second, off for half a second.
  light.dataValue = (math.floor(frames / 30) % 2 == 0) and 1 or 0
  if frames == 1 then
    local p = obj:getProjectedNodePosition(0)
    logInfo(string.format("flexbox: node 0 on screen at %.1f %.1f", p.x, p.y))
    local none = obj:getProjectedNodePosition(99)
    logInfo(string.format("flexbox: node 99 on screen at %g %g %g", none.x, none.y, none.z))
  end
  if frames == 120 then obj:breakBeam(0) end
  if frames == 240 then obj:requestReset(RESET_PHYSICS) end
end

function graphicsStepLocal(dt) end
function physicsStep(dt) end
function beamBroken(id, energy)
  logInfo("flexbox: beam " .. id .. " broke")
  obj:breakMeshes(id)
end
function beamDeformed(id, ratio) end
function vehicleResetted(rotationChanged) logInfo("flexbox: reset") end
function vehicleDestroy() end
function particleEmitted(p) end
function activated(value) end
function debugDraw() end
