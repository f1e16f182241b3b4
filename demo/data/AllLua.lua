-- Gem Garden: the Quorrel demo game.
--
-- Click the gems to collect them; each one you take comes back in another colour and the score
-- goes up. Space shuffles the board, M turns the music down or up, Alt+Enter switches between
-- window and full screen, Escape quits. The runtime calls the A_ functions below; everything the game draws goes through the
-- operations it publishes (DrawPicture, DrawText, DrawLine, DrawTriangle, GroupBegin, ...).

-- The pictures the game uses and where each lies in its texture (read by the runtime at start).
-- START Textures.lua
Textures = {
{Name="gem.png"; Texture="atlas"; PosX=0; PosY=0; Width=64; Height=64; Rotate=false; Compress=false;},
{Name="glow.png"; Texture="atlas"; PosX=64; PosY=0; Width=64; Height=64; Rotate=false; Compress=false;},
{Name="star.png"; Texture="atlas"; PosX=128; PosY=0; Width=64; Height=64; Rotate=false; Compress=false;},
{Name="banner.png"; Texture="atlas"; PosX=0; PosY=64; Width=256; Height=64; Rotate=false; Compress=false;},
{Name="button.png"; Texture="atlas"; PosX=0; PosY=128; Width=128; Height=48; Rotate=false; Compress=false;},
}
-- END Textures.lua

local W, H = 1024, 768
local COLS, ROWS, CELL = 6, 3, 110
local BOARD_X, BOARD_Y = (W - COLS * CELL) / 2, 190
local BUTTON_X, BUTTON_Y = W / 2 - 64, 560
local KEY_ESCAPE, KEY_SPACE, KEY_M = 27, 32, 77
local MUSIC_VOLUME = 35  -- percent
-- Windows colour values for DrawText are 0x00BBGGRR; DrawPicture takes 0xRRGGBB.
local WHITE_TEXT, GOLD_TEXT = 0xFFFFFF, 0x5AC8E6
local PALETTE = {0xFF5050, 0x50FF70, 0x5090FF, 0xFFD040, 0xD060FF, 0x40E0E0}

local gems = {}
local score, moves = 0, 0
local best = 0  -- kept in the player's profile across runs
local mouseX, mouseY = -1000, -1000
local now = 0
local loaded, shownPercent = false, 0
-- Sounds from data/sounds; a handle of 0 (no sound device, or no file) plays nothing.
local clickSound, matchSound, music, musicLength, musicStart, musicOn = 0, 0, 0, 0, 0, true

-- Full screen draws at a logical size with the screen's proportions that holds the whole board
-- (768 high on a wide screen, 1024 wide on a tall one): the runtime projects it onto the screen
-- uniformly, text included, and the "view" group centres the board in it (bands at the sides
-- of a wider screen). Mouse positions come back through the same shift. Windowed, the logical
-- size is the board and the view does nothing.
local viewX, viewY = 0, 0

local function LogicalSize(width, height)
  if width <= 0 or height <= 0 then return W, H end
  if width * H >= height * W then return math.floor(H * width / height + 0.5), H end
  return W, math.floor(W * height / width + 0.5)
end

-- Width, height: the screen's size, the logical size or the window's; all have the same shape.
local function FitBoard(width, height)
  local lw, lh = LogicalSize(width, height)
  viewX, viewY = math.floor((lw - W) / 2), math.floor((lh - H) / 2)
end

local function ViewBegin()
  if viewX ~= 0 or viewY ~= 0 then GroupBegin("view", viewX, viewY, 1, 1) end
end

local function ViewEnd()
  if viewX ~= 0 or viewY ~= 0 then GroupEnd("view") end
end

local function Text(text, x, y, color)
  x, y = math.floor(viewX + x + 0.5), math.floor(viewY + y + 0.5)
  if color then DrawText(text, x, y, color) else DrawText(text, x, y) end
end

local function ToBoard(x, y)
  return x - viewX, y - viewY
end

local function StartMusic(time)
  PlaySound(music, musicOn and MUSIC_VOLUME or 0)
  musicStart = time
end

local function GemAt(col, row)
  return gems[row * COLS + col + 1]
end

-- The picture's top-left corner: InsidePicture tests against it.
local function GemCorner(col, row)
  return BOARD_X + col * CELL + (CELL - 64) / 2, BOARD_Y + row * CELL + (CELL - 64) / 2
end

local function NewBoard(seed)
  math.randomseed(seed)
  for row = 0, ROWS - 1 do
    for col = 0, COLS - 1 do
      gems[row * COLS + col + 1] = {color = PALETTE[math.random(#PALETTE)], phase = math.random() * 6.28, taken = nil}
    end
  end
end

-- Start-up: the window, the project, the pictures (with a loading screen), the first board.
function A_Init(time, a, b, c, launchList, launchName, wallClock)
  CreateAppDataFolder("QuorrelDemo", "Gem Garden")
  best = tonumber(string.match(GetProfileFromCode(), "best!(%d+)!") or "0")
  if InitSound() then
    clickSound = LoadSound("click.wav")
    matchSound = LoadSound("match.wav")
    music, musicLength = LoadSound("music.ogg")
    StartMusic(time)
  end
  -- The device's size is the full-screen logical size; the window keeps the board's size.
  -- Pictures are filtered, as the runtime does by itself for a size that is not the screen's.
  local screenW, screenH = GetSystemResolution()
  local logicalW, logicalH = LogicalSize(screenW, screenH)
  local _, backW, backH = SetSystemResolution(logicalW, logicalH, W, H)
  FitBoard(backW, backH)
  LoadTextures("atlas", true)  -- redraws the loading screen (A_Loading) as it goes
  LoadPictures("back.jpg|back|0|0|1024|768|false", true)
  loaded = true
  LoadingTrue()  -- keep the loading screen up until its bar is full
  NewBoard(1)
end

-- The loading screen: lines, rectangles and text only, since the pictures are still coming.
function A_Loading(time, percent)
  ViewBegin()
  if loaded then
    shownPercent = math.min(100, shownPercent + 5)
    if shownPercent >= 100 then LoadingFalse() end
  else
    shownPercent = math.max(shownPercent, percent)  -- each load counts its own items from 0
  end
  Text("Gem Garden", W / 2 - 60, H / 2 - 70, GOLD_TEXT)
  DrawLine(W / 2 - 200, H / 2 - 12, W / 2 + 200, H / 2 + 12, 0x303050, 255, true)
  DrawLine(W / 2 - 198, H / 2 - 10, W / 2 - 198 + 396 * shownPercent / 100, H / 2 + 10, 0x50C070, 255, true)
  DrawPoligon("(" .. (W / 2 - 202) .. "," .. (H / 2 - 14) .. ")(" .. (W / 2 + 202) .. "," .. (H / 2 - 14) ..
              ")(" .. (W / 2 + 202) .. "," .. (H / 2 + 14) .. ")(" .. (W / 2 - 202) .. "," .. (H / 2 + 14) .. ")", 0xFFFFFF)
  Text("Loading " .. shownPercent .. " %", W / 2 - 50, H / 2 + 24)
  ViewEnd()
end

local function DrawTitle()
  -- The title breathes: a transform group scales the plate about the group's origin.
  local s = 1 + 0.03 * math.sin(now / 400)
  GroupBegin("title", W / 2, 90, s, s, 0.95)
  DrawPicture("src", "banner.png", "x", -128, "y", -32, "filter", true)
  GroupEnd("title")
  Text("Gem Garden", W / 2 - 58, 80, GOLD_TEXT)
  Text("Score " .. score, 40, 30)
  Text("Best " .. best, 40, 52)
  Text("Clicks " .. moves, W - 150, 30)
end

local function DrawBoard()
  for row = 0, ROWS - 1 do
    for col = 0, COLS - 1 do
      local gem = GemAt(col, row)
      local x, y = GemCorner(col, row)
      local hover = InsidePicture("gem.png", x, y, mouseX, mouseY, 0)
      if hover then
        -- Additive glow behind the gem under the mouse.
        DrawPicture("src", "glow.png", "x", x, "y", y, "scalex", 2, "scaley", 2, "color", gem.color, "outputmode", 1, "filter", true)
      end
      local age = gem.taken and (now - gem.taken) or 1000
      local grow = math.min(1, age / 300)
      DrawPicture("src", "gem.png", "x", x, "y", y,
                  "angle", 0.25 * math.sin(now / 500 + gem.phase),
                  "scalex", (hover and 1.15 or 1) * grow, "scaley", (hover and 1.15 or 1) * grow,
                  "color", gem.color, "alpha", 190 + 65 * grow, "filter", true)
    end
  end
  -- A triangle pointer under the board, shaded from corner to corner.
  DrawTriangle(W / 2 - 30, 530, W / 2 + 30, 530, W / 2, 548, 0xFFD040, 255, true, 0xFF5050, 255, 0x5090FF, 255)
end

local function DrawButton()
  local hover = InsideRect(mouseX, mouseY, BUTTON_X, BUTTON_Y, 128, 48)
  DrawPicture("src", "button.png", "x", BUTTON_X, "y", BUTTON_Y, "color", hover and 0xC0FFC0 or 0xFFFFFF, "filter", true)
  Text("Shuffle", BUTTON_X + 30, BUTTON_Y + 12)
end

local function DrawTicker()
  -- Stars scroll through a clip rectangle; the ones outside it are cut away.
  local left, right, top = 112, W - 112, 650
  DrawLine(left - 2, top - 2, right + 2, top + 62, 0x202040, 255, true)
  ClipRectBegin("ticker", left, top, right, top + 60)
  local offset = (now / 20) % 80
  for i = -1, 11 do
    DrawPicture("src", "star.png", "x", left + i * 80 - offset, "y", top - 2, "scalex", 0.8, "scaley", 0.8,
                "color", PALETTE[i % #PALETTE + 1], "angle", now / 1000 + i, "filter", true)
  end
  ClipRectEnd("ticker")
  Text("Space: shuffle   M: music   Alt+Enter: window / full screen   Escape: quit", left + 70, top + 72)
end

function A_Update(time, wallClock)
  now = time
  -- Sounds do not loop: the music starts again once it has played to its end.
  if music ~= 0 and musicLength > 0 and time - musicStart >= musicLength then StartMusic(time) end
  ViewBegin()
  DrawPicture("src", "back.jpg", "filter", true)
  DrawTitle()
  DrawBoard()
  DrawButton()
  DrawTicker()
  ViewEnd()
end

function A_MouseMove(oldX, oldY, x, y)
  mouseX, mouseY = ToBoard(x, y)
end

function A_MouseDown(x, y)
  mouseX, mouseY = ToBoard(x, y)
end

function A_MouseUp(x, y)
  x, y = ToBoard(x, y)
  moves = moves + 1
  if InsideRect(x, y, BUTTON_X, BUTTON_Y, 128, 48) then
    PlaySound(clickSound, 80)
    NewBoard(moves)
    return
  end
  for row = 0, ROWS - 1 do
    for col = 0, COLS - 1 do
      local gx, gy = GemCorner(col, row)
      if InsidePicture("gem.png", gx, gy, x, y, 0) then
        local gem = GemAt(col, row)
        score = score + 1
        if score > best then
          best = score
          SetProfileParam("best=" .. best)
        end
        gem.color = PALETTE[(score % #PALETTE) + 1]
        gem.taken = now
        PlaySound(matchSound, 90)
      end
    end
  end
end

function A_KeyDown(key, char)
  if key == KEY_ESCAPE then
    QuitGame()
  elseif key == KEY_SPACE then
    moves = moves + 1
    PlaySound(clickSound, 80)
    NewBoard(moves)
  elseif key == KEY_M then
    musicOn = not musicOn
    SetVolumeSound(music, musicOn and MUSIC_VOLUME or 0)
  end
end

-- Alt+Enter: the runtime asks the game, and the game switches the window mode.
function A_WOptions_OK_MouseUp_fromCode()
  AppChangeWindowMode()
end

-- After a switch between window and full screen: the window's size, or the logical size.
function A_ChangeResolution(width, height, changed)
  FitBoard(width, height)
end

-- The runtime calls these on pause, on resume and at the end of the game.
function G_PauseGame() end
function A_PauseGame() end
function G_RePause(pausedTime) end
function G_EndGame()
  FreeSounds(clickSound .. ";" .. matchSound .. ";" .. music)
end
