-- example.lua: a trigger, an alias and a timer. Load it with /load example.lua;
-- /dump then lists what it registered. After editing it, use /reload (loading it a
-- second time would register everything twice).
--
-- The client calls script functions by name, so callbacks are global functions,
-- registered by their names as strings.

-- Trigger: every line from the server passes the onReceive callbacks before it is
-- shown. A callback returns the line, changed or not (returning nothing is an error
-- and removes the callback). In server text, format codes are bytes: "\196" (0xC4)
-- followed by six hex digits RRGGBB starts a colour, "\190" (0xBE) resets.
local word = "tells you"

function highlightLine(line)
  if not line:find(word, 1, true) then
    return line
  end
  -- The line ends with "\r\n", which must stay last: colour from the start,
  -- reset just before the line end.
  local text, ending = line:match("^(.-)(\r?\n?)$")
  return "\196ff0000" .. text .. "\190" .. ending
end
register_event("onReceive", "highlightLine")

-- Alias: /greet sends "say hello" to the server, /greet Bob sends "say hello, Bob".
-- A command callback gets the rest of the typed line as one string.
function greet(rest)
  if rest == "" then
    sendln("say hello")
  else
    sendln("say hello, " .. rest)
  end
end
register_command("greet", "greet")

-- Timer: every 60 seconds (the interval is in milliseconds) print the time.
-- Text given to print and println may use format tags such as <-cRRGGBB> and <-0>.
function showTime()
  println("<-c00ffff>It is " .. os.date("%H:%M") .. ".<-0>")
end
register_timer(60000, "showTime")

println("<-c00ff00>example.lua loaded:<-0> /greet, lines with \"" .. word ..
        "\" in red, and the time every minute.")
