-- Start-up with splash pictures: the per-user folder first (it sets the program folder that the
-- splash folder is found in), then a device, then the pictures of "Splash/".
function A_Init()
  CreateAppDataFolder("SplashGame", "Splash")
  SetSystemResolution(800, 600, 800, 600)
  local names = {LoadSplash()}
  table.sort(names)
  io.stderr:write("splash: ", table.concat(names, ","), "\n")
  QuitGame()
end
