-- Reads the three stores, then saves them all: what it read goes to standard error, where the
-- test finds it.
function A_Init()
  CreateAppDataFolder("StoreGame", "Stores")
  io.stderr:write("profile: [", GetProfileFromCode(), "]\n")
  io.stderr:write("params: [", table.concat({GetParamsFromCode()}, ","), "]\n")
  SetProfileToCode("name=Bea;1level=9;")
  SetParamsToCode("sound=off;")
  io.stderr:write("saved\n")
  QuitGame()
end
