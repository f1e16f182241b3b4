-- Writes $BYTES bytes to the FIFO "w/pipe", then saves "w/after.txt": whatever the pipe's reader
-- does, the game goes on to the save after it. With $PAUSE, it waits that many seconds between
-- the two, long after the log's lines of the first write.
function A_Init()
  CreateAppDataFolder("PipeGame")
  DataToFile("w/pipe", string.rep("p", tonumber(os.getenv("BYTES") or "100")))
  local start = os.clock()
  while os.clock() - start < tonumber(os.getenv("PAUSE") or "0") do end
  DataToFile("w/after.txt", "after")
  io.stderr:write("done\n")
  QuitGame()
end
