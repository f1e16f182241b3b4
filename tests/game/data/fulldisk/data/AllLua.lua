-- Saves a parameter file of $PAIRS pairs (300 without it) over the one it read, and says how
-- many pairs it read.
function A_Init()
  CreateAppDataFolder("FullDiskGame")
  io.stderr:write("read ", GetParamsFromCode(), " pairs\n")
  local items = {}
  for i = 1, tonumber(os.getenv("PAIRS") or "300") do items[i] = "new" .. i .. "=" .. string.rep("n", 100) .. ";" end
  SetParamsToCode(table.concat(items))
  io.stderr:write("saved\n")
  QuitGame()
end
