// Windows path texts mapped onto POSIX files, and the file calls of the win32 stand-in.
#include "platform/win32/win32_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/win32/win32_system.h"

namespace platform::win32 {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool EqualIgnoringCase(const char* a, const std::string& b) {
  return std::strlen(a) == b.size() && strncasecmp(a, b.c_str(), b.size()) == 0;
}

// The entry of Folder whose name equals Name ignoring ASCII case; the smallest such name when
// several differ only in case, so that the choice does not depend on the directory order.
bool FindIgnoringCase(const std::string& folder, const std::string& name, std::string& found) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return false;
  bool any = false;
  while (dirent* entry = readdir(dir)) {
    if (EqualIgnoringCase(entry->d_name, name) && (!any || found.compare(entry->d_name) > 0)) {
      found = entry->d_name;
      any = true;
    }
  }
  closedir(dir);
  return any;
}

bool Fail(int err) {
  SetLastError(ErrorFromErrno(err));
  return false;
}

BOOL FailBool(int err) {
  SetLastError(ErrorFromErrno(err));
  return FALSE;
}

bool WriteAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& posixPath) {
  std::size_t slash = posixPath.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return posixPath.substr(0, slash);
}

bool Exists(const std::string& posixPath) {
  struct stat st {};
  return lstat(posixPath.c_str(), &st) == 0;
}

}  // namespace

std::string MapPath(const std::string& windowsPath) {
  std::string text = windowsPath;
  if (text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':') text.erase(0, 2);
  if (text.empty()) return {};

  const bool absolute = IsSeparator(text.front());
  const bool trailing = IsSeparator(text.back());
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = i;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    if (end > i) parts.push_back(text.substr(i, end - i));
    i = end + 1;
  }

  std::string result = absolute ? "/" : "";
  bool lookUp = true;  // off once a component is missing: nothing below it can exist
  for (const std::string& part : parts) {
    std::string candidate = Join(result, part);
    if (lookUp && part != "." && part != ".." && !Exists(candidate)) {
      std::string found;
      if (FindIgnoringCase(result, part, found)) {
        candidate = Join(result, found);
      } else {
        lookUp = false;
      }
    }
    result = std::move(candidate);
  }
  if (trailing && !parts.empty()) result += '/';
  return result;
}

DWORD GetFileAttributesA(const char* path) {
  if (path == nullptr || *path == '\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  struct stat st {};
  if (stat(MapPath(path).c_str(), &st) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}

BOOL CreateDirectoryA(const char* path, SECURITY_ATTRIBUTES* security) {
  (void)security;
  if (path == nullptr || *path == '\0') return FailBool(ENOENT);
  if (mkdir(MapPath(path).c_str(), 0777) != 0) {
    if (errno == ENOENT) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return FALSE;
    }
    return FailBool(errno);
  }
  return TRUE;
}

BOOL DeleteFileA(const char* path) {
  if (path == nullptr || *path == '\0') return FailBool(ENOENT);
  std::string target = MapPath(path);
  struct stat st {};
  if (lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return FailBool(EACCES);
  if (unlink(target.c_str()) != 0) return FailBool(errno);
  return TRUE;
}

BOOL CopyFileA(const char* from, const char* to, BOOL failIfExists) {
  if (from == nullptr || to == nullptr) return FailBool(EINVAL);
  std::string bytes;
  if (!ReadWholeFile(from, bytes)) return FALSE;
  if (failIfExists && Exists(MapPath(to))) {
    SetLastError(ERROR_FILE_EXISTS);
    return FALSE;
  }
  return WriteWholeFileAtomic(to, bytes) ? TRUE : FALSE;
}

BOOL MoveFileExA(const char* from, const char* to, DWORD flags) {
  if (from == nullptr || to == nullptr) return FailBool(EINVAL);
  std::string source = MapPath(from);
  std::string target = MapPath(to);
  if (!Exists(source)) return FailBool(ENOENT);
  if ((flags & MOVEFILE_REPLACE_EXISTING) == 0 && Exists(target)) return FailBool(EEXIST);
  if (rename(source.c_str(), target.c_str()) == 0) return TRUE;
  if (errno == EXDEV && (flags & MOVEFILE_COPY_ALLOWED) != 0) {
    std::string bytes;
    if (!ReadWholeFile(source, bytes) || !WriteWholeFileAtomic(target, bytes)) return FALSE;
    if (unlink(source.c_str()) != 0) return FailBool(errno);
    return TRUE;
  }
  return FailBool(errno);
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, char* buffer) {
  char* cwd = getcwd(nullptr, 0);
  if (cwd == nullptr) {
    SetLastError(ErrorFromErrno(errno));
    return 0;
  }
  std::string text = cwd;
  std::free(cwd);
  if (buffer == nullptr || text.size() + 1 > bufferLength) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

BOOL SetCurrentDirectoryA(const char* path) {
  if (path == nullptr || *path == '\0') return FailBool(ENOENT);
  if (chdir(MapPath(path).c_str()) != 0) return FailBool(errno);
  return TRUE;
}

bool ReadWholeFile(const std::string& windowsPath, std::string& bytes) {
  bytes.clear();
  if (windowsPath.empty()) return Fail(ENOENT);
  int fd = open(MapPath(windowsPath).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Fail(errno);
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    return Fail(EACCES);
  }
  if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      close(fd);
      bytes.clear();
      SetLastError(ERROR_READ_FAULT);
      return false;
    }
    if (n == 0) break;
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  close(fd);
  return true;
}

namespace {

// The file a whole-file write replaces: the name MapPath resolved, or the file a link there
// points to (a link is kept as a link), and what it was before the write.
struct WriteTarget {
  std::string path;
  std::string folder;
  bool existed = false;
  struct stat st {};
};

bool ResolveWriteTarget(const std::string& windowsPath, WriteTarget& t) {
  if (windowsPath.empty()) return Fail(ENOENT);
  t.path = MapPath(windowsPath);
  if (!t.path.empty() && t.path.back() == '/') return Fail(EISDIR);
  t.existed = lstat(t.path.c_str(), &t.st) == 0;
  if (t.existed && S_ISLNK(t.st.st_mode)) {
    char* real = realpath(t.path.c_str(), nullptr);
    if (real != nullptr) {
      t.path = real;
      std::free(real);
    }
    t.existed = stat(t.path.c_str(), &t.st) == 0;
  }
  if (t.existed && S_ISDIR(t.st.st_mode)) return Fail(EISDIR);
  t.folder = FolderOf(t.path);
  return true;
}

std::string NameOf(const std::string& posixPath) {
  std::size_t slash = posixPath.rfind('/');
  return slash == std::string::npos ? posixPath : posixPath.substr(slash + 1);
}

std::string Beside(const WriteTarget& t, const std::string& name) {
  return Join(t.folder == "." ? std::string() : t.folder, name);
}

// Writes the bytes to a new temporary file, gives it the old file's owner and mode, syncs and
// closes it. Returns 0 or the errno of the failure; the descriptor is closed either way.
int FillTemporary(int fd, std::string_view bytes, const WriteTarget& t) {
  int err = WriteAll(fd, bytes) ? 0 : errno;
  if (err == 0 && t.existed) {
    // Ownership first: changing it may clear set-id bits that the mode then restores.
    (void)fchown(fd, t.st.st_uid, t.st.st_gid);
    (void)fchmod(fd, t.st.st_mode & 07777);
  }
  if (err == 0 && fsync(fd) != 0) err = errno;
  if (close(fd) != 0 && err == 0) err = errno;
  return err;
}

// Renames the finished temporary over the target and makes the rename itself durable; on any
// failure the temporary is removed and the old file stays as it was.
bool CommitTemporary(int fd, const std::string& temp, std::string_view bytes, const WriteTarget& t) {
  int err = FillTemporary(fd, bytes, t);
  if (err == 0 && rename(temp.c_str(), t.path.c_str()) != 0) err = errno;
  if (err != 0) {
    unlink(temp.c_str());
    return Fail(err);
  }
  int dirFd = open(t.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    (void)fsync(dirFd);
    close(dirFd);
  }
  return true;
}

// The last resort where the folder takes no new file: the target is overwritten where it
// stands. Bytes past the new end go only after the new ones are written, so a write refused
// at its start still leaves the old file whole.
bool WriteInPlace(std::string_view bytes, const WriteTarget& t) {
  int fd = open(t.path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return Fail(errno);
  int err = WriteAll(fd, bytes) ? 0 : errno;
  if (err == 0 && ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) err = errno;
  if (err == 0 && fsync(fd) != 0) err = errno;
  if (close(fd) != 0 && err == 0) err = errno;
  if (err != 0) return Fail(err);
  return true;
}

}  // namespace

bool WriteWholeFileAtomic(const std::string& windowsPath, std::string_view bytes) {
  WriteTarget t;
  if (!ResolveWriteTarget(windowsPath, t)) return false;

  static std::atomic<unsigned> counter{0};
  const std::string name = NameOf(t.path);
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = Beside(t, "." + name + "." + std::to_string(getpid()) + "." + std::to_string(counter++) + ".tmp");
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return Fail(errno == ENOENT ? ENOTDIR : errno);
  }
  if (fd < 0) return Fail(EEXIST);
  return CommitTemporary(fd, temp, bytes, t);
}

bool ReplaceWholeFile(const std::string& windowsPath, std::string_view bytes) {
  WriteTarget t;
  if (!ResolveWriteTarget(windowsPath, t)) return false;
  // Renaming over a file needs only the folder's permission; a file that is read-only, or that
  // this user may not write, keeps its bytes.
  if (t.existed && ((t.st.st_mode & S_IWUSR) == 0 || faccessat(AT_FDCWD, t.path.c_str(), W_OK, AT_EACCESS) != 0)) {
    return Fail(EACCES);
  }

  // A leftover of an interrupted write is removed, not written through: it may be a link or a
  // second name of some other file.
  const std::string temp = Beside(t, NameOf(t.path) + ".tmp");
  (void)unlink(temp.c_str());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) return CommitTemporary(fd, temp, bytes, t);

  const int err = errno;
  // No new file can be made here (a read-only or foreign folder, or a folder squatting on the
  // temporary's name), but the target itself may still take the bytes.
  const bool noNewFile = err == EACCES || err == EPERM || err == EROFS || err == EEXIST;
  if (noNewFile && t.existed) return WriteInPlace(bytes, t);
  return Fail(err == ENOENT ? ENOTDIR : err);
}

bool AppendToFile(const std::string& windowsPath, std::string_view bytes) {
  if (windowsPath.empty()) return Fail(ENOENT);
  std::string target = MapPath(windowsPath);
  int fd = open(target.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return Fail(errno == ENOENT ? ENOTDIR : errno);
  bool ok = WriteAll(fd, bytes);
  int err = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (!ok) return Fail(err);
  return true;
}

}  // namespace platform::win32
