-- Plays a tone from data/sounds (the test makes it) and ends once it has played: shows the
-- sound path from the script to the audio device.
local started
function A_Init(time)
  CreateAppDataFolder("SoundGame")
  io.stderr:write("sound init: ", tostring(InitSound()), "\n")
  tone, length = LoadSound("tone.wav")
  io.stderr:write("sound length: ", length, "\n")
  PlaySound(tone, 100)
  SetSystemResolution(320, 240, 320, 240)
end

function A_Update(time)
  started = started or time
  if time - started > 2 * length + 200 then
    FreeSounds(tone)
    QuitGame()
  end
end
