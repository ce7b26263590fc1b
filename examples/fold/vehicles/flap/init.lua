-- A square plate of one metre, covered by 32 collision triangles, and a flap of 20 free nodes
-- hinged to one edge of it, starting upright with a slight lean over the plate. The plate's
-- nodes are heavy and weightless, so they stay where they are; gravity folds the flap down onto
-- the plate, where triangle contact holds each flap node on the plate's front side.
-- Every second the script logs how high the lowest and the highest flap node lie above the
-- plate, measured with beams of no stiffness (the object's own tape measures).
local plateMass, flapMass = 1e7, 1
local side = 5        -- plate nodes per side, 0.25 m apart
local rows = 4        -- flap rows, 0.1 m to 0.7 m from the hinge
local lean = math.rad(10)
local plate, flap = {}, {}
local toCorner, toMarker = {}, {} -- per flap node: tape to plate corner (0, 0) and to the marker
local markerDepth = 1.0
local elapsed, nextReport = 0, 1

local function node(x, y, z, mass, collides, hitByTriangles)
  return obj:setNode(-1, float3(x, y, z), mass, NORMALTYPE, 1.0, -1, hitByTriangles, collides)
end
local function beam(a, b, spring, damp)
  return obj:setBeam(-1, a, b, 1e12, spring, damp, 1e12, 1.0)
end
local function tape(a, b)
  beam(a, b, 0, 0)
  return obj.beam_count - 1
end

function init(dir)
  for i = 0, side - 1 do
    plate[i] = {}
    for j = 0, side - 1 do
      plate[i][j] = node(0.25 * i, 0.25 * j, 0, plateMass, false, false)
    end
  end
  -- a marker node under the plate's corner: the sign of a flap node's height
  local marker = node(0, 0, -markerDepth, plateMass, false, false)
  for i = 0, side - 1 do
    for j = 0, side - 1 do
      if i + 1 < side then beam(plate[i][j], plate[i + 1][j], 1e8, 1e5) end
      if j + 1 < side then beam(plate[i][j], plate[i][j + 1], 1e8, 1e5) end
      if i + 1 < side and j + 1 < side then
        beam(plate[i][j], plate[i + 1][j + 1], 1e8, 1e5)
        beam(plate[i + 1][j], plate[i][j + 1], 1e8, 1e5)
        -- two triangles per cell, normals up (+z)
        obj:setCollisionTriangle(-1, plate[i][j], plate[i + 1][j], plate[i + 1][j + 1], 0, -1, -1, 0, "plate")
        obj:setCollisionTriangle(-1, plate[i][j], plate[i + 1][j + 1], plate[i][j + 1], 0, -1, -1, 0, "plate")
      end
    end
  end
  for _, c in ipairs({plate[0][0], plate[side - 1][0], plate[0][side - 1], plate[side - 1][side - 1]}) do
    beam(marker, c, 1e8, 1e5)
  end

  for r = 0, rows - 1 do
    flap[r] = {}
    local s = 0.1 + 0.2 * r
    for j = 0, side - 1 do
      flap[r][j] = node(s * math.sin(lean), 0.25 * j, s * math.cos(lean), flapMass, true, true)
    end
  end
  local k, d = 2e5, 40
  for r = 0, rows - 1 do
    for j = 0, side - 1 do
      if j + 1 < side then beam(flap[r][j], flap[r][j + 1], k, d) end
      if r + 1 < rows then
        beam(flap[r][j], flap[r + 1][j], k, d)
        if j + 1 < side then
          beam(flap[r][j], flap[r + 1][j + 1], k, d)
          beam(flap[r][j + 1], flap[r + 1][j], k, d)
        end
      end
      if r + 2 < rows then beam(flap[r][j], flap[r + 2][j], k, d) end
    end
  end
  -- the hinge: each first-row node to the nearest edge nodes
  for j = 0, side - 1 do
    for dj = -1, 1 do
      if plate[0][j + dj] then beam(flap[0][j], plate[0][j + dj], k, d) end
    end
  end
  for r = 0, rows - 1 do
    for j = 0, side - 1 do
      table.insert(toCorner, tape(flap[r][j], plate[0][0]))
      table.insert(toMarker, tape(flap[r][j], marker))
    end
  end

  -- Only the flap has weight.
  obj:setGravity(0)
  for r = 0, rows - 1 do
    for j = 0, side - 1 do obj:setNodeMass(flap[r][j], flapMass) end
  end
  obj:finishLoading()
end

-- Height above the plate's plane from the distances to its corner c and to the marker m a
-- depth D below c: |m|^2 = |c|^2 + 2 D h + D^2.
local function heightAbovePlate(i)
  local c, m = obj:getBeamLength(toCorner[i]), obj:getBeamLength(toMarker[i])
  return (m * m - c * c - markerDepth * markerDepth) / (2 * markerDepth)
end

function graphicsStep(dt)
  elapsed = elapsed + dt
  if elapsed + 1e-6 < nextReport then return end
  nextReport = nextReport + 1
  local lowest, highest = math.huge, -math.huge
  for i = 1, #toCorner do
    local h = heightAbovePlate(i)
    lowest = math.min(lowest, h)
    highest = math.max(highest, h)
  end
  logInfo(string.format("fold after %.0f s: lowest flap node %.5f m above the plate, highest %.5f m",
                        elapsed, lowest, highest))
end

-- The callbacks this object has no use for.
for _, name in ipairs({"graphicsStepLocal", "physicsStep", "beamBroken", "beamDeformed", "vehicleResetted",
                       "vehicleDestroy", "particleEmitted", "activated", "debugDraw"}) do
  _G[name] = _G[name] or function() end
end
