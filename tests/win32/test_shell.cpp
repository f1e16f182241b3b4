// Shell open: what is opened (through the capture seam, so nothing starts) and what is refused,
// and the documents folder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/win32/win32.h"

using namespace platform::win32;
namespace fs = std::filesystem;
namespace w32 = platform::win32;

namespace {

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    w32::testing::CaptureShellOpen(true);
    w32::testing::ClearShellOpened();
    SetLogSink([this](int level, const std::string& text) {
      if (level == kLogWarning) warnings.push_back(text);
    });
    dir = fs::temp_directory_path() / ("win32-shell-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    saved = fs::current_path();
    fs::current_path(dir);
    std::ofstream("Link.url") << "[InternetShortcut]\r\nURL=http://example.org/game\r\n";
    std::ofstream("bad.url") << "[InternetShortcut]\r\nURL=file:///bin/sh\r\n";
    std::ofstream("manual.txt") << "read me";
    std::ofstream("run.desktop") << "[Desktop Entry]\nExec=sh\n";
    std::ofstream("tool") << "#!/bin/sh\n";
    chmod("tool", 0755);
  }
  void TearDown() override {
    fs::current_path(saved);
    fs::remove_all(dir);
    SetLogSink(nullptr);
    w32::testing::CaptureShellOpen(false);
  }

  bool Open(const char* text, const char* verb = nullptr, const char* params = nullptr) {
    return reinterpret_cast<intptr_t>(ShellExecuteA(nullptr, verb, text, params, nullptr, 1)) > 32;
  }

  fs::path dir, saved;
  std::vector<std::string> warnings;
};

}  // namespace

TEST_F(ShellTest, LinksShortcutsAndDocumentsAreOpened) {
  struct Case {
    const char* text;
    std::string opened;
  };
  const Case cases[] = {
      {"http://example.org", "http://example.org"},
      {"HTTPS://example.org/a?b=c d", "HTTPS://example.org/a?b=c d"},  // one argument, spaces and all
      {"mailto:someone@example.org", "mailto:someone@example.org"},
      {"Link.url", "http://example.org/game"},
      {"LINK.URL", "http://example.org/game"},  // found ignoring case
      {"manual.txt", (dir / "manual.txt").string()},
  };
  for (const Case& c : cases) {
    w32::testing::ClearShellOpened();
    EXPECT_TRUE(Open(c.text, "open")) << c.text;
    ASSERT_EQ(w32::testing::ShellOpened().size(), 1u) << c.text;
    EXPECT_EQ(w32::testing::ShellOpened()[0], c.opened);
  }
  EXPECT_TRUE(warnings.empty());
}

TEST_F(ShellTest, ProgramsAndEverythingElseAreRefused) {
  const char* refused[] = {"rm -rf ~", "/bin/sh", "-x", "--help", "tool", "run.desktop", "bad.url",
                           "file:///etc/passwd", "javascript:alert(1)", "http://", "",
                           "http://example.org\nrm", "missing.txt", "."};
  for (const char* text : refused) {
    warnings.clear();
    EXPECT_FALSE(Open(text)) << text;
    EXPECT_EQ(warnings.size(), 1u) << text;
  }
  EXPECT_FALSE(Open("http://example.org", "runas"));
  EXPECT_FALSE(Open("http://example.org", "open", "--new-window"));
  EXPECT_FALSE(Open(nullptr));
  EXPECT_TRUE(w32::testing::ShellOpened().empty());
}

TEST_F(ShellTest, DocumentsFolderComesFromTheXdgSettings) {
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  setenv("HOME", dir.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  EXPECT_EQ(DocumentsFolder(), (dir / "Documents").string());
  fs::create_directories(dir / "config");
  std::ofstream(dir / "config" / "user-dirs.dirs") << "# set by the desktop\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n";
  EXPECT_EQ(DocumentsFolder(), (dir / "Dokumente").string());

  ITEMIDLIST* list = nullptr;
  ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, &list), S_OK);
  char path[MAX_PATH];
  ASSERT_TRUE(SHGetPathFromIDListA(list, path));
  EXPECT_EQ(std::string(path), (dir / "Dokumente").string());
  CoTaskMemFree(list);
  EXPECT_NE(SHGetSpecialFolderLocation(nullptr, 0x27, &list), S_OK);

  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", savedHome.c_str(), 1);
}
