-- A soft box of one metre: eight corner nodes, every pair of them joined by a beam, and two
-- collision triangles on each face (ground model "asphalt", set by the system script). It is
-- dropped and falls.
local size = 1.0
local nodeMass = 10
local frames = 0

function init(dir)
  logInfo("box: building from " .. dir)
  local corners = {}
  for i = 0, 7 do
    local x = (i % 2) * size
    local y = (math.floor(i / 2) % 2) * size
    local z = math.floor(i / 4) * size
    corners[i] = obj:setNode(-1, float3(x, y, z), nodeMass, NORMALTYPE, 1.0, -1, true, true)
  end
  for a = 0, 7 do
    for b = a + 1, 7 do
      obj:setBeam(-1, corners[a], corners[b], 1e7, 200000, 60, 1e7, 1.0)
    end
  end
  -- Faces as corner quads, wound outwards.
  local faces = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}}
  for _, f in ipairs(faces) do
    obj:setCollisionTriangle(-1, corners[f[1]], corners[f[2]], corners[f[3]], 0, 0, -1, 0, "asphalt")
    obj:setCollisionTriangle(-1, corners[f[1]], corners[f[3]], corners[f[4]], 0, 0, -1, 0, "asphalt")
  end
  obj:finishLoading()
  -- Beams and node numbers drawn every frame; the host draws them with --debug-svg or --debug-png.
  obj.debugDrawProxy:showDebug(true)
  logInfo(string.format("box: %d nodes, %d beams, %d triangles", obj.node_count, obj.beam_count,
                        obj:getTriangleCount()))
end

function graphicsStep(dt)
  frames = frames + 1
end

function graphicsStepLocal(dt) end
function physicsStep(dt) end
function beamBroken(id, energy) logInfo("box: beam " .. id .. " broke") end
function beamDeformed(id, ratio) end
function vehicleResetted(rotationChanged) logInfo("box: reset") end
function vehicleDestroy() logInfo("box: destroyed after " .. frames .. " frames") end
function particleEmitted(p) end
function activated(value) end
function debugDraw()
  obj.debugDrawProxy:drawBeams(0)
  obj.debugDrawProxy:drawNodeNumbers(color(255, 255, 255, 255), 0)
end
