// Windows path texts onto the Linux file system, the file calls, and the runtime's file layer.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/win32/win32.h"
#include "runtime/Errors.h"
#include "runtime/Files.h"
#include "win32_system/TempDir.h"

using namespace platform::win32;

namespace {

std::size_t EntryCount(const std::string& folder) {
  std::size_t n = 0;
  for (auto it = std::filesystem::directory_iterator(folder); it != std::filesystem::directory_iterator(); ++it) ++n;
  return n;
}

// Lowers the largest file size the process may write, so that a write fails part-way as on a
// full disk.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) {
    signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }

private:
  rlimit old_{};
};

}  // namespace

TEST(MapPath, FindsFilesWrittenWithWindowsPathTexts) {
  TempDir dir;
  dir.Write("data/sounds/a.ogg", "x");
  dir.Write("Gfx/Textures/B.png", "x");
  dir.Write("x/README", "x");
  dir.Write("x/Readme", "x");
  const std::string& b = dir.path();

  struct Case {
    std::string windows;
    std::string posix;
  } cases[] = {
      {b + "\\data\\sounds\\a.OGG", b + "/data/sounds/a.ogg"},
      {b + "\\DATA\\Sounds\\A.ogg", b + "/data/sounds/a.ogg"},
      {"C:" + b + "\\\\data//sounds\\\\\\a.ogg", b + "/data/sounds/a.ogg"},
      {"d:" + b + "/gfx/textures/b.PNG", b + "/Gfx/Textures/B.png"},
      {b + "/\\Data\\Sounds\\a.ogg", b + "/data/sounds/a.ogg"},  // a POSIX folder joined with "\"
      {b + "\\gfx\\TEXTURES\\", b + "/Gfx/Textures/"},
      {b + "\\data\\sounds\\New.txt", b + "/data/sounds/New.txt"},     // missing: kept as written
      {b + "\\data\\Missing\\Sub\\F.txt", b + "/data/Missing/Sub/F.txt"},
      {b + "\\GFX\\.\\..\\Data\\sounds\\a.ogg", b + "/Gfx/./../data/sounds/a.ogg"},
      {b + "\\x\\Readme", b + "/x/Readme"},  // the exact name wins
      {b + "\\x\\readme", b + "/x/README"},  // several case matches: the smallest name
      {"C:\\", "/"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(MapPath(c.windows), c.posix) << c.windows;
}

TEST(MapPath, RelativePathsStayRelativeToTheCurrentFolder) {
  TempDir dir;
  dir.Write("data/sounds/a.ogg", "x");
  const std::string before = rtl::GetCurrentDir();
  ASSERT_TRUE(rtl::SetCurrentDir(dir.path()));
  EXPECT_EQ(MapPath("data\\Sounds\\A.OGG"), "data/sounds/a.ogg");
  EXPECT_EQ(MapPath(".\\DATA\\\\sounds\\"), "./data/sounds/");
  EXPECT_TRUE(rtl::FileExists("Data\\Sounds\\a.ogg"));
  ASSERT_TRUE(rtl::SetCurrentDir(before));
}

TEST(Win32Files, AttributesAndErrors) {
  TempDir dir;
  dir.Write("f.txt", "x");
  dir.Write("ro.txt", "x");
  chmod((dir / "ro.txt").c_str(), 0444);

  EXPECT_EQ(GetFileAttributesA(dir.path().c_str()), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA((dir / "F.TXT").c_str()), FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(GetFileAttributesA((dir / "ro.txt").c_str()), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(GetFileAttributesA((dir / "none.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA(""), INVALID_FILE_ATTRIBUTES);

  EXPECT_TRUE(CreateDirectoryA((dir / "Sub").c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryA((dir / "sub").c_str(), nullptr));  // found ignoring case
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectoryA((dir / "no/such").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  EXPECT_FALSE(DeleteFileA((dir / "Sub").c_str()));  // a folder is not a file
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(DeleteFileA((dir / "F.txt").c_str()));
  EXPECT_FALSE(DeleteFileA((dir / "f.txt").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(Win32Files, CopyAndMove) {
  TempDir dir;
  dir.Write("a.txt", "first");
  dir.Write("b.txt", "second");

  EXPECT_FALSE(CopyFileA((dir / "a.txt").c_str(), (dir / "B.TXT").c_str(), TRUE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(dir.Read("b.txt"), "second");
  EXPECT_TRUE(CopyFileA((dir / "A.TXT").c_str(), (dir / "B.TXT").c_str(), FALSE));
  EXPECT_EQ(dir.Read("b.txt"), "first");
  EXPECT_FALSE(CopyFileA((dir / "none").c_str(), (dir / "c.txt").c_str(), FALSE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  dir.Write("c.txt", "third");
  EXPECT_FALSE(MoveFileExA((dir / "c.txt").c_str(), (dir / "a.txt").c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(MoveFileExA((dir / "c.txt").c_str(), (dir / "A.txt").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(dir.Read("a.txt"), "third");
  EXPECT_FALSE(std::filesystem::exists(dir / "c.txt"));
  EXPECT_TRUE(MoveFileExA((dir / "a.txt").c_str(), (dir / "d.txt").c_str(), 0));
  EXPECT_EQ(dir.Read("d.txt"), "third");
}

TEST(Win32Files, WholeFileHelpers) {
  TempDir dir;
  std::string bytes;
  EXPECT_FALSE(ReadWholeFile(dir / "none.bin", bytes));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(ReadWholeFile(dir.path(), bytes));  // a folder

  EXPECT_TRUE(AppendToFile(dir / "log.txt", "one\r\n"));
  EXPECT_TRUE(AppendToFile(dir / "LOG.TXT", std::string("two\0\r\n", 6)));
  ASSERT_TRUE(ReadWholeFile(dir / "Log.Txt", bytes));
  EXPECT_EQ(bytes, std::string("one\r\ntwo\0\r\n", 11));
  EXPECT_FALSE(AppendToFile(dir / "no\\such\\log.txt", "x"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  EXPECT_TRUE(ReplaceWholeFile(dir / "w.txt", "new"));
  EXPECT_TRUE(ReplaceWholeFile(dir / "W.txt", "newer"));
  EXPECT_EQ(dir.Read("w.txt"), "newer");
  EXPECT_FALSE(ReplaceWholeFile(dir / "no\\such\\w.txt", "x"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(EntryCount(dir.path()), 2u);  // no temporary files left behind
}

TEST(Win32Files, FailedWriteKeepsTheOldFileWhole) {
  TempDir dir;
  dir.Write("save.txt", "the old content");
  chmod((dir / "save.txt").c_str(), 0640);
  {
    FileSizeLimit limit(1000);
    EXPECT_FALSE(ReplaceWholeFile(dir / "SAVE.TXT", std::string(5000, 'n')));
    EXPECT_NE(GetLastError(), ERROR_SUCCESS);
  }
  EXPECT_EQ(dir.Read("save.txt"), "the old content");
  EXPECT_EQ(EntryCount(dir.path()), 1u);

  EXPECT_TRUE(ReplaceWholeFile(dir / "save.txt", "replaced"));
  EXPECT_EQ(dir.Read("save.txt"), "replaced");
  struct stat st {};
  stat((dir / "save.txt").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);  // the replaced file keeps its permissions
}

TEST(Win32Files, WriteThroughALinkReplacesItsTarget) {
  TempDir dir;
  dir.Write("real.txt", "old");
  std::filesystem::create_symlink(dir / "real.txt", dir / "link.txt");
  EXPECT_TRUE(ReplaceWholeFile(dir / "link.txt", "new"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.txt"));
  EXPECT_EQ(dir.Read("real.txt"), "new");
}

TEST(RuntimeFiles, QueriesAndWholeFileOperations) {
  TempDir dir;
  dir.Write("Data/f.txt", "abc");
  EXPECT_TRUE(rtl::FileExists(dir.path() + "\\data\\F.TXT"));
  EXPECT_FALSE(rtl::FileExists(dir.path() + "\\data"));
  EXPECT_TRUE(rtl::DirectoryExists(dir.path() + "\\DATA\\"));
  EXPECT_FALSE(rtl::DirectoryExists(dir.path() + "\\data\\f.txt"));

  EXPECT_TRUE(rtl::ForceDirectories(dir.path() + "\\data\\A\\b\\\\C\\"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "Data/A/b/C"));
  EXPECT_TRUE(rtl::ForceDirectories(dir.path() + "\\DATA\\a"));  // already there
  EXPECT_FALSE(rtl::ForceDirectories(dir.path() + "\\data\\f.txt\\sub"));

  EXPECT_EQ(rtl::ReadFileBytes(dir.path() + "\\data\\f.txt"), "abc");
  rtl::AppendFileBytes(dir.path() + "\\data\\f.txt", "def");
  EXPECT_EQ(rtl::ReadFileBytes(dir.path() + "\\data\\F.txt"), "abcdef");
  rtl::WriteFileBytes(dir.path() + "\\data\\g.txt", "g");
  EXPECT_EQ(dir.Read("Data/g.txt"), "g");
  EXPECT_TRUE(rtl::CopyFile(dir.path() + "\\data\\g.txt", dir.path() + "\\data\\h.txt", true));
  EXPECT_FALSE(rtl::CopyFile(dir.path() + "\\data\\g.txt", dir.path() + "\\data\\h.txt", true));
  EXPECT_TRUE(rtl::RenameFile(dir.path() + "\\data\\h.txt", dir.path() + "\\data\\i.txt"));
  EXPECT_TRUE(rtl::DeleteFile(dir.path() + "\\data\\I.TXT"));
  EXPECT_FALSE(rtl::DeleteFile(dir.path() + "\\data\\i.txt"));

  try {
    rtl::ReadFileBytes(dir.path() + "\\none.txt");
    FAIL() << "no error raised";
  } catch (const rtl::EInOutError& e) {
    EXPECT_EQ(e.Code, 2);
  }
  EXPECT_THROW(rtl::WriteFileBytes(dir.path() + "\\no\\such\\x.txt", "x"), rtl::EInOutError);
  EXPECT_THROW(rtl::AppendFileBytes(dir.path() + "\\no\\such\\x.txt", "x"), rtl::EInOutError);
}

TEST(RuntimeFiles, PathTexts) {
  struct Case {
    std::string path, folder, name, ext;
  } cases[] = {
      {"data\\Textures\\a.png", "data\\Textures\\", "a.png", ".png"},
      {"C:\\x.y\\file", "C:\\x.y\\", "file", ""},
      {"/home/u/game/Log.txt", "/home/u/game/", "Log.txt", ".txt"},
      {"C:name.tar.gz", "C:", "name.tar.gz", ".gz"},
      {"folder\\", "folder\\", "", ""},
      {"", "", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rtl::ExtractFilePath(c.path), c.folder) << c.path;
    EXPECT_EQ(rtl::ExtractFileName(c.path), c.name) << c.path;
    EXPECT_EQ(rtl::ExtractFileExt(c.path), c.ext) << c.path;
  }
  EXPECT_EQ(rtl::ChangeFileExt("a.b\\c.txt", ".log"), "a.b\\c.log");
  EXPECT_EQ(rtl::ChangeFileExt("a.b\\c", ".log"), "a.b\\c.log");
  EXPECT_EQ(rtl::ChangeFileExt("c.txt", ""), "c");
  EXPECT_EQ(rtl::IncludeTrailingBackslash("a"), "a\\");
  EXPECT_EQ(rtl::IncludeTrailingBackslash("a\\"), "a\\");
  EXPECT_EQ(rtl::IncludeTrailingBackslash("/a/"), "/a/");
  EXPECT_EQ(rtl::ExcludeTrailingBackslash("a\\"), "a");
  EXPECT_EQ(rtl::ExcludeTrailingBackslash("a"), "a");
}
