-- Two sliders on two parallel rails that run down a slope on a rigid frame resting on the
-- ground. Gravity pulls each slider down its rail. Rail "open" ends in a plain link, so its
-- slider runs off the end and falls (sliders do not touch the ground); rail "stop" ends in a
-- stop link, which catches its slider and holds it.
-- A damper of no stiffness from each slider to its rail's lower end (the same for both) calms
-- the bounce against the stop and doubles as a tape measure.
local frame = {}
local sliders = {}
local elapsed = 0
local reported = false

local function node(x, y, z, mass, collides)
  return obj:setNode(-1, float3(x, y, z), mass, NORMALTYPE, 1.0, -1, false, collides)
end

local function rail(y, endsInStop)
  local high = node(0.2, y, 1.5, 20, true)
  local low = node(2.8, y, 0.2, 20, true)
  table.insert(frame, high)
  table.insert(frame, low)
  local r = obj:addRail(0)
  obj:addRailLink(r, high, 0, 0)
  obj:addRailLink(r, low, endsInStop and 1 or 0, 0)
  return r, high, low
end

function init(dir)
  -- node 0 (the reference node) and the ground corners of the frame
  for _, c in ipairs({{0, 0}, {3, 0}, {0, 2}, {3, 2}}) do
    table.insert(frame, node(c[1], c[2], 0, 20, true))
  end
  for _, spec in ipairs({{"open", 0.5, false}, {"stop", 1.5, true}}) do
    local r, high, low = rail(spec[2], spec[3])
    local s = node(0.5, spec[2], 1.5, 1, false)
    -- snap onto the rail, no slack; spring 20000 N/m, break force 1e5 N, stop break force 1e5 N
    obj:addSlidenode(s, r, 1, 1, 0, 20000, 1e5, 1e5)
    obj:setBeam(-1, s, low, 1e9, 0, 2, 1e9, 1.0)
    local tape = obj.beam_count - 1
    sliders[spec[1]] = {tape = tape, length = obj:getBeamLength(tape)}
  end
  for a = 1, #frame do
    for b = a + 1, #frame do
      obj:setBeam(-1, frame[a], frame[b], 1e9, 2e6, 200, 1e9, 1.0)
    end
  end
  obj:finishLoading()
  logInfo(string.format("slider: rail length %.3f m, each slider starts %.3f m from the lower end",
                        math.sqrt(2.6 * 2.6 + 1.3 * 1.3), sliders.open.length))
end

function graphicsStep(dt)
  elapsed = elapsed + dt
  if elapsed >= 4 and not reported then
    reported = true
    for _, name in ipairs({"open", "stop"}) do
      logInfo(string.format("slider %s: %.3f m from the lower end after %.1f s", name,
                            obj:getBeamLength(sliders[name].tape), elapsed))
    end
  end
end

-- The callbacks this object has no use for.
for _, name in ipairs({"graphicsStepLocal", "physicsStep", "beamBroken", "beamDeformed", "vehicleResetted",
                       "vehicleDestroy", "particleEmitted", "activated", "debugDraw"}) do
  _G[name] = _G[name] or function() end
end
