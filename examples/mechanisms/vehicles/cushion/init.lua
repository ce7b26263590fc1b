-- A sealed cushion: a one-metre box of twelve collision triangles forming one pressure group,
-- held together by beams far too weak to carry the 100 kg resting on its top corners. The gas
-- holds it up; after two seconds the script lets the gas out and the load flattens it.
local deflateAt = 2.0
local elapsed = 0
local phase = "inflated"
local height -- a vertical edge: how tall the cushion stands

local function report(what)
  logInfo(string.format("cushion %s: %.3f m tall after %.1f s", what, obj:getBeamLength(height), elapsed))
end

function init(dir)
  local corners = {}
  for i = 0, 7 do
    local x, y, z = i % 2, math.floor(i / 2) % 2, math.floor(i / 4)
    corners[i] = obj:setNode(-1, float3(x, y, z), z == 1 and 25 or 5, NORMALTYPE, 1.0, -1, false, true)
  end
  for a = 0, 7 do
    for b = a + 1, 7 do
      obj:setBeam(-1, corners[a], corners[b], 1e9, 100, 40, 1e9, 1.0)
      if a == 0 and b == 4 then height = obj.beam_count - 1 end
    end
  end
  -- faces wound outwards; group 0 at 1.3 bar absolute
  local faces = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}}
  for _, f in ipairs(faces) do
    obj:setCollisionTriangle(-1, corners[f[1]], corners[f[2]], corners[f[3]], 0.5, 130000, 0, 0, "asphalt")
    obj:setCollisionTriangle(-1, corners[f[1]], corners[f[3]], corners[f[4]], 0.5, 130000, 0, 0, "asphalt")
  end
  obj:finishLoading()
end

function graphicsStep(dt)
  elapsed = elapsed + dt
  if phase == "inflated" and elapsed >= deflateAt then
    report("inflated")
    obj:deflatePressureGroup(0)
    phase = "deflated"
  elseif phase == "deflated" and elapsed >= 2 * deflateAt then
    report("deflated")
    phase = "done"
  end
end

-- The callbacks this object has no use for.
for _, name in ipairs({"graphicsStepLocal", "physicsStep", "beamBroken", "beamDeformed", "vehicleResetted",
                       "vehicleDestroy", "particleEmitted", "activated", "debugDraw"}) do
  _G[name] = _G[name] or function() end
end
