// The key/value store: editing, loading real plain and scrambled files, groups and excluded
// keys on saving, and the guarantees of a save (whole files, sanitised bytes, corrupt files
// kept, failures raised or logged).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "foundation/CUnit.h"
#include "game/AssArray.h"
#include "game_test_support.h"
#include "runtime/Errors.h"
#include "runtime/Streams.h"

namespace fs = std::filesystem;
using game_test::NewFolder;
using game_test::ReadFile;
using game_test::WriteFile;

namespace {

using PairList = std::vector<std::pair<std::string, std::string>>;

PairList PairsOf(const tAssArray& store) {
  PairList pairs;
  for (const tAssPair& p : store.Pairs) pairs.emplace_back(p.Key, p.Value);
  return pairs;
}

// Scrambled the way the files are, made here rather than by the store.
std::string Scramble(const std::string& bytes) {
  rtl::TMemoryStream source, dest;
  source.WriteString(bytes);
  ScrambleStream(source, dest, "KuMoDe");
  return dest.ToString();
}

PairList LoadFile(const fs::path& path, bool plain, int32_t tag = 0) {
  tAssArray store;
  store.Plain = plain;
  store.LoadFromFile(path.string(), tag);
  return PairsOf(store);
}

std::set<std::string> Entries(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

const PairList kCorruptProfile = {{"corrupt", "true"}, {"corruptplayer", "1"}};

}  // namespace

TEST(AssArrayTest, AddLineSplitsAtTheFirstEqualsAndKeepsExistingKeys) {
  struct Case {
    std::string line;
    PairList added;  // after the store's own ("k", "first")
  } cases[] = {
      {"a=b=c", {{"a", "b=c"}}},
      {"abc", {}},
      {"", {}},
      {" a = b ", {{" a ", " b "}}},
      {"=v", {{"", "v"}}},
      {"k=second", {}},
      {"K=other case", {{"K", "other case"}}},
  };
  for (const Case& c : cases) {
    tAssArray store;
    store.AddPair("k", "first");
    store.AddLine(c.line);
    PairList expected = {{"k", "first"}};
    expected.insert(expected.end(), c.added.begin(), c.added.end());
    EXPECT_EQ(PairsOf(store), expected) << c.line;
  }
}

TEST(AssArrayTest, LookupsAndChangesTakeTheFirstOfDuplicateKeys) {
  tAssArray store;
  store.Plain = true;
  store.LoadFromBytes("a=1\r\nb=2\r\na=3\r\n", 0);
  EXPECT_EQ(store.IndexOfKey("a"), 0);
  EXPECT_EQ(store.IndexOfKey("b"), 1);
  EXPECT_EQ(store.IndexOfKey("A"), -1);
  EXPECT_EQ(store.IndexOfKey("a "), -1);

  store.SetValue("a", "x");
  store.SetValue("z", "ignored");
  store.AddPair("a", "ignored");
  store.SetValueAt(2, "y");
  store.SetValueAt(-1, "ignored");
  store.SetValueAt(3, "ignored");
  EXPECT_EQ(PairsOf(store), (PairList{{"a", "x"}, {"b", "2"}, {"a", "y"}}));
  store.Clear();
  EXPECT_TRUE(store.Pairs.empty());
}

TEST(AssArrayTest, LoadsPlainAndScrambledFiles) {
  const auto log = game_test::UseFreshLog();
  const fs::path dir = NewFolder("store-load");
  const std::string crlf = "a=1\r\nb=2\r\na=3\r\n";
  const PairList aba = {{"a", "1"}, {"b", "2"}, {"a", "3"}};
  struct Case {
    std::string label;
    bool plain;
    std::string bytes;
    int32_t tag;
    PairList expected;
  } cases[] = {
      {"plain CR LF, duplicate keys kept", true, crlf, 0, aba},
      {"plain LF only", true, "a=1\nb=2\na=3\n", 0, aba},
      {"plain CR only", true, "a=1\rb=2\ra=3\r", 0, aba},
      {"plain mixed ends, last line unended", true, "a=1\nb=2\r\na=3", 0, aba},
      {"lines without = carry nothing", true, "junk\r\n\r\n\nx=\r\n\r\n", 0, {{"x", ""}}},
      {"blanks belong to key and value", true, " k = v \r\n\tt\t=\t\r\n", 0, {{" k ", " v "}, {"\tt\t", "\t"}}},
      {"NUL ends the text", true, std::string("a=1\r\nb=\0c=3\r\nd=4\r\n", 18), 0, {{"a", "1"}, {"b", ""}}},
      {"plain empty file", true, "", 0, {}},
      {"scrambled CR LF", false, Scramble("name=\xC9l\xE9onore\r\n1level=3=4\r\n=\r\n"), 0,
       {{"name", "\xC9l\xE9onore"}, {"1level", "3=4"}, {"", ""}}},
      {"scrambled lone CR", false, Scramble("a=1\rb=2"), 0, {{"a", "1"}, {"b", "2"}}},
      {"scrambled LF only is corrupt", false, Scramble("a=1\nb=2\n"), 1, kCorruptProfile},
      {"plain text in a scrambled store is corrupt", false, crlf, 7, {{"corrupt", "true"}, {"corruptplayer", "7"}}},
      {"scrambled empty file", false, "", 1, {}},
  };
  int n = 0;
  for (const Case& c : cases) {
    const fs::path file = dir / ("f" + std::to_string(++n) + ".cfg");
    WriteFile(file, c.bytes);
    EXPECT_EQ(LoadFile(file, c.plain, c.tag), c.expected) << c.label;
  }

  // Loading appends without looking keys up.
  tAssArray store;
  store.Plain = true;
  store.AddPair("a", "0");
  WriteFile(dir / "twice.txt", crlf);
  store.LoadFromFile((dir / "TWICE.TXT").string(), 0);
  store.LoadFromFile((dir / "twice.txt").string(), 0);
  EXPECT_EQ(store.Pairs.size(), 7u);
  EXPECT_EQ(store.Pairs[1].Value, "1");

  // Missing files add nothing and say nothing.
  EXPECT_TRUE(LoadFile(dir / "none.txt", true).empty());
  EXPECT_TRUE(LoadFile(dir / "none" / "x.cfg", false).empty());
  EXPECT_TRUE(LoadFile(dir / "f1.cfg" / "x.cfg", false).empty());
  EXPECT_EQ(Count(ReadFile(log), "tAssArray"), 0u);
}

TEST(AssArrayTest, AFolderInPlaceOfTheFileLoadsNothingAndWarns) {
  const auto log = game_test::UseFreshLog();
  const fs::path dir = NewFolder("store-folder");
  fs::create_directories(dir / "ZazoData.cfg");
  EXPECT_TRUE(LoadFile(dir / "zazodata.cfg", false).empty());
  const std::string text = ReadFile(log);
  EXPECT_EQ(Count(text, "Warning!"), 1u) << text;
  EXPECT_NE(text.find("zazodata.cfg"), std::string::npos) << text;
}

TEST(AssArrayTest, PlainModeByTheFlagOrByBothCodes) {
  const fs::path dir = NewFolder("store-mode");
  struct Case {
    bool plain;
    int32_t code1, code2;
    bool expectPlain;
  } cases[] = {
      {true, 0, 0, true},          {false, 29461, 83095, true}, {true, 1, 2, true},
      {false, 29461, 0, false},    {false, 83095, 29461, false}, {false, 0, 0, false},
  };
  for (const Case& c : cases) {
    tAssArray store;
    store.Plain = c.plain;
    store.ModeCode1 = c.code1;
    store.ModeCode2 = c.code2;
    EXPECT_EQ(store.IsPlainMode(), c.expectPlain);
    store.AddLine("k=v");
    const fs::path file = dir / "mode.cfg";
    store.SaveToFile(file.string());
    const std::string expected = c.expectPlain ? "k=v\r\n" : Scramble("k=v\r\n");
    EXPECT_EQ(ReadFile(file), expected) << c.code1 << " " << c.code2;
    store.Clear();
    store.LoadFromFile(file.string(), 0);
    EXPECT_EQ(PairsOf(store), (PairList{{"k", "v"}}));
  }
}

TEST(AssArrayTest, GroupsSplitTheProfileBetweenItsTwoFiles) {
  struct Case {
    std::string key;
    int32_t group;
  } groups[] = {{"", 0}, {"0", 0}, {"9x", 9}, {"a1", 0}, {"\xB9", 0}, {" 1", 0}, {"5", 5}};
  for (const Case& c : groups) EXPECT_EQ(tAssArray::GroupOfKey(c.key), c.group) << c.key;

  const fs::path dir = NewFolder("store-groups");
  tAssArray profile;
  for (const char* line : {"1a=1", "4b=4", "2c=2", "xd=letter", "0e=0", "=empty", "7f=7"}) profile.AddLine(line);
  profile.ExcludedKeys = {"xd", "1a"};  // not consulted by group saves
  profile.SkipExcluded = true;
  profile.SaveGroupToFile((dir / "ZazoData.cfg").string(), 0);
  profile.SaveGroupToFile((dir / "Profile.txt").string(), 1);
  EXPECT_EQ(LoadFile(dir / "ZazoData.cfg", false), (PairList{{"xd", "letter"}, {"0e", "0"}, {"", "empty"}}));
  EXPECT_EQ(LoadFile(dir / "Profile.txt", false), (PairList{{"1a", "1"}, {"4b", "4"}}));
  EXPECT_EQ(Entries(dir), (std::set<std::string>{"ZazoData.cfg", "Profile.txt"}));
}

TEST(AssArrayTest, ExcludedKeysStayOutOfTheParameterFile) {
  const fs::path dir = NewFolder("store-excluded");
  tAssArray params;
  params.Plain = true;
  params.ExcludedKeys = {"cheatmode", "HintRestorationTimeCheat", "SkipFirstMovie", "DebugMode",
                         "SkipRestorationExpertTime", "HintRestorationExpertTime", "SkipRestorationCasualTime",
                         "DetalizationMode", "HintRestorationCasualTime", "SkipRestorationTime",
                         "HintRestorationTime"};
  params.AddLine("DebugMode=true");
  params.AddLine("Fullscreen=false");
  params.AddLine("debugmode=kept, other case");
  const fs::path file = dir / "GameParams.txt";
  params.SaveToFile(file.string());
  EXPECT_EQ(ReadFile(file), "DebugMode=true\r\nFullscreen=false\r\ndebugmode=kept, other case\r\n");
  params.SkipExcluded = true;
  params.SaveToFile(file.string());
  EXPECT_EQ(ReadFile(file), "Fullscreen=false\r\ndebugmode=kept, other case\r\n");
  EXPECT_EQ(params.Pairs.size(), 3u);
}

TEST(AssArrayTest, ACorruptProfileFileIsKeptOnceThenReplaced) {
  const auto log = game_test::UseFreshLog();
  const fs::path dir = NewFolder("store-corrupt");
  const std::string damaged = Scramble("1level=3\n4bonus=yes\n");
  WriteFile(dir / "ZazoData.cfg", Scramble("name=Ann\r\n"));
  WriteFile(dir / "Profile.txt", damaged);

  tAssArray profile;
  profile.LoadFromFile((dir / "ZazoData.cfg").string(), 0);
  profile.LoadFromFile((dir / "PROFILE.TXT").string(), 1);
  const PairList loaded = {{"name", "Ann"}, {"corrupt", "true"}, {"corruptplayer", "1"}};
  ASSERT_EQ(PairsOf(profile), loaded);
  EXPECT_EQ(ReadFile(dir / "Profile.txt"), damaged);  // loading changes nothing on disk

  // The marks are keys of group 0, so they reach the other file.
  profile.SaveGroupToFile((dir / "ZazoData.cfg").string(), 0);
  profile.SaveGroupToFile((dir / "profile.txt").string(), 1);
  EXPECT_EQ(LoadFile(dir / "ZazoData.cfg", false), loaded);
  EXPECT_EQ(ReadFile(dir / "Profile.txt"), "");
  EXPECT_EQ(ReadFile(dir / "Profile.txt.corrupt"), damaged);
  // The log names both files, once.
  const std::string text = ReadFile(log);
  EXPECT_EQ(Count(text, "Warning!"), 1u) << text;
  EXPECT_NE(text.find((dir / "Profile.txt").string() + "\""), std::string::npos) << text;
  EXPECT_NE(text.find((dir / "Profile.txt.corrupt").string() + "\""), std::string::npos) << text;

  // Copied once: later saves leave the kept copy alone.
  profile.AddLine("1level=4");
  profile.SaveGroupToFile((dir / "Profile.txt").string(), 1);
  EXPECT_EQ(LoadFile(dir / "Profile.txt", false), (PairList{{"1level", "4"}}));
  EXPECT_EQ(ReadFile(dir / "Profile.txt.corrupt"), damaged);
  EXPECT_EQ(Entries(dir), (std::set<std::string>{"ZazoData.cfg", "Profile.txt", "Profile.txt.corrupt"}));

  // A later corruption gets a copy of its own: the first copy stays, and a link on the next
  // name is neither followed nor replaced.
  const fs::path outside = NewFolder("store-corrupt-outside") / "keep.txt";
  WriteFile(outside, "not the game's");
  fs::create_symlink(outside, dir / "Profile.txt.corrupt2");
  const std::string damagedAgain = Scramble("1level=5\n");
  WriteFile(dir / "Profile.txt", damagedAgain);
  tAssArray again;
  again.LoadFromFile((dir / "Profile.txt").string(), 1);
  again.SaveGroupToFile((dir / "Profile.txt").string(), 1);
  EXPECT_EQ(ReadFile(dir / "Profile.txt.corrupt"), damaged);
  EXPECT_EQ(ReadFile(outside), "not the game's");
  EXPECT_TRUE(fs::is_symlink(dir / "Profile.txt.corrupt2"));
  EXPECT_EQ(ReadFile(dir / "Profile.txt.corrupt3"), damagedAgain);
  EXPECT_NE(ReadFile(log).find((dir / "Profile.txt.corrupt3").string() + "\""), std::string::npos);
}

TEST(AssArrayTest, ControlBytesAreSavedAsBlanksWithOneWarning) {
  const auto log = game_test::UseFreshLog();
  const fs::path dir = NewFolder("store-control");
  const std::string badValue("a\r\nb\0c\x1F", 7);
  for (bool plain : {false, true}) {
    tAssArray store;
    store.Plain = plain;
    store.Pairs = {{"k\x01y", badValue}, {"tab", "x\ty"}, {"ok", "1"}, {"2", "\n"}};
    const auto before = PairsOf(store);
    const fs::path file = dir / (plain ? "plain.txt" : "scrambled.cfg");
    store.SaveToFile(file.string());
    EXPECT_EQ(PairsOf(store), before);  // memory keeps what it had
    const PairList expected = {{"k y", "a  b c "}, {"tab", "x\ty"}, {"ok", "1"}, {"2", " "}};
    EXPECT_EQ(LoadFile(file, plain), expected) << plain;
  }
  const std::string text = ReadFile(log);
  EXPECT_EQ(Count(text, "Warning!"), 2u) << text;
  EXPECT_EQ(Count(text, "scrambled.cfg"), 1u) << text;
  EXPECT_EQ(Count(text, "plain.txt"), 1u) << text;
  EXPECT_EQ(Count(text, "\"k y\""), 2u) << text;
}

TEST(AssArrayTest, ScrambledSavesReadBackIdentically) {
  const fs::path dir = NewFolder("store-roundtrip");
  tAssArray store;
  store.Pairs = {{"name", "\xC9l\xE9onore \xFF"}, {"", ""}, {"eq", "a=b=="}, {"\t", " \t "},
                 {"dup", "1"},  {"dup", "2"},  {"long", std::string(3000, '\x80')}};
  const fs::path file = dir / "ZazoData.cfg";
  store.SaveToFile(file.string());

  std::string text;
  for (const tAssPair& p : store.Pairs) text += p.Key + "=" + p.Value + "\r\n";
  EXPECT_EQ(ReadFile(file), Scramble(text));
  EXPECT_EQ(LoadFile(file, false), PairsOf(store));
  EXPECT_EQ(Entries(dir), (std::set<std::string>{"ZazoData.cfg"}));
}

TEST(AssArrayTest, SavesReplaceTheResolvedFileAndKeepItsMode) {
  const fs::path dir = NewFolder("store-replace");
  WriteFile(dir / "gameparams.txt", "old=1\r\n");
  chmod((dir / "gameparams.txt").c_str(), 0600);
  WriteFile(dir / "gameparams.txt.tmp", "a name anyone may use");
  tAssArray params;
  params.Plain = true;
  params.AddLine("Fullscreen=true");
  params.SaveToFile((dir / "GameParams.txt").string());
  EXPECT_EQ(Entries(dir), (std::set<std::string>{"gameparams.txt", "gameparams.txt.tmp"}));
  EXPECT_EQ(ReadFile(dir / "gameparams.txt.tmp"), "a name anyone may use");
  EXPECT_EQ(ReadFile(dir / "gameparams.txt"), "Fullscreen=true\r\n");
  struct stat st {};
  stat((dir / "gameparams.txt").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(AssArrayTest, FailedSavesRaiseOrAreLoggedAndKeepTheOldFile) {
  const auto log = game_test::UseFreshLog();
  const fs::path dir = NewFolder("store-fail");
  tAssArray store;
  store.AddLine("big=" + std::string(1 << 18, 'b'));

  const std::string missing = (dir / "none" / "ZazoData.cfg").string();
  EXPECT_THROW(store.SaveToFile(missing), rtl::EInOutError);
  EXPECT_NO_THROW(store.SaveGroupToFile(missing, 0));

  const std::string old = Scramble("name=Ann\r\n");
  WriteFile(dir / "ZazoData.cfg", old);
  signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limit = saved;
  limit.rlim_cur = 1 << 16;  // a full disk, as far as this write can tell (the log stays smaller)
  setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_NO_THROW(store.SaveGroupToFile((dir / "zazodata.cfg").string(), 0));
  EXPECT_THROW(store.SaveToFile((dir / "ZazoData.cfg").string()), rtl::EInOutError);
  setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(ReadFile(dir / "ZazoData.cfg"), old);
  EXPECT_EQ(Entries(dir), (std::set<std::string>{"ZazoData.cfg"}));

  const std::string text = ReadFile(log);
  EXPECT_EQ(Count(text, "ERROR !!!"), 2u) << text;
  EXPECT_EQ(Count(text, "tAssArray.SaveGroupToFile"), 2u) << text;
  EXPECT_NE(text.find(missing), std::string::npos) << text;
  EXPECT_NE(text.find("zazodata.cfg"), std::string::npos) << text;
}
