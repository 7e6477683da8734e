-- vitals.lua: hit points from GMCP in the window title. Load it with /load vitals.lua.
--
-- The client takes GMCP when the server offers it and a script system is loaded. Many servers
-- send Char.Vitals only once the client asks for the Char package, so the first message that
-- arrives is answered with Core.Supports.Set.
local asked = false

function showVitals(package, json)
  if not asked then
    asked = sendGMCP("Core.Supports.Set", '["Char 1"]') == 1
  end
  if package ~= "Char.Vitals" then
    return
  end
  local hp = json:match('"hp"%s*:%s*"?(%d+)')
  local maxhp = json:match('"maxhp"%s*:%s*"?(%d+)')
  if hp then
    setWindowTitle("HP " .. hp .. (maxhp and ("/" .. maxhp) or ""))
  end
end
register_event("onGMCP", "showVitals")

-- Back to the client's own title when the connection ends.
function restoreTitle()
  setWindowTitle()
end
register_event("onDisconnect", "restoreTitle")
