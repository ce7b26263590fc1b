-- Runs for an object directory without an init.lua: the object stays empty.
function init(dir)
  logWarn("no init.lua in " .. tostring(dir) .. ": the object stays empty")
end
