-- Two wheels on one rigid body, floating without gravity. Each wheel is a ring of twelve rim
-- nodes on cone beams to its two axle nodes, free to turn about the axle. Both get a driving
-- torque of 20 N m: wheel 0 has no brake and spins up; wheel 1 is braked (100 N m against the
-- body's node "ref") and holds. A tape measure of no stiffness from a rim node of wheel 1 to a
-- body node beside it shows how far that wheel turns against the body.
local elapsed = 0
local nextReport = 1
local tape, tapeStart
local largestTurn = 0

local function node(x, y, z, mass)
  return obj:setNode(-1, float3(x, y, z), mass, NORMALTYPE, 1.0, -1, false, false)
end

local function stiff(a, b)
  obj:setBeam(-1, a, b, 1e9, 1e6, 100, 1e9, 1.0)
end

local function ring(handle, cx, axleA, axleB)
  local first, previous
  for i = 0, 11 do
    local angle = i * math.pi / 6
    local n = node(cx + 0.4 * math.cos(angle), 0, 0.4 * math.sin(angle), 1)
    handle:addNode(n)
    stiff(n, axleA)
    stiff(n, axleB)
    if previous then stiff(n, previous) else first = n end
    previous = n
  end
  stiff(previous, first)
  return first
end

function init(dir)
  local body = {node(0, -0.5, 0, 10), node(0, 0.5, 0, 10), node(3, -0.5, 0, 10), node(3, 0.5, 0, 10)}
  local ref = node(1.5, 0, 1.5, 10)
  local beside = node(3.4, 0, 1.0, 10) -- above wheel 1's rim node at angle 0
  table.insert(body, ref)
  table.insert(body, beside)
  for a = 1, #body do
    for b = a + 1, #body do stiff(body[a], body[b]) end
  end
  local free = obj:setWheel(-1, body[1], body[2], -1)
  ring(free, 0, body[1], body[2])
  local braked = obj:setWheel(-1, body[3], body[4], ref)
  local rim = ring(braked, 3, body[3], body[4])
  obj:setBeam(-1, rim, beside, 1e9, 0, 0, 1e9, 1.0)
  tape = obj.beam_count - 1
  tapeStart = obj:getBeamLength(tape)
  obj:getWheel(0).torque = 20
  obj:getWheel(1).torque = 20
  obj:getWheel(1).brakingTorque = 100
  obj:setGravity(0)
  obj:finishLoading()
end

function graphicsStep(dt)
  elapsed = elapsed + dt
  -- the rim node moves along the tape: turned angle = change of length / radius
  largestTurn = math.max(largestTurn, math.abs(obj:getBeamLength(tape) - tapeStart) / 0.4)
  if elapsed >= nextReport then
    nextReport = nextReport + 1
    local free, braked = obj:getWheel(0), obj:getWheel(1)
    logInfo(string.format("wheels after %.1f s: free %.2f rad/s (%.3f N m per node), braked %.3f rad/s, " ..
                          "braked wheel turned at most %.4f rad", elapsed, free.angularVelocity, free.lastTorque,
                          braked.angularVelocity, largestTurn))
  end
end

-- The callbacks this object has no use for.
for _, name in ipairs({"graphicsStepLocal", "physicsStep", "beamBroken", "beamDeformed", "vehicleResetted",
                       "vehicleDestroy", "particleEmitted", "activated", "debugDraw"}) do
  _G[name] = _G[name] or function() end
end
