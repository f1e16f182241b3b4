-- Saves a file beside a script's own file that has the form of a temporary's name, and saves a
-- profile whose second file may not read back.
function A_Init()
  CreateAppDataFolder("SavesGame")
  DataToFile(".save.txt.99999-1.tmp", "a script's own")
  DataToFile("save.txt", "first")
  DataToFile("save.txt", "second")
  SetProfileToCode("name=Bea;1level=9;")
  io.stderr:write("saved\n")
  QuitGame()
end
