-- Posts to the test server named in the environment and reports on standard error what comes
-- back. NET_TEST_MODE "answer": the answer reaches OnAnswer while the frames go on; "missing":
-- the answer function names no function; "failing": the answer function raises an error;
-- "many": 16 posts at once, each answer or failure reported as it comes, then a count; "size":
-- no post, the program's peak address space after some frames ("vm: N kB").
local host, mode, key = os.getenv("NET_TEST_HOST"), os.getenv("NET_TEST_MODE"), os.getenv("NET_TEST_KEY")
local frames, started = 0, nil
local heard, failed = 0, 0

local function HeardOneOfMany()
  heard = heard + 1
  if heard == 16 then
    io.stderr:write("many: ", heard, " heard, ", failed, " failed\n")
    QuitGame()
  end
end

function OnOneOfMany(text)
  io.stderr:write("answer: ", text, "\n")
  HeardOneOfMany()
end

function OnFailureOfMany(text)
  io.stderr:write("error: ", text, "\n")
  failed = failed + 1
  HeardOneOfMany()
end

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
  if mode == "many" then
    for i = 1, 16 do
      PostUrl("OnOneOfMany", "OnFailureOfMany", host, "echo?delay=300&k=" .. key, "answer " .. i)
    end
    return
  end
  if mode == "size" then return end
  local okFunc = ({answer = "OnAnswer", missing = "NoSuchFunction", failing = "Failing"})[mode]
  PostUrl(okFunc, "OnError", host, "echo?delay=300&k=" .. key, "hello from the game")
end

function A_Update(time)
  frames = frames + 1
  if mode == "size" and frames == 30 then
    local status = io.open("/proc/self/status"):read("*a")
    io.stderr:write("vm: ", status:match("VmPeak:%s*(%d+) kB"), " kB\n")
    QuitGame()
  end
  if time - started > 20000 then
    io.stderr:write("no answer\n")
    QuitGame()
  end
end
