// End to end through the built program: a game that keeps its own script log, rewrites one of
// its loose script files and reloads it; the test reads the script log back. And a game whose
// writes meet names chosen by others, a FIFO and names at the length limit.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "foundation/CUnit.h"
#include "game/AssArray.h"
#include "program_run.h"
#include "runtime/Streams.h"

namespace {

namespace fs = std::filesystem;
using game_test::Tail;

TEST(FilesProgramTest, AReloadedScriptRunsFromTheNextFrameAndTheScriptLogTellsSo) {
  const fs::path root = game_test::NewFolder("reload");
  game_test::PrepareGame("reload", root);
  // The loose script file that the reload reads: at the start the same text as the bundle.
  fs::copy_file(root / "game" / "data" / "AllLua.lua", root / "game" / "Game.lua");
  const game_test::ProgramRun run = game_test::RunProgram("reload", root);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0) << Tail(run.errors);

  const fs::path log = root / "home" / "AppData" / "Dunmarrow" / "ReloadGame" / "script.log";
  EXPECT_EQ(game_test::ReadFile(log), "started en\r\nold frame 1\r\nkey 116 0\r\nnew frame\r\n") << Tail(run.logs);
  // The rewritten file as the game wrote it, and the joined text saved beside it.
  const std::string rewritten = game_test::ReadFile(root / "game" / "Game.lua");
  EXPECT_EQ(rewritten.rfind("function A_KeyDown", 0), 0u);
  EXPECT_EQ(game_test::ReadFile(root / "game" / "AllLua.lua"),
            "-- the interface templates come first\r\n"
            "function A_KeyDown(key, ch) WriteToLogFile(\"key \" .. key .. \" \" .. ch) end\r\n"
            "function A_Update() WriteToLogFile(\"new frame\") QuitGame() end\r\n");
  EXPECT_NE(run.logs.find("LoadFromFile Game.lua"), std::string::npos) << Tail(run.logs);
  EXPECT_NE(run.logs.find("LoadFromFile KeshInterfaceTemplatesEngine.lua"), std::string::npos);
}

std::set<std::string> Entries(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

TEST(FilesProgramTest, WritesTouchNoNameButTheirTarget) {
  const fs::path root = game_test::NewFolder("names");
  game_test::PrepareGame("names", root);
  const fs::path w = root / "game" / "w";
  fs::create_directories(w);
  ASSERT_EQ(mkfifo((w / "pipe").c_str(), 0644), 0);
  // A project name that leaves the main log's name 253 bytes long.
  const std::string project(249, 'p');
  const fs::path folder = root / "home" / "AppData" / "Dunmarrow" / project;
  const std::string longLog(251, 'l');
  game_test::WriteFile(folder / (longLog + ".log"), "STALE TEXT OF AN EARLIER RUN\r\n");
  // A corrupt profile file, and a link on its ".corrupt" name to a file outside the folder.
  rtl::TMemoryStream plain, scrambled;
  plain.WriteString("1level=3\n");  // LF alone: does not read back as a profile file
  ScrambleStream(plain, scrambled, tAssArray::kScrambleKey);
  const std::string corrupt = scrambled.ToString();
  game_test::WriteFile(folder / "Profile.txt", corrupt);
  game_test::WriteFile(root / "outside.txt", "not the game's");
  fs::create_symlink(root / "outside.txt", folder / "Profile.txt.corrupt");

  // A reader waits at the FIFO all through the run.
  std::string piped;
  std::atomic<bool> ended{false};
  std::thread reader([&] {
    const int fd = open((w / "pipe").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    char buffer[256];
    for (;;) {
      const bool last = ended;
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n > 0) {
        piped.append(buffer, static_cast<std::size_t>(n));
      } else if (last) {
        break;
      } else {
        usleep(1000);
      }
    }
    close(fd);
  });
  const game_test::ProgramRun run = game_test::RunProgram("names", root, true, {"PROJECT=" + project});
  ended = true;
  reader.join();
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0) << Tail(run.errors);
  EXPECT_NE(run.errors.find("done"), std::string::npos) << Tail(run.errors);

  // A script's own file beside another one stays, and nothing else shows up.
  EXPECT_EQ(game_test::ReadFile(w / "save.tmp"), "notes");
  EXPECT_EQ(game_test::ReadFile(w / "save"), "level=3");
  // The FIFO gave its reader the text and is still a FIFO.
  EXPECT_EQ(piped, "through the pipe");
  EXPECT_TRUE(fs::is_fifo(w / "pipe"));
  // Names at the length limit: a 255-byte data file, a script log that starts afresh, and the
  // main log under its own name rather than on standard error.
  EXPECT_EQ(game_test::ReadFile(w / (std::string(251, 'd') + ".txt")), "long data");
  EXPECT_EQ(Entries(w), (std::set<std::string>{"save.tmp", "save", "pipe", std::string(251, 'd') + ".txt"}));
  EXPECT_EQ(game_test::ReadFile(folder / (longLog + ".log")), "long log\r\n");
  EXPECT_EQ(game_test::ReadFile(folder / (project + ".log")).rfind(std::string(80, '='), 0), 0u);
  EXPECT_EQ(run.errors.find("cannot be written"), std::string::npos) << Tail(run.errors);
  EXPECT_EQ(run.logs.find("ERROR !!!"), std::string::npos) << Tail(run.logs);
  // The corrupt file's copy got a name of its own; the link and its file are untouched.
  EXPECT_EQ(game_test::ReadFile(root / "outside.txt"), "not the game's");
  EXPECT_TRUE(fs::is_symlink(folder / "Profile.txt.corrupt"));
  EXPECT_EQ(game_test::ReadFile(folder / "Profile.txt.corrupt2"), corrupt);
  EXPECT_NE(run.logs.find("Profile.txt.corrupt2\""), std::string::npos) << Tail(run.logs);
}

}  // namespace

namespace {

enum class PipeReader { ReadsTenBytesAndLeaves, NeverReads };

// The read end of a FIFO, opened before the program starts so that the program finds a reader.
class FifoReader {
public:
  FifoReader(const fs::path& fifo, PipeReader kind) : kind_(kind) {
    fd_ = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    thread_ = std::thread([this] {
      if (fd_ < 0) return;
      if (kind_ == PipeReader::ReadsTenBytesAndLeaves) {
        std::size_t got = 0;
        char buffer[10];
        while (got < sizeof buffer && !ended_) {
          const ssize_t n = read(fd_, buffer, sizeof buffer - got);
          if (n > 0) got += static_cast<std::size_t>(n);
          else usleep(1000);
        }
      } else {
        while (!ended_) usleep(1000);
      }
      close(fd_);
    });
  }
  ~FifoReader() {
    ended_ = true;
    thread_.join();
  }
  FifoReader(const FifoReader&) = delete;
  FifoReader& operator=(const FifoReader&) = delete;
  bool Open() const { return fd_ >= 0; }

private:
  PipeReader kind_;
  int fd_ = -1;
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

}  // namespace

TEST(FilesProgramTest, APipeWhoseReaderLeavesOrNeverReadsFailsTheWriteAndTheGameGoesOn) {
  // The program's standard error piped into a reader that takes 10 bytes and leaves, as in
  // "quorrel 2>&1 | head -c 10"; the status is the program's own.
  const std::vector<std::string> errorsToHead = {
      "/bin/bash", "-c", "\"$0\" 2>&1 >/dev/null | head -c 10 >/dev/null; exit ${PIPESTATUS[0]}"};
  const struct {
    const char* label;
    bool logOnStandardError;  // else the script writes to the FIFO "w/pipe"
    PipeReader reader;
    int bytes;
    const char* said;  // the error the failed write logs
  } cases[] = {
      {"a FIFO whose reader takes 10 bytes and leaves", false, PipeReader::ReadsTenBytesAndLeaves, 1 << 20,
       "w/pipe\" (error 109: the reader closed the pipe)"},
      {"a FIFO whose reader never reads", false, PipeReader::NeverReads, 1 << 20,
       "w/pipe\" (error 1460: the time limit of the operation ran out)"},
      {"the main log on standard error, piped to a reader that leaves", true, PipeReader::ReadsTenBytesAndLeaves, 100,
       nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const fs::path root = game_test::NewFolder("pipes");
    game_test::PrepareGame("pipes", root);
    const fs::path w = root / "game" / "w";
    fs::create_directories(w);
    game_test::ProgramRun run;
    if (c.logOnStandardError) {
      // A folder on the main log's name: its lines go to standard error, the first of them the
      // error of a write to a folder.
      fs::create_directories(root / "home" / "AppData" / "Dunmarrow" / "PipeGame" / "PipeGame.log");
      fs::create_directories(w / "pipe");
      run = game_test::FinishProgram(
          game_test::StartProgram("pipes", root, true, {"BYTES=100", "PAUSE=0.3"}, std::nullopt, errorsToHead), root);
    } else {
      ASSERT_EQ(mkfifo((w / "pipe").c_str(), 0644), 0);
      const FifoReader reader(w / "pipe", c.reader);
      ASSERT_TRUE(reader.Open());
      run = game_test::RunProgram("pipes", root, true, {"BYTES=" + std::to_string(c.bytes)});
      EXPECT_NE(run.errors.find("done"), std::string::npos) << Tail(run.errors);
      EXPECT_TRUE(fs::is_fifo(w / "pipe"));
    }
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0) << Tail(run.errors);
    EXPECT_EQ(game_test::ReadFile(w / "after.txt"), "after");
    if (c.said != nullptr) {
      EXPECT_NE(run.logs.find(c.said), std::string::npos) << Tail(run.logs);
      EXPECT_NE(run.logs.find("[ Errors : 1"), std::string::npos) << "the log has its footer" << Tail(run.logs);
    }
  }
}
