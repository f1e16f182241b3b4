-- Runs short of memory in the way MEMORY_CASE names, recovers and plays on for some frames of
-- drawing: the host must survive each. What the script saw goes to standard error.
local function say(...)
  local parts = {}
  for i = 1, select("#", ...) do parts[i] = tostring(select(i, ...)) end
  io.stderr:write(table.concat(parts, " "), "\n")
end

local cases = {}

-- A table's array part shrinks from 2 MiB to 512 KiB (2^17 to 2^15 slots) and keeps its values;
-- then a new block of 512 KiB from the heap.
function cases.shrink()
  local ok, kept = pcall(function()
    local t = {}
    for i = 1, 131072 do t[i] = i end
    for i = 32769, 131072 do t[i] = nil end
    t.key = true  -- the rehash that shrinks the array part
    local sum = 0
    for i = 1, 32768 do sum = sum + t[i] end
    return sum == 32768 * 32769 / 2
  end)
  collectgarbage()
  say("shrink:", ok and kept and "kept its values" or kept)
  local made, err = pcall(string.rep, "x", 524288 - 25)
  say("heap block:", made and "made" or err)
end

-- A stack overflow caught by pcall: Lua shrinks its call records after it.
function cases.overflow()
  local function deep(n) return deep(n + 1) + 1 end
  say("overflow:", select(2, pcall(deep, 1)))
  say("overflow again:", select(2, pcall(deep, 1)))
end

-- A table grows until memory runs out; the script lets three quarters of it go, so its array
-- part shrinks, and then all of it.
function cases.exhaust()
  local hoard = {}
  local ok, err = pcall(function()
    for i = 1, math.huge do hoard[i] = {i} end
  end)
  for i = math.floor(#hoard / 4) + 1, #hoard do hoard[i] = nil end
  hoard.rehash = true
  collectgarbage()
  hoard = nil
  collectgarbage()
  say("exhausted:", err)
end

-- Memory runs out and the script keeps almost all it got while the game plays on.
function cases.hold()
  kept = {}
  local ok, err = pcall(function()
    for i = 1, math.huge do kept[i] = {i} end
  end)
  for i = #kept, math.floor(#kept * 0.9), -1 do kept[i] = nil end
  say("exhausted:", err)
end

local frames = 0

function A_Init(time)
  SetSystemResolution(320, 240, 320, 240)
  local run = cases[os.getenv("MEMORY_CASE") or ""]
  if run then run() end
end

function A_Update(time)
  frames = frames + 1
  for i = 0, 200 do DrawLine(0, i, 319, 239 - i, 0xFF00FF, 255) end
  if frames == 30 then
    say("played on:", frames)
    QuitGame()
  end
end
