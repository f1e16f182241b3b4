// Folder listing with Windows wildcards and attribute bits, and the environment.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/win32/win32.h"

using namespace platform::win32;
namespace fs = std::filesystem;

namespace {

class FolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("win32-find-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "Splash" / "Sub");
    for (const char* name : {"title1024x768.PNG", "b1024x768.jpg", "c800x600.png", "noext",
                             "a.png.txt", "Locked.txt"})
      std::ofstream(root / "Splash" / name) << "x";
    chmod((root / "Splash" / "Locked.txt").c_str(), 0444);
  }
  void TearDown() override { fs::remove_all(root); }

  // Names and attributes of a listing, in the order handed out.
  std::vector<std::pair<std::string, DWORD>> List(const std::string& pattern) {
    std::vector<std::pair<std::string, DWORD>> out;
    WIN32_FIND_DATAA d;
    HANDLE h = FindFirstFileA(pattern.c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return out;
    do out.push_back({d.cFileName, d.dwFileAttributes});
    while (FindNextFileA(h, &d));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(h));
    return out;
  }

  fs::path root;
};

}  // namespace

TEST(Wildcard, MatchesAsWindowsDoes) {
  struct Case {
    const char* name;
    const char* pattern;
    bool match;
  };
  const Case cases[] = {
      {"title1024x768.png", "*1024x768.*", true}, {"TITLE1024X768.PNG", "*1024x768.*", true},
      {"title1024x768", "*1024x768.*", true},     {"title800x600.png", "*1024x768.*", false},
      {"noext", "*.*", true},                     {"a.b.c", "*.*", true},
      {"a.lua", "*.lua", true},                   {"a.luac", "*.lua", false},
      {"abc", "a?c", true},                       {"ac", "a?c", false},
      {"", "*", true},
  };
  for (const Case& c : cases) EXPECT_EQ(MatchesWildcard(c.name, c.pattern), c.match) << c.name << " " << c.pattern;
}

TEST_F(FolderTest, PatternSelectsInFixedOrderWithWindowsAttributes) {
  const std::string folder = root.string() + "\\splash\\";  // the case of the folder does not matter
  const auto splash = List(folder + "*1024x768.*");
  ASSERT_EQ(splash.size(), 2u);
  EXPECT_EQ(splash[0].first, "b1024x768.jpg");
  EXPECT_EQ(splash[1].first, "title1024x768.PNG");
  EXPECT_EQ(splash[0].second, FILE_ATTRIBUTE_ARCHIVE);

  const auto all = List(folder + "*.*");
  std::vector<std::string> names;
  for (auto& [n, a] : all) names.push_back(n);
  const std::vector<std::string> expected = {".",     "..",     "a.png.txt", "b1024x768.jpg", "c800x600.png",
                                             "Locked.txt", "noext", "Sub", "title1024x768.PNG"};
  EXPECT_EQ(names, expected);
  for (auto& [n, a] : all) {
    EXPECT_NE(a, 0u) << n;
    if (n == "Sub" || n == "." || n == "..") {
      EXPECT_EQ(a, FILE_ATTRIBUTE_DIRECTORY) << n;
    }
  }
  // No write bits: read-only, also for a user (such as root) who could write it anyway.
  EXPECT_EQ(all[5].second, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
}

TEST_F(FolderTest, NothingFoundIsReportedAsWindowsDoes) {
  WIN32_FIND_DATAA d;
  EXPECT_EQ(FindFirstFileA((root.string() + "/Splash/*.bmp").c_str(), &d), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(FindFirstFileA((root.string() + "/History/*.*").c_str(), &d), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(FindFirstFileA(nullptr, &d), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(FindNextFileA(reinterpret_cast<HANDLE>(12345), &d));
  EXPECT_FALSE(FindClose(reinterpret_cast<HANDLE>(12345)));
}

TEST(Environment, AppDataAndLongValues) {
  const std::string longValue(5000, 'x');
  setenv("QUORREL_TEST_LONG", longValue.c_str(), 1);
  EXPECT_EQ(GetEnvironmentText("QUORREL_TEST_LONG"), longValue);  // no 255-character cut
  EXPECT_EQ(GetEnvironmentText("quorrel_test_long"), longValue);  // names ignore case
  char small[16];
  EXPECT_EQ(GetEnvironmentVariableA("QUORREL_TEST_LONG", small, sizeof small), 5001u);
  unsetenv("QUORREL_TEST_LONG");
  EXPECT_EQ(GetEnvironmentVariableA("QUORREL_TEST_LONG", small, sizeof small), 0u);
  EXPECT_EQ(GetLastError(), ERROR_ENVVAR_NOT_FOUND);

  const char* saved = std::getenv("APPDATA");
  const std::string savedAppData = saved ? saved : "";
  const char* savedXdg = std::getenv("XDG_DATA_HOME");
  const std::string savedXdgText = savedXdg ? savedXdg : "";
  setenv("APPDATA", "/tmp/appdata", 1);
  EXPECT_EQ(GetEnvironmentText("APPDATA"), "/tmp/appdata");
  unsetenv("APPDATA");
  setenv("XDG_DATA_HOME", "/tmp/xdg-data", 1);
  EXPECT_EQ(GetEnvironmentText("APPDATA"), "/tmp/xdg-data");
  unsetenv("XDG_DATA_HOME");
  setenv("HOME", std::getenv("HOME") ? std::getenv("HOME") : "/root", 1);
  EXPECT_EQ(GetEnvironmentText("APPDATA"), std::string(std::getenv("HOME")) + "/.local/share");
  if (saved) setenv("APPDATA", savedAppData.c_str(), 1);
  if (savedXdg) setenv("XDG_DATA_HOME", savedXdgText.c_str(), 1);
}
