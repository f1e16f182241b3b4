-- A tiny game for the frame's end-to-end run: a device of 800 x 600, a rectangle, a line and a
-- text drawn each frame, and an end-of-game call.
function A_Init(gameTime, a, b, c, launchList, launchName, wallClock)
  SetSystemResolution(800, 600, 800, 600)
end

function A_Update(gameTime, wallClock)
  DrawLine(100, 100, 700, 500, 13395507, 255, true)
  DrawLine(100, 500, 700, 100, 16777215)
  DrawText("frame test", 320, 280, 16777215)
end

function A_ChangeResolution(width, height, ok)
end

-- Copying a picture that does not exist logs a warning naming it: the log shows where the
-- end-of-game call ran.
function G_EndGame()
  DublicateSurface("copy", "G_EndGame")
end

function A_Loading(gameTime, percent) end
function A_PauseGame() end
function G_PauseGame() end
function G_RePause(pausedTime) end
function A_MouseMove(x1, y1, x2, y2) end
function A_MouseDown(x, y) end
function A_MouseUp(x, y) end
function A_MouseWhell(delta) end
function A_KeyDown(key, char) end
function A_WOptions_OK_MouseUp_fromCode() end
