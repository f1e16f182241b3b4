-- A still scene for the window tests: the same frame every time, with the demo's pictures drawn
-- the ways games draw them (stretched background, rotated and scaled sprites, alpha and additive
-- blending, a clip rectangle), filled and open lines, a shaded triangle and text.
-- START Textures.lua
Textures = {
{Name="gem.png"; Texture="atlas"; PosX=0; PosY=0; Width=64; Height=64; Rotate=false; Compress=false;},
{Name="glow.png"; Texture="atlas"; PosX=64; PosY=0; Width=64; Height=64; Rotate=false; Compress=false;},
{Name="star.png"; Texture="atlas"; PosX=128; PosY=0; Width=64; Height=64; Rotate=false; Compress=false;},
{Name="banner.png"; Texture="atlas"; PosX=0; PosY=64; Width=256; Height=64; Rotate=false; Compress=false;},
{Name="button.png"; Texture="atlas"; PosX=0; PosY=128; Width=128; Height=48; Rotate=false; Compress=false;},
}
-- END Textures.lua

function A_Init(time, a, b, c, launchList, launchName, wallClock)
  SetSystemResolution(1024, 768, 1024, 768)
  LoadTextures("atlas", true)
  LoadPictures("back.jpg|back|0|0|1024|768|false", true)
end

function A_Update(time, wallClock)
  DrawPicture("src", "back.jpg")
  DrawPicture("src", "banner.png", "x", 384, "y", 40)
  for i = 0, 5 do
    DrawPicture("src", "gem.png", "x", 150 + i * 120, "y", 220, "angle", 0.2 * i, "scalex", 1 + 0.1 * i,
                "scaley", 1 + 0.1 * i, "color", 0xFF5050 + i * 0x2010, "alpha", 150 + 20 * i)
  end
  DrawPicture("src", "glow.png", "x", 300, "y", 380, "scalex", 2, "scaley", 2, "color", 0x50FF70, "outputmode", 1)
  ClipRectBegin("strip", 112, 500, 912, 560)
  for i = 0, 10 do
    DrawPicture("src", "star.png", "x", 100 + i * 80, "y", 498, "angle", i, "scalex", 0.8, "scaley", 0.8)
  end
  ClipRectEnd("strip")
  DrawPicture("src", "button.png", "x", 448, "y", 600)
  DrawLine(100, 680, 924, 740, 0x303050, 255, true)
  DrawLine(100, 680, 924, 740, 0xFFFFFF)
  DrawTriangle(482, 400, 542, 400, 512, 440, 0xFFD040, 255, true, 0xFF5050, 255, 0x5090FF, 255)
  DrawText("Still scene", 440, 60, 0x5AC8E6)
  DrawText("Shuffle", 478, 612)
end

function A_Loading(time, percent) end
function A_ChangeResolution(width, height, changed) end
function A_MouseMove(oldX, oldY, x, y) end
function A_MouseDown(x, y) end
function A_MouseUp(x, y) end
function A_MouseWhell(delta) end
function A_KeyDown(key, char) end
function A_WOptions_OK_MouseUp_fromCode() end
function G_PauseGame() end
function A_PauseGame() end
function G_RePause(pausedTime) end
function G_EndGame() end
