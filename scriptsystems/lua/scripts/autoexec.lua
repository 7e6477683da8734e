-- autoexec.lua runs once when OstrakClient starts, and again on /reload.
--
-- Scripts are Lua 5.4 files in this scripts/ folder. Load one by hand with
--   /load example.lua
-- or from here, so it loads at every start, with
--   load("example.lua")
-- Run a line of Lua directly with /: (for example  /: println("hi")),
-- and see what scripts registered with /dump.

println("<-c00ff00>Lua scripting is ready.<-0> Type /load example.lua for a trigger, an alias and a timer.")
