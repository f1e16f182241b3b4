-- Posts to the test server named in the environment and reports on standard error what comes
-- back. NET_TEST_MODE "answer": the answer reaches OnAnswer while the frames go on; "missing":
-- the answer function names no function; "failing": the answer function raises an error.
local host, mode, key = os.getenv("NET_TEST_HOST"), os.getenv("NET_TEST_MODE"), os.getenv("NET_TEST_KEY")
local frames, started = 0, nil

function OnAnswer(text)
  io.stderr:write("answer: ", text, " after ", frames, " frames\n")
  QuitGame()
end

function OnError(text)
  io.stderr:write("error: ", text, "\n")
  QuitGame()
end

function Failing(text)
  error("the answer handler failed on " .. text)
end

function A_Init(time)
  CreateAppDataFolder("NetGame")
  SetSystemResolution(320, 240, 320, 240)
  started = time
  local okFunc = ({answer = "OnAnswer", missing = "NoSuchFunction", failing = "Failing"})[mode]
  PostUrl(okFunc, "OnError", host, "echo?delay=300&k=" .. key, "hello from the game")
end

function A_Update(time)
  frames = frames + 1
  if time - started > 20000 then
    io.stderr:write("no answer\n")
    QuitGame()
  end
end
