-- The hostile-argument sweep: every operation the runtime registered is called with arguments
-- no game would pass, first in A_Init (the device-less engine of start-up), then in the first
-- A_Update after SetSystemResolution has made a device. Each call is protected: an operation may
-- answer bad arguments with a script error, but it must not crash, trip a sanitizer or hang.
-- Each operation gets the argument sets below; the picture and drawing operations also get a
-- call as a game makes it on the fixture's two pictures with one argument at a time replaced,
-- and every SetSystemResolution call is followed by frames in both window modes.
--
-- Progress goes to standard error, one line per operation, so that a run that dies shows where;
-- the ends of the rounds go to the log as the warning DublicateSurface gives for a picture that
-- does not exist. QuitGame and ShowErrorAlert may end the process, so they come last of all.

-- START Textures.lua
Textures = {
{Name="p.png"; Texture="atlas"; PosX=0; PosY=0; Width=8; Height=8; Rotate=false; Compress=false;},
{Name="r.png"; Texture="atlas"; PosX=8; PosY=0; Width=8; Height=16; Rotate=true; Compress=false;},
}
-- END Textures.lua

local function Pack(...) return {n = select('#', ...), ...} end

local huge = 2 ^ 31
-- In an order that puts 2^31 and -2^31 two places apart, so that the rotations below hand an
-- operation both in the argument pairs it subtracts.
local Values = Pack(
  nil, "", huge, 0 / 0, -huge, 1 / 0, 2 ^ 53, -1 / 0, 1e308,
  {65, huge, -huge, 0 / 0, 1 / 0, "x", {}},
  string.rep("x", 70000), "a\0b", "%s%d%n%x%%%p{0}", true)

local Sets = {Pack()}
for i = 1, Values.n do
  local v = Values[i]
  Sets[#Sets + 1] = Pack(v)
  local same, turned = {n = 30}, {n = 30}
  for k = 1, 30 do
    same[k] = v
    turned[k] = Values[(i + k - 2) % Values.n + 1]
  end
  Sets[#Sets + 1] = same
  Sets[#Sets + 1] = turned
end
local counted = {n = 30}
for k = 1, 30 do counted[k] = k end
Sets[#Sets + 1] = counted

-- Calls as a game makes them, on the fixture's pictures: each argument in turn is replaced by
-- each value above, so that the hostile values get past the name lookups and keys.
local Bases = {
  LoadTextures = Pack("atlas", true),
  LoadPictures = Pack("q.png|atlas|0|0|8|8|false", true),
  DublicateSurface = Pack("copy.png", "p.png"),
  DrawPicture = Pack("src", "p.png", "x", 10, "y", 10, "angle", 0.5, "scalex", 2, "scaley", 2,
                     "transx", 4, "transy", 4, "color", 0xFF8040, "rect", 1, 1, 6, 6, "filter", true),
  DrawText = Pack("text", 10, 10, 0xFFFFFF, 255),
  OutTextXY = Pack("text", 10, 10),
  DrawLine = Pack(0, 0, 50, 50, 0xFFFFFF, 255, true),
  DrawPoligon = Pack("(0,0)(50,0)(0,50)", 0xFFFFFF),
  DrawTriangle = Pack(0, 0, 50, 0, 0, 50, 0xFFFFFF, 255, true, 0xFF0000, 128, 0x00FF00, 64,
                      "p.png", 0, 0, 1, 0, 0, 1, 1),
  InsideRect = Pack(5, 5, 0, 0, 10, 10),
  InsidePicture = Pack("p.png", 0, 0, 4, 4, 10, 102),
  GetPictureSize = Pack("r.png"),
  GetMassCenter = Pack("(0,0)(50,0)(0,50)"),
  GroupBegin = Pack("g", 10, 10, 2, 2, 0.5, 8, 8),
  ClipRectBegin = Pack("c", 0, 0, 100, 100),
}
local Substituted = {}
for name, base in pairs(Bases) do
  local sets = {base}
  for k = 1, base.n do
    for i = 1, Values.n do
      local set = {n = base.n}
      for j = 1, base.n do set[j] = base[j] end
      set[k] = Values[i]
      sets[#sets + 1] = set
    end
  end
  Substituted[name] = sets
end

-- Operations that call back a script function by a name they were given find one for every
-- name a hostile argument reads as.
local function Nothing() end
_G[""] = Nothing
for _, set in ipairs(Sets) do
  for k = 1, set.n do
    local t = type(set[k])
    if t == "string" or t == "number" then
      _G[tostring(set[k])] = Nothing
      -- Names are looked up as C strings: a NUL ends them.
      _G[tostring(set[k]):match("^[^%z]*")] = Nothing
    end
  end
end

-- The registered operations: the C functions among the globals that Lua's own libraries did
-- not put there (Lua 5.1 is finished, so its list is too).
local LuaOwn = {}
for name in string.gmatch("assert collectgarbage dofile error gcinfo getfenv getmetatable ipairs " ..
    "load loadfile loadstring module newproxy next pairs pcall print rawequal rawget rawset " ..
    "require select setfenv setmetatable tonumber tostring type unpack xpcall", "%S+") do
  LuaOwn[name] = true
end

local function Registered()
  local names = {}
  for name, f in pairs(_G) do
    if type(f) == "function" and not LuaOwn[name] and debug.getinfo(f, "S").what == "C" then
      names[#names + 1] = name
    end
  end
  table.sort(names)
  return names
end

local Last = {QuitGame = true, ShowErrorAlert = true}

local function Mark(text)
  DublicateSurface("sweep", "sweep: " .. text)
end

local function Call(f, set)
  pcall(f, unpack(set, 1, set.n))
end

local function Sweep(round)
  local names = Registered()
  for _, name in ipairs(names) do
    io.stderr:write("sweep: round ", round, " ", name, "\n")
    local f = _G[name]
    if not Last[name] then
      local sets = {}
      for _, set in ipairs(Sets) do sets[#sets + 1] = set end
      for _, set in ipairs(Substituted[name] or {}) do sets[#sets + 1] = set end
      for _, set in ipairs(sets) do
        Call(f, set)
        -- Frames with whatever engine the call left, in both window modes.
        if name == "SetSystemResolution" then
          LoadingTrue()
          AppChangeWindowMode()
          LoadingTrue()
          AppChangeWindowMode()
          LoadingTrue()
        end
        -- Never a loading phase left open: the game loop would call A_Loading for good.
        LoadingFalse()
      end
    end
  end
  Mark("round " .. round .. " done, " .. #names .. " operations")
end

function A_Init()
  Sweep(1)
  -- The frames, and so A_Update, need a device.
  SetSystemResolution(800, 600, 800, 600)
end

local frames = 0
function A_Update()
  frames = frames + 1
  if frames == 1 then
    SetSystemResolution(800, 600, 800, 600)
    Sweep(2)
    SetSystemResolution(800, 600, 800, 600)
  elseif frames == 3 then
    Mark("finished")
    io.stderr:write("sweep: finished\n")
    for _, set in ipairs(Sets) do Call(ShowErrorAlert, set) end
    for _, set in ipairs(Sets) do Call(QuitGame, set) end
    Mark("QuitGame returned")
  end
end

function A_Loading() end
function A_ChangeResolution() end
function G_EndGame() end
function A_PauseGame() end
function G_PauseGame() end
function G_RePause() end
function A_MouseMove() end
function A_MouseDown() end
function A_MouseUp() end
function A_MouseWhell() end
function A_KeyDown() end
function A_KeyUp() end
function A_KeyPress() end
function A_WOptions_OK_MouseUp_fromCode() end
