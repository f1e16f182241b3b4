-- Saves a GameParams.txt of 2,000 pairs again and again, every value naming this copy ($COPY)
-- and the save's number, until it is killed; with $SAVES set, that many saves and then it quits.
function A_Init()
  CreateAppDataFolder("TwoCopiesGame")
  local copy = os.getenv("COPY") or "x"
  local saves = tonumber(os.getenv("SAVES") or "0")
  local n = 0
  while saves == 0 or n < saves do
    n = n + 1
    local items = {}
    for i = 1, 2000 do items[i] = "k" .. i .. "=" .. copy .. n .. ";" end
    SetParamsToCode(table.concat(items))
  end
  io.stderr:write("saved\n")
  QuitGame()
end
