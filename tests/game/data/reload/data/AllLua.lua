-- Rewrites its own loose script file after the first frame and reloads it: from the next frame
-- on the new A_Update runs, after the F5 that the reload sends to the new A_KeyDown. Everything
-- goes to the script's own log, which the test reads.
local frames = 0

local rewritten = [[
function A_KeyDown(key, ch) WriteToLogFile("key " .. key .. " " .. ch) end
function A_Update() WriteToLogFile("new frame") QuitGame() end
]]

function A_Init()
  CreateAppDataFolder("ReloadGame")
  InitLogFile("script.log")
  WriteToLogFile("started " .. GetCurrentLanguage())
  SetSystemResolution(320, 240, 320, 240)
end

function A_Update()
  frames = frames + 1
  WriteToLogFile("old frame " .. frames)
  if frames == 1 then
    DataToFile("Game.lua", rewritten)
    ReLoadLua()
  elseif frames > 5 then
    WriteToLogFile("the reload did not take")
    QuitGame()
  end
end
