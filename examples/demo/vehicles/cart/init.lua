-- A four-wheeled soft-body cart, driving forward along +y. Everything is built here from nodes,
-- beams and collision triangles:
--   chassis  a 4 x 11 x 2 lattice of nodes, its beams normal, its long diagonals anisotropic
--            (softer and breakable in tension); bounded beams carry the axles
--   panel    a roof of collision triangles on four posts, soft enough to dent
--   bumper   ten nodes ahead of the chassis on weak beams that break on a hard hit
--   wheels   two rings of rim nodes around two axle nodes each; the tire is a closed surface of
--            collision triangles forming one pressure group per wheel
--   seat     a heavy node sliding on a rail along the chassis, held by a stop at either end
--   shown    the body mesh "cart_body" bound to the chassis nodes, a beacon prop on the roof, a
--            "SPOTLIGHT" headlight that follows the script value `headlights`, cameras, and
--            its beams in the debug render (velkor-host --debug-png draws the last frame)
-- The script drives it from graphicsStep: it waits, accelerates, holds its speed, brakes to a
-- stop, then drives on into whatever is ahead, and brakes once it has hit it.

local spacing = 0.3
local chassisMass, wheelNodeMass, panelMass, bumperMass, seatMass = 4, 1, 1, 2, 30
local wheelRadius, wheelHalfWidth, rimNodes = 0.33, 0.1, 20
local tirePressure = 220000 -- Pa, absolute
local driveTorque, holdTorque, brakeTorque = 250, 25, 500

local chassis = {} -- chassis[i][j][k], i across (x), j along (y), k up (z)
local wheels = {}  -- per wheel: group, and the beams and triangles its tire area is measured by
local bumperBeams = {}
local seat = {}
local counts = {anisotropic = 0, bounded = 0}
local panelGrid
local headlight
-- 1 lights the headlight, 0 puts it out; the script sets it while driving, a command may too
headlights = 0

local function node(x, y, z, mass, collides)
  return obj:setNode(-1, float3(x, y, z), mass, NORMALTYPE, 1.0, -1, true, collides)
end

local function beam(a, b, strength, spring, damp, deform)
  return obj:setBeam(-1, a, b, strength or 4e5, spring or 4e5, damp or 60, deform or 1e5, 1.0)
end

local function distance(a, b)
  local d = a - b
  return math.sqrt(d.x * d.x + d.y * d.y + d.z * d.z)
end

-- Positions kept here, because the script cannot read them back from the object.
local where = {}
local function place(x, y, z, mass, collides)
  local id = node(x, y, z, mass, collides)
  where[id] = float3(x, y, z)
  return id
end

local function joinWithin(list, radius, strength, spring, damp, deform)
  for a = 1, #list do
    for b = a + 1, #list do
      if distance(where[list[a]], where[list[b]]) <= radius + 1e-4 then
        beam(list[a], list[b], strength, spring, damp, deform)
      end
    end
  end
end

-- The triangle (a, b, c) wound so that its normal points away from the centre point.
local function outward(a, b, c, centre)
  local u, v = where[b] - where[a], where[c] - where[a]
  local n = float3(u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x)
  local out = where[a] - centre
  if n.x * out.x + n.y * out.y + n.z * out.z < 0 then return a, c, b end
  return a, b, c
end

local function triangle(a, b, c, centre, pressure, group)
  local x, y, z = outward(a, b, c, centre)
  obj:setCollisionTriangle(-1, x, y, z, 0.5, pressure or -1, group or -1, 0, "asphalt")
end

local function buildChassis()
  local all = {}
  for i = 0, 3 do
    chassis[i] = {}
    for j = 0, 10 do
      chassis[i][j] = {}
      for k = 0, 1 do
        local id = place(-0.45 + i * spacing, -1.5 + j * spacing, 0.35 + k * spacing, chassisMass, true)
        chassis[i][j][k] = id
        table.insert(all, id)
      end
    end
  end
  -- neighbours and face diagonals as normal beams
  joinWithin(all, spacing * math.sqrt(2), 2e5, 6e5, 80, 8e4)
  -- the longer diagonals of two cells stiffen the lattice; anisotropic: softer when stretched and
  -- broken beyond 15 % of their length
  for a = 1, #all do
    for b = a + 1, #all do
      local d = distance(where[all[a]], where[all[b]])
      if d > spacing * 1.5 and d <= spacing * math.sqrt(5) + 1e-4 then
        local handle = beam(all[a], all[b], 1.5e5, 3e5, 60, 6e4)
        handle:makeAnisotropic(1.5e5, 40, 0.15)
        counts.anisotropic = counts.anisotropic + 1
      end
    end
  end
end

-- The reference node (node 0, placed first) sits in the middle of the chassis, tied to the
-- cells around it.
local function tieReference(ref)
  for _, ij in ipairs({{1, 5}, {2, 5}, {1, 4}, {2, 4}, {1, 6}, {2, 6}}) do
    for k = 0, 1 do beam(ref, chassis[ij[1]][ij[2]][k], 1e6, 6e5, 80, 1e6) end
  end
end

local function buildPanel()
  local panel, grid = {}, {}
  for i = 0, 4 do
    grid[i] = {}
    for j = 0, 4 do
      local id = place(-0.6 + i * spacing, -0.9 + j * spacing, 1.1, panelMass, true)
      grid[i][j] = id
      table.insert(panel, id)
      panelGrid = grid
    end
  end
  -- a thin sheet: it yields at small forces and so keeps its dents
  joinWithin(panel, spacing * math.sqrt(2), 6e4, 2e5, 20, 3e3)
  local centre = float3(0, -0.3, 0.8)
  for i = 0, 3 do
    for j = 0, 3 do
      triangle(grid[i][j], grid[i + 1][j], grid[i + 1][j + 1], centre)
      triangle(grid[i][j], grid[i + 1][j + 1], grid[i][j + 1], centre)
    end
  end
  -- posts from the sheet's corners and edge middles down to the chassis' upper layer
  local posts = {{0, 0, 0, 2}, {4, 0, 3, 2}, {0, 4, 0, 6}, {4, 4, 3, 6}, {2, 0, 1, 2}, {2, 4, 2, 6}}
  -- each post is braced along and across, so that the roof cannot lean over as a parallelogram
  for _, p in ipairs(posts) do
    local top = grid[p[1]][p[2]]
    for dj = -1, 1 do beam(top, chassis[p[3]][p[4] + dj][1], 2e5, 4e5, 60, 5e4) end
    for _, di in ipairs({-1, 1}) do
      local i = p[3] + di
      if i >= 0 and i <= 3 then beam(top, chassis[i][p[4]][1], 2e5, 4e5, 60, 5e4) end
    end
  end
end

local function buildBumper()
  local bumper = {}
  for i = 0, 4 do
    for k = 0, 1 do
      table.insert(bumper, place(-0.6 + i * spacing, 1.85, 0.4 + k * 0.2, bumperMass, true))
    end
  end
  joinWithin(bumper, 0.37, 1e6, 5e5, 60, 1e6)
  -- the brackets to the chassis' front row: weak, so a hard hit tears the bumper off
  for _, b in ipairs(bumper) do
    for i = 0, 3 do
      for k = 0, 1 do
        local c = chassis[i][10][k]
        if distance(where[b], where[c]) < 0.5 then
          beam(b, c, 4e3, 4e5, 60, 4e3)
          table.insert(bumperBeams, obj.beam_count - 1)
        end
      end
    end
  end
end

-- Wheel `index` on the side sx (-1 or 1) at y = wy, turning about an axis across the cart; its
-- tire is pressure group `index`.
local function buildWheel(index, sx, wy)
  local cx, cz = sx * 0.85, 0.35
  local inner = place(cx - sx * 0.2, wy, cz, 3, false)
  local outer = place(cx + sx * 0.2, wy, cz, 3, false)
  local centre = float3(cx, wy, cz)
  beam(inner, outer, 1e6, 8e5, 80, 1e6)
  -- the axle nodes hang from the chassis' outer column: the upper ties are bounded beams, which
  -- give a little travel and then stiffen
  local j = wy > 0 and 9 or 1
  for dj = -1, 1 do
    for k = 0, 1 do
      local c = chassis[sx > 0 and 3 or 0][j + dj][k]
      for _, axle in ipairs({inner, outer}) do
        local handle = beam(axle, c, 1e6, 5e5, 80, 1e6)
        if k == 1 then
          handle:makeBounded(0.04, 0.04, 8e6, 2000, 120, 60, 60, 0.3)
          counts.bounded = counts.bounded + 1
        end
      end
    end
  end
  -- the axis runs towards -x on both sides, so a positive torque drives the cart towards +y
  local right, left = sx > 0 and outer or inner, sx > 0 and inner or outer
  local wheel = obj:setWheel(-1, right, left, chassis[sx > 0 and 3 or 0][j][1])
  local ringA, ringB = {}, {}
  for r = 0, rimNodes - 1 do
    local angle = r * 2 * math.pi / rimNodes
    local y, z = wy + wheelRadius * math.cos(angle), cz + wheelRadius * math.sin(angle)
    ringA[r] = place(cx - sx * wheelHalfWidth, y, z, wheelNodeMass, true)
    ringB[r] = place(cx + sx * wheelHalfWidth, y, z, wheelNodeMass, true)
    wheel:addNode(ringA[r])
    wheel:addNode(ringB[r])
  end
  local record = {pressure = tirePressure, edges = {}}
  -- every tire triangle's edges are beams, so the tire's area can be measured from beam lengths
  local function edge(a, b)
    local key = math.min(a, b) .. ":" .. math.max(a, b)
    if not record.edges[key] then
      beam(a, b, 1e6, 3e5, 40, 1e6)
      record.edges[key] = obj.beam_count - 1
    end
    return record.edges[key]
  end
  record.triangles = {}
  local function tireTriangle(a, b, c)
    triangle(a, b, c, centre, tirePressure, index)
    table.insert(record.triangles, {edge(a, b), edge(b, c), edge(c, a)})
  end
  for r = 0, rimNodes - 1 do
    local n = (r + 1) % rimNodes
    tireTriangle(ringA[r], ringA[n], ringB[r])
    tireTriangle(ringA[n], ringB[n], ringB[r])
    tireTriangle(inner, ringA[n], ringA[r])
    tireTriangle(outer, ringB[r], ringB[n])
    edge(ringA[r], outer)
    edge(ringB[r], inner)
  end
  wheels[index + 1] = record
end

-- A seat on a rail along the chassis: two mounts carry the rail, both ends are stops.
local function buildSeat()
  local rear = place(0, -0.9, 0.9, chassisMass, false)
  local front = place(0, 0.3, 0.9, chassisMass, false)
  for _, mount in ipairs({rear, front}) do
    local j = mount == rear and 2 or 6
    for i = 1, 2 do
      for dj = -1, 1 do beam(mount, chassis[i][j + dj][1], 1e6, 6e5, 80, 1e6) end
    end
  end
  beam(rear, front, 1e6, 6e5, 80, 1e6)
  local rail = obj:addRail(0)
  obj:addRailLink(rail, rear, 1, 0)
  obj:addRailLink(rail, front, 1, 0)
  seat.node = place(0, -0.3, 0.9, seatMass, false)
  seat.slide = obj:addSlidenode(seat.node, rail, 1, 1, 0, 1e5, 1e6, 1e6)
  -- a damper to the rear mount: calms the seat and measures where it is on the rail
  obj:setBeam(-1, seat.node, rear, 1e9, 0, 150, 1e9, 1.0)
  seat.tape = obj.beam_count - 1
end

-- What the host shows: the body mesh on the chassis, a beacon on the roof, the headlight on the
-- chassis' front face, and the cameras.
local function buildShown()
  local body = obj:setFlexmesh(-1, "cart_body")
  for i = 0, 3 do
    for j = 0, 10 do
      for k = 0, 1 do body:addNodeBinding(chassis[i][j][k]) end
    end
  end
  body:initialize()
  local beacon = obj:setProp(-1, "beacon")
  beacon.nRef, beacon.nX, beacon.nY = panelGrid[2][2], panelGrid[3][2], panelGrid[2][3]
  beacon.baseTranslation = float3(0, 0, 0)
  beacon.baseRotation = float3(0, 0, 0)
  beacon:initialize()
  -- the frame: across the front (x), then up (y); the light sits in the middle of the front
  headlight = obj:setProp(-1, "SPOTLIGHT")
  headlight.nRef, headlight.nX, headlight.nY = chassis[1][10][0], chassis[2][10][0], chassis[1][10][1]
  headlight.baseTranslation = float3(0.15, 0.15, 0)
  headlight.baseRotation = float3(0, 0, 0)
  headlight:initialize()
  -- camera reference, direction, side, up, and the two reference positions (centre and front)
  obj:setReferenceNodes(0, chassis[1][10][1], chassis[3][5][1], panelGrid[2][2], 0, chassis[1][10][1])
  obj:setExternalCamera(0, -6, 2.5, 1, 1, 65)
  obj:addInternalCamera(seat.node, 80)
  obj.debugDrawProxy:showDebug(true)
end

-- Heron's formula on three beam lengths.
local function triangleArea(edges)
  local a, b, c = obj:getBeamLength(edges[1]), obj:getBeamLength(edges[2]), obj:getBeamLength(edges[3])
  local s = (a + b + c) / 2
  return math.sqrt(math.max(s * (s - a) * (s - b) * (s - c), 0))
end

local function tireArea(w)
  local sum = 0
  for _, t in ipairs(w.triangles) do sum = sum + triangleArea(t) end
  return sum
end

-- The gas in a group keeps pressure x area^1.5 (the library's volume estimate), so the pressure
-- follows from the measured area and the built one.
local function tirePressureNow(w)
  return w.pressure * (w.builtArea / math.max(tireArea(w), 1e-9)) ^ 1.5
end

-- Run state and what the summary reports.
local state = {phase = "settle", elapsed = 0, topSpeed = 0, startPos = nil, stoppedAt = nil,
               stopDistance = 0, brakeFrom = nil, impactSpeed = 0, hitAt = nil, lastSpeed = 0,
               seatTravel = {min = math.huge, max = -math.huge}}

function init(dir)
  local ref = place(0, 0, 0.5, chassisMass, false)
  buildChassis()
  tieReference(ref)
  buildPanel()
  buildBumper()
  buildWheel(0, -1, -1.2)
  buildWheel(1, 1, -1.2)
  buildWheel(2, -1, 1.2)
  buildWheel(3, 1, 1.2)
  buildSeat()
  buildShown()
  obj:finishLoading()
  for _, w in ipairs(wheels) do w.builtArea = tireArea(w) end
  seat.rest = obj:getBeamLength(seat.tape)
  logInfo(string.format("cart: %d nodes, %d beams (%d anisotropic, %d bounded), %d wheels, %d pressure groups, " ..
                        "%d collision triangles, reference node %d", obj.node_count, obj.beam_count,
                        counts.anisotropic, counts.bounded, obj.wheel_count, #wheels, obj:getTriangleCount(), ref))
end

local function setWheels(torque, braking)
  for i = 0, obj.wheel_count - 1 do
    local w = obj:getWheel(i)
    w.torque = torque -- all four wheels drive
    w.brakingTorque = braking
  end
end

local function speedOf(v) return math.sqrt(v.x * v.x + v.y * v.y + v.z * v.z) end

local driving = {accelerate = true, hold = true, charge = true}

local function enter(phase)
  state.phase = phase
  headlights = driving[phase] and 1 or 0
  logInfo(string.format("cart: %s at %.2f s, %.2f m/s, %.2f m driven", phase, state.elapsed, state.speed,
                        state.driven))
end

-- settle -> accelerate -> hold -> brake -> stopped -> charge -> hit
local steps = {
  settle = function(s)
    setWheels(0, brakeTorque)
    if s.elapsed >= 0.5 then enter("accelerate") end
  end,
  accelerate = function(s)
    setWheels(driveTorque, 0)
    if s.elapsed >= 3.0 then enter("hold") end
  end,
  hold = function(s)
    setWheels(holdTorque, 0)
    if s.elapsed >= 4.5 then s.brakeFrom = s.speed; enter("brake") end
  end,
  brake = function(s)
    setWheels(0, brakeTorque)
    if s.speed < 0.05 then s.stoppedAt = s.elapsed; s.stopDistance = s.driven; enter("stopped") end
  end,
  stopped = function(s)
    setWheels(0, brakeTorque)
    if s.elapsed >= s.stoppedAt + 1.0 then enter("charge") end
  end,
  charge = function(s)
    setWheels(driveTorque, 0)
    s.impactSpeed = math.max(s.impactSpeed, s.speed)
    -- a sudden loss of speed is the hit
    if s.lastSpeed - s.speed > 0.4 then s.hitAt = s.elapsed; enter("hit") end
  end,
  hit = function(s)
    setWheels(0, brakeTorque)
  end,
}

function graphicsStep(dt)
  local s = state
  local pos = obj:getPosition()
  -- distances count from where the cart has settled on the ground
  if s.phase == "settle" then s.startPos = pos end
  s.elapsed = s.elapsed + dt
  s.lastSpeed = s.speed or 0
  s.speed = speedOf(obj:getVelocity())
  s.driven = pos.y - s.startPos.y
  s.topSpeed = math.max(s.topSpeed, s.speed)
  local travel = obj:getBeamLength(seat.tape) - seat.rest
  s.seatTravel.min = math.min(s.seatTravel.min, travel)
  s.seatTravel.max = math.max(s.seatTravel.max, travel)
  steps[s.phase](s)
  headlight.dataValue = headlights
end

local function bumperBroken()
  local n = 0
  for _, id in ipairs(bumperBeams) do if obj:beamIsBroken(id) then n = n + 1 end end
  return n
end

-- The lines the host prints after its last frame.
function summary()
  local s, stats = state, obj:calcBeamStats()
  local lines = {
    string.format("cart: %d nodes, %d beams, %d wheels, %d pressure groups, %d collision triangles",
                  obj.node_count, obj.beam_count, obj.wheel_count, #wheels, obj:getTriangleCount()),
    string.format("cart: driven %.2f m forward, top speed %.2f m/s, phase %s after %.2f s", s.driven or 0,
                  s.topSpeed, s.phase, s.elapsed),
    string.format("cart: braked from %.2f m/s to a stop at %.2f s after %.2f m; hit at %.2f m/s at %s",
                  s.brakeFrom or 0, s.stoppedAt or -1, s.stopDistance, s.impactSpeed,
                  s.hitAt and string.format("%.2f s", s.hitAt) or "no time (no hit)"),
    string.format("cart: beams broken %d (bumper brackets %d of %d), beams deformed %d", stats.beams_broken,
                  bumperBroken(), #bumperBeams, stats.beams_deformed),
    string.format("cart: seat moved %.3f m back and %.3f m forward on its rail", -math.min(s.seatTravel.min, 0),
                  math.max(s.seatTravel.max, 0)),
  }
  local spins, pressures = {}, {}
  for i = 0, obj.wheel_count - 1 do
    table.insert(spins, string.format("%.2f", obj:getWheel(i).angularVelocity))
    table.insert(pressures, string.format("%.3f", tirePressureNow(wheels[i + 1]) / 1e5))
  end
  table.insert(lines, "cart: wheel angular velocities " .. table.concat(spins, " ") .. " rad/s")
  table.insert(lines, "cart: tire pressures " .. table.concat(pressures, " ") .. " bar (built at " ..
               string.format("%.3f", tirePressure / 1e5) .. ")")
  return table.concat(lines, "\n")
end

function graphicsStepLocal(dt) end
function physicsStep(dt) end
-- the body mesh tears where the chassis does
function beamBroken(id, energy) obj:breakMeshes(id) end
function beamDeformed(id, ratio) end
function vehicleResetted(rotationChanged) end
function vehicleDestroy() end
function particleEmitted(p) end
function activated(value) end
function debugDraw() obj.debugDrawProxy:drawBeams(0) end
