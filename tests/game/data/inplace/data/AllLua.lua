-- Rewrites files that already exist in folders that take no new file: its main log, its own
-- script log and a data file in the program folder.
function A_Init()
  CreateAppDataFolder("InPlaceGame")
  InitLogFile("script.log")
  WriteToLogFile("new line")
  DataToFile("data.txt", "new text")
  QuitGame()
end
