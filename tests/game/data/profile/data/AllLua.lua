-- Counts its own starts in the profile: each run reads the count that the run before saved.
function A_Init()
  CreateAppDataFolder("ProfileGame", "Profile")
  local profile = GetProfileFromCode()
  io.stderr:write("profile: [", profile, "]\n")
  local runs = tonumber(string.match(profile, "runs!(%d+)!") or "0")
  SetProfileParam("runs=" .. (runs + 1))
  SetParamsToCode("Fullscreen=false;sound=on;")
  QuitGame()
end
