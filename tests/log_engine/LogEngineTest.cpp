// Log files compared byte for byte: header, message lines, folding of repeats, the cut of long
// messages, detail levels, placeholders inside messages and the footer. The clock and the tick
// count come from seams so that every byte is known.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "foundation/KeshLogEngine.h"
#include "platform/win32/win32_system.h"
#include "runtime/DateTime.h"
#include "runtime/Files.h"
#include "win32_system/TempDir.h"

namespace {

uint32_t ticks = 0;

const std::string kRule = std::string(80, '=');
const std::string kThin = std::string(80, '-');

std::string Header(const std::string& levelText) {
  std::string level = levelText;
  level.resize(25, ' ');
  return kRule + "\r\n" +
         "Log: 1.50 " + level + "              Wednesday  9-Dec-2026  09:52:09\r\n" +
         "\r\n" +
         "System Information:\r\n" +
         "  Processor     : Intel(R) Core(TM)2 Duo CPU (MMX SSE SSE2)\r\n" +
         "  Total Memory  : 2047 Mb\r\n" +
         "  Free HD Space : 812 Mb\r\n" +
         "  OS            : Microsoft Windows XP Professional Service Pack 3 (Build 2600)\r\n" +
         kThin + "\r\n";
}

std::string Footer(int errors, int warnings, int hints) {
  const std::string blanks(80, ' ');
  return kThin + "\r\n" + "[ Errors : " + std::to_string(errors) + " ,  Warnings : " + std::to_string(warnings) +
         " ,  Hints : " + std::to_string(hints) + " ]\r\n" + blanks + "\r\n" + blanks + "\r\n" + blanks + "\r\n";
}

class LogEngineTest : public ::testing::Test {
protected:
  void SetUp() override {
    ticks = 1000;
    platform::win32::seam::SetTickSource([] { return ticks; });
    TKeshLogEngine::SetClockForTesting(
        [] { return rtl::EncodeDate(2026, 12, 9) + rtl::EncodeTime(9, 52, 9, 0); });
    engine = std::make_unique<TKeshLogEngine>();
    engine->Processor = "Intel(R) Core(TM)2 Duo CPU (MMX SSE SSE2)";
    engine->TotalMemory = "2047 Mb";
    engine->FreeHDSpace = "812 Mb";
    engine->OS = "Microsoft Windows XP Professional Service Pack 3 (Build 2600)";
    log = engine->AddLogFile(dir / "Test.log");
    engine->MainLog = log;
  }
  void TearDown() override {
    engine.reset();
    platform::win32::seam::SetTickSource(nullptr);
    TKeshLogEngine::SetClockForTesting(nullptr);
  }
  // Elapsed milliseconds since the engine started.
  void At(uint32_t elapsed) { ticks = 1000 + elapsed; }
  std::string File() const { return dir.Read("Test.log"); }

  TempDir dir;
  std::unique_ptr<TKeshLogEngine> engine;
  TLogFile* log = nullptr;
};

const std::string kAllLevels = "[Errors, Warnings, Hints]";

}  // namespace

TEST_F(LogEngineTest, HeaderLinesRepeatsAndFooter) {
  At(15);
  engine->AddMessage("Loading textures");
  At(20);
  engine->AddWarning("Texture missing");
  At(1234);
  engine->AddError("Cannot open file");
  At(1500);
  engine->AddError("Cannot open file");
  engine->AddError("Cannot open file");
  At(2002);
  engine->AddMessage("Loading sounds");
  const std::string lines = Header(kAllLevels) +
                            "(00:00:00:015)  Loading textures\r\n"
                            "(00:00:00:020) .Warning! Texture missing\r\n"
                            "(00:00:01:234) .ERROR !!! Cannot open file\r\n"
                            "(00:00:02:002) *2 ERROR !!! Cannot open file\r\n"
                            "(00:00:02:002)  Loading sounds\r\n";
  EXPECT_EQ(File(), lines);

  At(3000);
  engine->AddHint("Done");
  engine->AddHint("Done");
  engine->AddHint("Done");
  engine->AddHint("Done");
  engine->AddHint("Done");  // five times: the line, then "*4" at close
  At(4000);
  engine->CloseAll();
  EXPECT_EQ(File(), lines +
                        "(00:00:03:000)  Done\r\n"
                        "(00:00:04:000) *4 Done\r\n" +
                        Footer(3, 1, 5));
}

TEST_F(LogEngineTest, SingleRepeatsAndTypesAreToldApart) {
  engine->AddWarning("same");
  engine->AddWarning("same");  // one repeat: like the first line, a blank for the "."
  engine->AddError("same");    // another type: not a repeat
  engine->AddHint("hint");
  engine->AddMessage("plain");
  engine->AddMessage("plain");
  engine->AddMessage("other");
  EXPECT_EQ(File(), Header(kAllLevels) +
                        "(00:00:00:000) .Warning! same\r\n"
                        "(00:00:00:000)  Warning! same\r\n"
                        "(00:00:00:000) .ERROR !!! same\r\n"
                        "(00:00:00:000)  hint\r\n"
                        "(00:00:00:000)  plain\r\n"
                        "(00:00:00:000)  plain\r\n"
                        "(00:00:00:000)  other\r\n");
}

TEST_F(LogEngineTest, LongMessagesAreCutAndStillFold) {
  const std::string exact(1000, 'a');
  const std::string longer = std::string(1000, 'b') + "c";
  engine->AddMessage(exact);
  engine->AddError(longer);
  engine->AddError(std::string(1000, 'b') + "dddd");  // the same after the cut
  engine->CloseAll();
  const std::string cut = std::string(1000, 'b') + " - Message was cut!";
  EXPECT_EQ(File(), Header(kAllLevels) + "(00:00:00:000)  " + exact + "\r\n" +
                        "(00:00:00:000) .ERROR !!! " + cut + "\r\n" +
                        "(00:00:00:000)  ERROR !!! " + cut + "\r\n" + Footer(2, 0, 0));
}

TEST_F(LogEngineTest, DetailLevels) {
  struct Case {
    uint8_t level;
    std::string header;
    std::string lines;
  } cases[] = {
      {0, "[]", "(00:00:00:000)  message\r\n"},
      {1, "[Errors]", "(00:00:00:000)  message\r\n(00:00:00:000) .ERROR !!! error\r\n"},
      {2, "[Errors, Warnings]",
       "(00:00:00:000)  message\r\n(00:00:00:000) .ERROR !!! error\r\n(00:00:00:000) .Warning! warning\r\n"},
      {3, kAllLevels,
       "(00:00:00:000)  message\r\n(00:00:00:000) .ERROR !!! error\r\n(00:00:00:000) .Warning! warning\r\n"
       "(00:00:00:000)  hint\r\n"},
      {4, "[]",
       "(00:00:00:000)  message\r\n(00:00:00:000) .ERROR !!! error\r\n(00:00:00:000) .Warning! warning\r\n"
       "(00:00:00:000)  hint\r\n"},
  };
  for (const Case& c : cases) {
    const std::string name = "level" + std::to_string(c.level) + ".log";
    TLogFile* file = engine->AddLogFile(dir / name);
    file->DetalizationMode = c.level;
    engine->MainLog = file;
    engine->AddMessage("message");
    engine->AddError("error");
    engine->AddWarning("warning");
    engine->AddHint("hint");
    file->Close();
    EXPECT_EQ(dir.Read(name), Header(c.header) + c.lines + Footer(1, 1, 1)) << int(c.level);
  }
}

TEST_F(LogEngineTest, DroppedHintKeepsThePendingRepeat) {
  log->DetalizationMode = 1;
  engine->AddError("E");
  engine->AddError("E");
  engine->AddHint("H");  // dropped, but counted
  engine->AddError("E");
  engine->AddMessage("M");
  engine->CloseAll();
  EXPECT_EQ(File(), Header("[Errors]") +
                        "(00:00:00:000) .ERROR !!! E\r\n"
                        "(00:00:00:000) *2 ERROR !!! E\r\n"
                        "(00:00:00:000)  M\r\n" +
                        Footer(3, 0, 1));
}

TEST_F(LogEngineTest, PlaceholdersInsideMessages) {
  engine->AddError("first");
  engine->AddError("second");
  const std::pair<std::string, std::string> cases[] = {
      {"50% done", "50% done"},
      {"a%b;c", "a%bc"},
      {"x%;y", "xy"},
      {"errors %ErrorsCount; so far", "errors 2 so far"},
      {"ends with %", "ends with %"},
      {"width %ErrorsCount|4;!", "width    2!"},
      {"bad width %ErrorsCount|x4;!", "bad width 2!"},          // not a number: no width
      {"bad width %LogVersion|abc;!", "bad width 1.50!"},
      {"huge %HintsCount|999999999;", "huge " + std::string(999, ' ') + "0"},  // narrowed to 1000
      {"unknown %Nope|1|[|];", "unknown %Nope|1|[|]"},
      {"%DetalizationMode||<|>;", "<Errors, Warnings, Hints>"},
      {"%TimeFromStart||ss;s", "00s"},
  };
  std::string expected = Header(kAllLevels) + "(00:00:00:000) .ERROR !!! first\r\n" +
                         "(00:00:00:000) .ERROR !!! second\r\n";
  for (const auto& [message, written] : cases) {
    engine->AddMessage(message);
    expected += "(00:00:00:000)  " + written + "\r\n";
  }
  EXPECT_EQ(File(), expected);
}

TEST_F(LogEngineTest, ARunWithoutMessagesTouchesNoFile) {
  dir.Write("Test.log", "from an earlier run");
  engine->CloseAll();
  EXPECT_EQ(File(), "from an earlier run");

  TLogFile* other = engine->AddLogFile(dir / "Empty.log");
  engine->MainLog = other;
  engine->AddMessage("");  // as the very first message it counts as a repeat of nothing
  engine->CloseAll();
  EXPECT_FALSE(std::filesystem::exists(dir / "Empty.log"));
}

TEST_F(LogEngineTest, AnEmptyFirstMessageWaitsForTheNextOne) {
  engine->AddMessage("");
  EXPECT_FALSE(std::filesystem::exists(dir / "Test.log"));
  At(5);
  engine->AddMessage("next");
  EXPECT_EQ(File(), Header(kAllLevels) + "(00:00:00:005)  \r\n(00:00:00:005)  next\r\n");
}

TEST_F(LogEngineTest, ADeletedLogIsRecreatedWithANewHeader) {
  dir.Write("Test.log", "from an earlier run");
  engine->AddMessage("one");
  EXPECT_EQ(File(), Header(kAllLevels) + "(00:00:00:000)  one\r\n");  // emptied first
  std::filesystem::remove(dir / "Test.log");
  engine->AddMessage("two");
  EXPECT_EQ(File(), Header(kAllLevels) + "(00:00:00:000)  two\r\n");
  engine->AddError("three");
  engine->AddError("three");
  std::filesystem::remove(dir / "Test.log");
  engine->CloseAll();
  EXPECT_EQ(File(), Header(kAllLevels) + "(00:00:00:000)  ERROR !!! three\r\n" + Footer(2, 0, 0));
}

TEST_F(LogEngineTest, ALogNameIsRegisteredOnce) {
  std::filesystem::create_directories(dir / "elsewhere");
  TLogFile* again = engine->AddLogFile(dir.path() + "\\elsewhere\\Test.log");
  EXPECT_EQ(again, log);
  EXPECT_EQ(File(), Header(kAllLevels) +
                        "(00:00:00:000) .Warning! TKeshLogEngine.AddLogFile(Test.log) - Log file already exists!\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere/Test.log"));
}

TEST_F(LogEngineTest, ElapsedTimeSurvivesTheTickWrapAndRestartsAfterADay) {
  ticks = 0xFFFFFFF0u;
  TKeshLogEngine wrapped;
  TLogFile* file = wrapped.AddLogFile(dir / "Wrap.log");
  wrapped.MainLog = file;
  ticks = 0x10;  // 32 ms later, past the wrap
  wrapped.AddMessage("after the wrap");
  ticks = 0xFFFFFFF0u + 86400000u + 5u;
  wrapped.AddMessage("a day later");
  ticks = 0xFFFFFFF0u + 3u * 3600000u + 17u * 60000u + 42u * 1000u + 7u;
  wrapped.AddMessage("later");
  const std::string text = dir.Read("Wrap.log");
  const std::string tail = "(00:00:00:032)  after the wrap\r\n"
                           "(00:00:00:005)  a day later\r\n"
                           "(03:17:42:007)  later\r\n";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(LogEngineTest, AFileThatCannotBeWrittenIsLeftAloneAndTheOthersGoOn) {
  dir.Write("plain-file", "x");
  std::filesystem::create_directories(dir / "a-folder.log");
  const std::string unusable[] = {dir / "no/such/folder/A.log", dir / "plain-file/B.log", dir / "a-folder.log"};
  for (const std::string& path : unusable) {
    TLogFile* file = engine->AddLogFile(path);
    EXPECT_NO_THROW(engine->WriteMessage("cannot be written", 1, file->FileName)) << path;
    EXPECT_NO_THROW(engine->WriteMessage("still not", 0, file->FileName)) << path;
    EXPECT_TRUE(file->Unusable) << path;
    EXPECT_EQ(file->ErrorsCount, 1);
  }
  engine->AddMessage("fine");
  EXPECT_NO_THROW(engine->CloseAll());
  EXPECT_EQ(File(), Header(kAllLevels) + "(00:00:00:000)  fine\r\n" + Footer(0, 0, 0));
  EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

std::string WithoutCR(std::string text) {
  std::erase(text, '\r');
  return text;
}

// A main log that cannot be written would leave no trace of the run at all: its lines go to
// standard error instead, after a line that names the file.
TEST_F(LogEngineTest, AMainLogThatCannotBeWrittenGoesToStandardError) {
  std::filesystem::create_directories(dir / "Main.log");  // a folder where the file should be
  const std::string path = dir / "Main.log";
  engine->MainLog = engine->AddLogFile(path);
  testing::internal::CaptureStderr();
  engine->AddHint("one");
  engine->AddError("two");
  engine->AddError("two");
  engine->AddMessage("three");
  engine->CloseAll();
  const std::string err = testing::internal::GetCapturedStderr();
  const std::string notice = "Log file \"" + path + "\" cannot be written";
  ASSERT_EQ(err.substr(0, notice.size()), notice) << err;
  const std::size_t firstLineEnd = err.find('\n');
  EXPECT_EQ(err.substr(firstLineEnd + 1),
            WithoutCR(Header(kAllLevels) + "(00:00:00:000)  one\r\n(00:00:00:000) .ERROR !!! two\r\n" +
                      "(00:00:00:000)  ERROR !!! two\r\n(00:00:00:000)  three\r\n" + Footer(2, 0, 1)));
  EXPECT_TRUE(std::filesystem::is_directory(path));
}

// A full disk part way: another log stops where it failed; the main log goes on, on standard
// error, from the line that did not fit.
TEST_F(LogEngineTest, AWriteThatFailsPartWayStopsThatFileOrMovesTheMainLog) {
  TLogFile* big = engine->AddLogFile(dir / "Big.log");
  engine->WriteMessage("small", 0, "Big.log");
  engine->AddMessage("small");
  testing::internal::CaptureStderr();
  {
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit limit = old;
    limit.rlim_cur = 1500;  // as a full disk would: the next long line does not fit
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_NO_THROW(engine->WriteMessage(std::string(1200, 'x'), 0, "Big.log"));
    EXPECT_NO_THROW(engine->WriteMessage("after", 0, "Big.log"));
    EXPECT_NO_THROW(engine->AddMessage(std::string(1200, 'y')));
    EXPECT_NO_THROW(engine->AddMessage("goes on"));
    setrlimit(RLIMIT_FSIZE, &old);
  }
  engine->CloseAll();
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(big->Unusable);
  EXPECT_EQ(dir.Read("Big.log").find("after"), std::string::npos);
  const std::string before = Header(kAllLevels) + "(00:00:00:000)  small\r\n";
  EXPECT_EQ(File().substr(0, before.size()), before);  // then as much of the long line as fitted
  EXPECT_EQ(File().find("goes on"), std::string::npos);
  const std::string notice = "Log file \"" + std::string(dir / "Test.log") + "\" cannot be written";
  ASSERT_EQ(err.substr(0, notice.size()), notice) << err;
  EXPECT_EQ(err.substr(err.find('\n') + 1),
            "(00:00:00:000)  " + std::string(1000, 'y') + " - Message was cut!\n(00:00:00:000)  goes on\n" +
                WithoutCR(Footer(0, 0, 0)));
}

TEST_F(LogEngineTest, AlignAndTemplateFields) {
  EXPECT_EQ(TLogFile::Align("1.50", ' ', 5, true), "1.50 ");
  EXPECT_EQ(TLogFile::Align("abcdef", ' ', 3, true), "abc");
  EXPECT_EQ(TLogFile::Align("abcdef", ' ', 3, false), "def");
  EXPECT_EQ(TLogFile::Align("ab", '.', 4, false), "..ab");
  EXPECT_EQ(TLogFile::Align("ab", ' ', 0, false), "");
  EXPECT_EQ(TLogFile::Align("ab", ' ', -2, true), "");

  log->Last.RepeatCount = 7;
  EXPECT_EQ(log->ExpandVariable("MessagesCount", "3", "*", "|"), "*  7|");
  log->Last.RepeatCount = 1;
  EXPECT_EQ(log->ExpandVariable("MessagesCount", "3", "*", "|"), "     ");
  EXPECT_EQ(log->ExpandVariable("MessagesCount", "", "*", ""), "");
  log->Last.LastType = 2;
  EXPECT_EQ(log->ExpandVariable("MessageType", "", "..", ""), "  Warning!");
  log->Last.RepeatCount = 0;
  EXPECT_EQ(log->ExpandVariable("MessageType", "", "..", ""), "..Warning!");
  EXPECT_EQ(log->ExpandVariable("Processor", "3", "", ""), "Intel(R) Core(TM)2 Duo CPU (MMX SSE SSE2)");
  EXPECT_EQ(log->ExpandVariable("DateTime", "", "yyyy", ""), "2026");
  EXPECT_EQ(log->ExpandVariable("DateTime", "6", "yyyy", ""), "  2026");
}

TEST(LogEngineUnit, InitialisationIsIdempotentAndTheMainLogCanBeRedirected) {
  TempDir dir;
  InitializeKeshLogEngine();
  TKeshLogEngine* first = LogEngine;
  ASSERT_NE(first, nullptr);
  InitializeKeshLogEngine();
  EXPECT_EQ(LogEngine, first);
  ASSERT_NE(LogEngine->MainLog, nullptr);
  EXPECT_EQ(LogEngine->MainLog->FileName, "Log.txt");
  EXPECT_EQ(LogEngine->MainLog->FilePath, rtl::ProgramFolder());
  EXPECT_FALSE(LogEngine->TotalMemory.empty());
  EXPECT_FALSE(LogEngine->FreeHDSpace.empty());

  LogEngine->MainLog = LogEngine->AddLogFile(dir / "x.log");
  LogEngine->AddHint("hello");
  FinalizeKeshLogEngine();
  EXPECT_EQ(LogEngine, nullptr);
  const std::string text = dir.Read("x.log");
  EXPECT_NE(text.find(")  hello\r\n"), std::string::npos);
  EXPECT_NE(text.find("[ Errors : 0 ,  Warnings : 0 ,  Hints : 1 ]\r\n"), std::string::npos);
}
