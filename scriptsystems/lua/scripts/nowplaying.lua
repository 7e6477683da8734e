-- nowplaying.lua: /nowplaying shows what your media player is playing, and
-- /nowplaying say tells the room ("say Now playing: ..." goes to the game).
-- Load it with /load nowplaying.lua. It needs the Nowtune plug-in (Nowtune.so
-- beside the client), which offers getNowtune.

local function clock(seconds)
  return string.format("%d:%02d", seconds // 60, seconds % 60)
end

function nowplaying(rest)
  rest = rest or ""
  if getNowtune == nil then
    println("<-cff0000>getNowtune is missing: is Nowtune.so beside the client?<-0>")
    return
  end
  -- One call, one snapshot: the results come back in the order asked for.
  local player, status, artist, title, position, length =
    getNowtune("player", "status", "artist", "title", "position", "length")
  if player == "" then
    println("<-cffff00>No media player is running.<-0>")
    return
  end
  local song = title
  if artist ~= "" then
    song = artist .. " - " .. title
  end
  if rest:match("^%s*say%s*$") then
    sendln("say Now playing: " .. song)
    return
  end
  local times = ""
  if length > 0 then
    times = " [" .. clock(position) .. " of " .. clock(length) .. "]"
  end
  println("<-c00ffff>" .. player .. " (" .. status .. "):<-0> " .. song .. times)
end
register_command("nowplaying", "nowplaying")

println("<-c00ff00>nowplaying.lua loaded:<-0> /nowplaying, or /nowplaying say.")
