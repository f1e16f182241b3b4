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

bool WriteWholeFileAtomic(const std::string& windowsPath, std::string_view bytes) {
  if (windowsPath.empty()) return Fail(ENOENT);
  std::string target = MapPath(windowsPath);
  if (!target.empty() && target.back() == '/') return Fail(EISDIR);

  // A link is kept as a link: the file it points to is the one replaced.
  struct stat st {};
  bool existed = lstat(target.c_str(), &st) == 0;
  if (existed && S_ISLNK(st.st_mode)) {
    char* real = realpath(target.c_str(), nullptr);
    if (real != nullptr) {
      target = real;
      std::free(real);
    }
    existed = stat(target.c_str(), &st) == 0;
  }
  if (existed && S_ISDIR(st.st_mode)) return Fail(EISDIR);

  const std::string folder = FolderOf(target);
  static std::atomic<unsigned> counter{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    std::string name = target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1);
    temp = Join(folder == "." ? std::string() : folder,
                "." + name + "." + std::to_string(getpid()) + "." + std::to_string(counter++) + ".tmp");
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return Fail(errno == ENOENT ? ENOTDIR : errno);
  }
  if (fd < 0) return Fail(EEXIST);

  bool ok = WriteAll(fd, bytes);
  int err = errno;
  if (ok && existed) (void)fchmod(fd, st.st_mode & 07777);
  if (ok && fsync(fd) != 0) {
    ok = false;
    err = errno;
  }
  if (close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    return Fail(err);
  }
  int dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    (void)fsync(dirFd);
    close(dirFd);
  }
  return true;
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
