-- Writes files beside names that a player or a script chose, or that the system itself cannot
-- replace: a script's own "save.tmp", a FIFO, names at the length limit (the project name comes
-- from $PROJECT, so the main log's can be long too), and a corrupt profile file whose
-- ".corrupt" name is taken by a link.
function A_Init()
  CreateAppDataFolder(os.getenv("PROJECT"))
  DataToFile("w/save.tmp", "notes")
  DataToFile("w/save", "level=3")
  DataToFile("w/pipe", "through the pipe")
  DataToFile("w/" .. string.rep("d", 251) .. ".txt", "long data")
  InitLogFile(string.rep("l", 251) .. ".log")
  WriteToLogFile("long log")
  SetProfileToCode("name=Bea;1level=9;")
  io.stderr:write("done\n")
  QuitGame()
end
