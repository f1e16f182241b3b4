// Windows path texts mapped onto POSIX files, and the file calls of the win32 stand-in.
#include "platform/win32/win32_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>
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

// A reader that leaves a pipe (a FIFO, the log's or standard error's) fails the write with EPIPE,
// reported as any failure is, instead of ending the game. Programs this one starts get the
// default back (see ShellExecuteA).
[[maybe_unused]] const bool pipeSignalIgnored = [] {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  return sigaction(SIGPIPE, &action, nullptr) == 0;
}();

// How long a write through a pipe or device waits for its reader to take more bytes.
constexpr int kThroughLimitMs = 3000;

// All the bytes, from the file's position, or from At where it is given.
bool WriteAll(int fd, std::string_view bytes, off_t at = -1) {
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = at < 0 ? write(fd, p, left) : pwrite(fd, p, left, at);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    p += n;
    if (at >= 0) at += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// WriteAll for a descriptor opened non-blocking (a FIFO, a device): fails with ETIMEDOUT once
// the reader has taken nothing for kThroughLimitMs, so that one that never reads cannot hold
// the game, while one that reads slowly gets everything.
bool WriteAllWithin(int fd, std::string_view bytes) {
  const auto limit = std::chrono::milliseconds(kThroughLimitMs);
  auto deadline = std::chrono::steady_clock::now() + limit;
  const char* p = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (wait.count() <= 0) {
        errno = ETIMEDOUT;
        return false;
      }
      pollfd ready{fd, POLLOUT, 0};
      if (poll(&ready, 1, static_cast<int>(wait.count())) < 0 && errno != EINTR) return false;
      continue;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
    deadline = std::chrono::steady_clock::now() + limit;
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

// How long a write in place waits for another one of the same file, and a read for it.
constexpr auto kTurnLimit = std::chrono::seconds(10);

// An OFD lock on the whole file, of Type F_RDLCK or F_WRLCK. It belongs to the open file, so it
// orders threads of one process as it does processes, in any PID namespace. Returns 0, or
// ETIMEDOUT once kTurnLimit has passed, or the errno of a file system without such locks.
int TakeTurn(int fd, short type) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  const auto deadline = std::chrono::steady_clock::now() + kTurnLimit;
  useconds_t pause = 500;
  for (;;) {
    if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return 0;
    const int err = errno;
    if (err == EINTR) continue;
    if (err != EAGAIN && err != EACCES) return err;
    if (std::chrono::steady_clock::now() >= deadline) return ETIMEDOUT;
    usleep(pause);
    pause = std::min<useconds_t>(pause * 2, 20000);
  }
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
  return (failIfExists ? CreateWholeFile(to, bytes) : ReplaceWholeFile(to, bytes)) ? TRUE : FALSE;
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
    if (!ReadWholeFile(source, bytes)) return FALSE;
    const bool written = (flags & MOVEFILE_REPLACE_EXISTING) != 0 ? ReplaceWholeFile(target, bytes)
                                                                   : CreateWholeFile(target, bytes);
    if (!written) return FALSE;
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
  // A file being rewritten in place is read once that write is done (see WriteInPlace); after
  // the wait it is read as it stands.
  if (S_ISREG(st.st_mode) && TakeTurn(fd, F_RDLCK) == 0) (void)fstat(fd, &st);
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

std::atomic<bool> unnamedTemporaries{true};
std::atomic<unsigned> writeCounter{0};

// The file a whole-file write puts its bytes into: the name MapPath resolved, or the file a link
// there points to (a link is kept as a link), and what it was before the write.
struct WriteTarget {
  std::string path;
  std::string folder;
  std::string name;
  bool existed = false;
  struct stat st {};
};

std::string NameOf(const std::string& posixPath) {
  std::size_t slash = posixPath.rfind('/');
  return slash == std::string::npos ? posixPath : posixPath.substr(slash + 1);
}

// Follows a chain of links from Path as open(2) does, to the first name that is no link, whether
// it exists or not; a chain longer than the system follows is a loop (ELOOP).
int FollowLinks(std::string& path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return errno == ENOENT ? 0 : errno;
    if (!S_ISLNK(st.st_mode)) return 0;
    std::string to(PATH_MAX, '\0');
    const ssize_t n = readlink(path.c_str(), to.data(), to.size());
    if (n < 0) return errno;
    if (n == 0) return ENOENT;
    to.resize(static_cast<std::size_t>(n));
    const std::string folder = FolderOf(path);
    path = to.front() == '/' ? to : Join(folder == "." ? std::string() : folder, to);
  }
  return ELOOP;
}

bool ResolveWriteTarget(const std::string& windowsPath, bool followLink, WriteTarget& t) {
  if (windowsPath.empty()) return Fail(ENOENT);
  t.path = MapPath(windowsPath);
  if (!t.path.empty() && t.path.back() == '/') return Fail(EISDIR);
  // A dangling link gets its target made, as by open(2) with O_CREAT; a loop fails. Either way
  // the link itself stays.
  if (followLink) {
    const int err = FollowLinks(t.path);
    if (err != 0) return Fail(err);
    if (t.path.back() == '/') return Fail(EISDIR);
  }
  t.existed = lstat(t.path.c_str(), &t.st) == 0;
  if (!t.existed && errno != ENOENT) return Fail(errno);
  if (t.existed && S_ISDIR(t.st.st_mode)) return Fail(EISDIR);
  t.folder = FolderOf(t.path);
  t.name = NameOf(t.path);
  if (t.name.size() > NAME_MAX) return Fail(ENAMETOOLONG);
  return true;
}

std::string Beside(const WriteTarget& t, const std::string& name) {
  return Join(t.folder == "." ? std::string() : t.folder, name);
}

// Temporaries that get a name are ".<name>.<pid>-<n>.tmp": hidden, and unique to this process
// and write. A name too long to take that ending is cut and given a hash of the whole name, so
// it still fits NAME_MAX.
constexpr std::size_t kLongestEnding = 26;  // "." pid "-" n ".tmp", both numbers 32-bit

std::string HiddenStem(const std::string& name) {
  if (1 + name.size() + kLongestEnding <= NAME_MAX) return "." + name;
  std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return "." + name.substr(0, NAME_MAX - kLongestEnding - 1 - 1 - 16) + "~" + hex;
}

std::string HiddenName(const std::string& stem, unsigned n) {
  return stem + "." + std::to_string(static_cast<unsigned>(getpid())) + "-" + std::to_string(n) + ".tmp";
}

// Whether Entry has the form of a temporary of Stem's writes.
bool IsTemporaryName(const std::string& stem, const char* entry) {
  const std::size_t length = std::strlen(entry);
  if (length <= stem.size() + 1 || std::strncmp(entry, stem.c_str(), stem.size()) != 0 || entry[stem.size()] != '.') {
    return false;
  }
  const char* p = entry + stem.size() + 1;
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
  if (*p++ != '-' || !std::isdigit(static_cast<unsigned char>(*p))) return false;
  while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
  return std::strcmp(p, ".tmp") == 0;
}

// A temporary is this program's while a write holds a lock on it, and marked as such by an
// extended attribute naming its target. The lock (an open file description's, so it holds
// across PID namespaces, and on NFS across hosts) tells a write in progress from a killed one;
// the mark tells a temporary from a file a script happened to name alike. A temporary that
// cannot be locked is not marked, so a marked file nobody locks is always a leftover.
constexpr char kTemporaryMark[] = "user.quorrel.temporary";

void ClaimTemporary(int fd, const std::string& targetName) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (fcntl(fd, F_OFD_SETLK, &lock) != 0) return;
  (void)fsetxattr(fd, kTemporaryMark, targetName.data(), targetName.size(), 0);
}

// Removes Path when it is a leftover of a write of TargetName: a regular file with the mark and
// no lock, still under that name.
void RemoveIfLeftover(const std::string& path, const std::string& targetName) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st {};
  char mark[NAME_MAX + 1];
  const ssize_t n = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? fgetxattr(fd, kTemporaryMark, mark, sizeof mark) : -1;
  if (n >= 0 && std::string_view(mark, static_cast<std::size_t>(n)) == targetName) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    struct stat now {};
    if (fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type == F_UNLCK && lstat(path.c_str(), &now) == 0 &&
        now.st_ino == st.st_ino && now.st_dev == st.st_dev) {
      (void)unlink(path.c_str());
    }
  }
  close(fd);
}

// Whether this is the process's first write of the file. Looking for leftovers reads the whole
// folder, so it is done once per file and run (a forked child is a run of its own).
bool FirstWriteOf(const std::string& path) {
  static std::mutex mutex;
  static std::unordered_set<std::string> written;
  static pid_t writer = 0;
  std::lock_guard<std::mutex> lock(mutex);
  if (writer != getpid()) {
    written.clear();
    writer = getpid();
  }
  return written.insert(path).second;
}

// What killed writes of this file left. Where the file system keeps no extended attributes (or
// no locks), nothing can show a file is a leftover, and everything stays.
void RemoveLeftovers(const WriteTarget& t, const std::string& stem) {
  DIR* dir = opendir(t.folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> candidates;
  while (dirent* entry = readdir(dir)) {
    if (IsTemporaryName(stem, entry->d_name)) candidates.push_back(Beside(t, entry->d_name));
  }
  closedir(dir);
  for (const std::string& path : candidates) RemoveIfLeftover(path, t.name);
}

// The new bytes before they have the target's name: an unnamed file of the folder where the file
// system has them, else a hidden file of this process and this write.
struct Temporary {
  int fd = -1;
  std::string name;  // empty while unnamed
};

int OpenTemporary(const WriteTarget& t, const std::string& stem, mode_t mode, Temporary& temp) {
  if (unnamedTemporaries.load(std::memory_order_relaxed)) {
    temp.fd = open(t.folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (temp.fd >= 0) {
      // It gets a hidden name before it replaces the target.
      ClaimTemporary(temp.fd, t.name);
      return 0;
    }
    // Kernels and file systems without unnamed files answer in several ways.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp.name = Beside(t, HiddenName(stem, writeCounter++));
    temp.fd = open(temp.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (temp.fd >= 0) {
      ClaimTemporary(temp.fd, t.name);
      return 0;
    }
    if (errno != EEXIST) {
      temp.name.clear();
      return errno;
    }
  }
  temp.name.clear();
  return EEXIST;
}

// Gives the unnamed temporary the name Name; the name must not exist.
int LinkUnnamed(int fd, const std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  const int err = errno;
  if (err == EEXIST) return err;
  // Without /proc, a privileged process can still link the descriptor itself.
  if (linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
  return err;
}

bool LinksRefused(int err) { return err == EPERM || err == EOPNOTSUPP || err == ENOSYS; }

// Puts the finished temporary in the target's place: over it (Replace), or only where the name is
// free. Returns 0 or the errno; the temporary is gone either way. Unlinkable is set when an
// unnamed temporary could not be given a name at all (no /proc, say); NoLinks when the file
// system makes no link and cannot rename without replacing either (FAT without the call).
int CommitTemporary(Temporary& temp, const WriteTarget& t, const std::string& stem, bool replace, bool& unlinkable,
                    bool& noLinks) {
  int err = 0;
  unlinkable = false;
  noLinks = false;
  if (temp.name.empty()) {
    if (!replace) {
      err = LinkUnnamed(temp.fd, t.path);
    } else {
      // No call puts an unnamed file over a name, so it gets a hidden one for the rename.
      for (int attempt = 0; attempt < 100; ++attempt) {
        temp.name = Beside(t, HiddenName(stem, writeCounter++));
        err = LinkUnnamed(temp.fd, temp.name);
        if (err != EEXIST) break;
      }
      if (err != 0) temp.name.clear();
    }
    unlinkable = err == ENOENT || err == EPERM;
  }
  if (err == 0 && !temp.name.empty()) {
    if (replace) {
      if (rename(temp.name.c_str(), t.path.c_str()) != 0) err = errno;
    } else if (link(temp.name.c_str(), t.path.c_str()) != 0) {
      err = errno;
      // File systems without links (FAT, exFAT) may still rename onto a free name only.
      if (LinksRefused(err)) {
        err = renameat2(AT_FDCWD, temp.name.c_str(), AT_FDCWD, t.path.c_str(), RENAME_NOREPLACE) == 0 ? 0 : errno;
        if (err == 0) {
          temp.name.clear();
        } else if (err == EINVAL || LinksRefused(err)) {
          noLinks = true;
        }
      }
    }
    // Our own temporary gone from under us: someone else removed it, the target itself is fine.
    if (err == ENOENT) err = ESTALE;
  }
  if (!temp.name.empty() && (err != 0 || !replace)) (void)unlink(temp.name.c_str());
  if (err == 0) (void)fremovexattr(temp.fd, kTemporaryMark);
  if (close(temp.fd) != 0 && err == 0) err = errno;
  temp.fd = -1;
  return err;
}

// A new name where the file system has no links: made exclusively and written there, so the
// name shows the bytes while they are written. A failed write removes what it made.
bool WriteNewName(std::string_view bytes, const WriteTarget& t, mode_t mode) {
  const int fd = open(t.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, mode);
  if (fd < 0) return Fail(errno);
  int err = WriteAll(fd, bytes) ? 0 : errno;
  if (err == 0 && fsync(fd) != 0) err = errno;
  if (err != 0) {
    struct stat made {}, now {};
    if (fstat(fd, &made) == 0 && lstat(t.path.c_str(), &now) == 0 && made.st_ino == now.st_ino &&
        made.st_dev == now.st_dev) {
      (void)unlink(t.path.c_str());
    }
  }
  if (close(fd) != 0 && err == 0) err = errno;
  if (err != 0) return Fail(err);
  return true;
}

// Bytes for a target that is no regular file (a FIFO, a device): they go to it as to any
// program writing that name, and the entry stays what it is. A FIFO nobody reads fails at once
// instead of waiting for a reader, and one whose reader stops taking bytes fails after a time.
bool WriteThrough(std::string_view bytes, const WriteTarget& t) {
  if (S_ISSOCK(t.st.st_mode)) return Fail(EOPNOTSUPP);
  int fd = open(t.path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Fail(errno);
  int err = WriteAllWithin(fd, bytes) ? 0 : errno;
  if (close(fd) != 0 && err == 0) err = errno;
  if (err != 0) return Fail(err);
  return true;
}

// File systems that write every change to new blocks, where reserving the old range secures
// nothing for its overwrite.
bool CopiesOnWrite(int fd) {
  constexpr decltype(statfs::f_type) kBcachefs = 0xca451a4e, kZfs = 0x2fc12fc1;
  struct statfs fs {};
  if (fstatfs(fd, &fs) != 0) return false;
  return fs.f_type == BTRFS_SUPER_MAGIC || fs.f_type == kBcachefs || fs.f_type == kZfs ||
         fs.f_type == NILFS_SUPER_MAGIC;
}

// The space for Size bytes from the start, where the file system has no fallocate. Readable, the
// C library's way fills the gaps (it reads to find them); otherwise zeros past the old end, as
// the old bytes already have their blocks. Synced, since a network file system tells of a full
// disk only then.
int ReserveByWriting(int fd, off_t size, off_t oldSize, bool readable) {
  if (readable) {
    const int err = posix_fallocate(fd, 0, size);
    if (err != 0) return err;
  } else {
    const std::string zeros(65536, '\0');
    for (off_t at = oldSize; at < size;) {
      const std::size_t n = static_cast<std::size_t>(std::min<off_t>(size - at, static_cast<off_t>(zeros.size())));
      if (!WriteAll(fd, std::string_view(zeros.data(), n), at)) return errno;
      at += static_cast<off_t>(n);
    }
  }
  return fdatasync(fd) == 0 ? 0 : errno;
}

// The overwrite where blocks are rewritten where they stand: only once the space for the new
// bytes is secured, so a full disk fails before any old byte is touched.
int OverwriteReserved(int fd, std::string_view bytes, off_t oldSize, bool readable) {
  const off_t size = static_cast<off_t>(bytes.size());
  int err = 0;
  if (size > 0 && fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size) != 0) {
    err = errno;
    // Reserving by writing may lengthen the file, which the caller takes back should anything fail.
    if (err == EOPNOTSUPP || err == ENOSYS) err = ReserveByWriting(fd, size, oldSize, readable);
  }
  if (err == 0 && !WriteAll(fd, bytes, 0)) err = errno;
  return err;
}

// The overwrite on a file system that copies on write: the new bytes go past the old end first,
// where a full disk stops them before any old byte is touched, and are then cloned over the
// start, which takes no new data space. Where the file system cannot clone (or this user may not
// read the file, which a clone needs), the space cannot be secured and the write is refused.
int OverwriteByClone(int fd, std::string_view bytes, off_t oldSize, blksize_t blockSize, bool readable) {
  if (bytes.empty()) return 0;
  if (!readable) return EOPNOTSUPP;
  const off_t block = blockSize > 0 ? blockSize : 4096;
  const off_t length = (static_cast<off_t>(bytes.size()) + block - 1) / block * block;
  // Past the old end and past where the clone will reach: a clone within a file may not overlap.
  const off_t at = std::max((oldSize + block - 1) / block * block, length);
  if (!WriteAll(fd, bytes, at)) return errno;
  // Whole blocks to the end of the file, as a clone of a range inside a file takes. These file
  // systems take the space of a write when it is made, so a full disk has shown by now.
  if (ftruncate(fd, at + length) != 0) return errno;
  file_clone_range range {};
  range.src_fd = fd;
  range.src_offset = static_cast<__u64>(at);
  range.src_length = static_cast<__u64>(length);
  range.dest_offset = 0;
  if (ioctl(fd, FICLONERANGE, &range) != 0) {
    const int err = errno;
    return err == EINVAL || err == EXDEV || err == ENOTTY ? EOPNOTSUPP : err;
  }
  return 0;
}

// Where the folder takes no new file, the target is overwritten where it stands, and only where
// the space for the new bytes is secured, so a full disk fails before any old byte is touched.
// Two such writes of one file take turns for the whole write: otherwise one's truncation cuts
// into the other's bytes.
bool WriteInPlace(std::string_view bytes, const WriteTarget& t) {
  // Read access too where the file grants it: reserving without fallocate and cloning read it.
  int fd = open(t.path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  const bool readable = fd >= 0;
  if (fd < 0 && errno == EACCES) fd = open(t.path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return Fail(errno);
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return Fail(EACCES);
  }
  // Without such locks on this file system the write goes on as before; a turn that never comes
  // fails the save.
  if (TakeTurn(fd, F_WRLCK) == ETIMEDOUT) {
    close(fd);
    SetLastError(ERROR_SHARING_VIOLATION);
    return false;
  }
  // The other copy's write may have changed the size while this one waited.
  if (fstat(fd, &st) != 0) {
    const int err = errno;
    close(fd);
    return Fail(err);
  }
  const off_t size = static_cast<off_t>(bytes.size());
  int err = CopiesOnWrite(fd) ? OverwriteByClone(fd, bytes, st.st_size, st.st_blksize, readable)
                              : OverwriteReserved(fd, bytes, st.st_size, readable);
  if (err == 0 && ftruncate(fd, size) != 0) err = errno;
  if (err == 0 && fsync(fd) != 0) err = errno;
  if (err != 0) {
    struct stat now {};
    if (fstat(fd, &now) == 0 && now.st_size > st.st_size) (void)ftruncate(fd, st.st_size);
  }
  if (close(fd) != 0 && err == 0) err = errno;
  if (err != 0) return Fail(err);
  return true;
}

void SyncFolder(const WriteTarget& t) {
  int dirFd = open(t.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    (void)fsync(dirFd);
    close(dirFd);
  }
}

bool WriteWhole(const std::string& windowsPath, std::string_view bytes, bool replace) {
  WriteTarget t;
  if (!ResolveWriteTarget(windowsPath, replace, t)) return false;
  if (t.existed && !replace) {
    SetLastError(ERROR_FILE_EXISTS);
    return false;
  }
  if (t.existed && !S_ISREG(t.st.st_mode)) return WriteThrough(bytes, t);
  // Renaming over a file needs only the folder's permission; a file that is read-only, or that
  // this user may not write, keeps its bytes.
  if (t.existed && ((t.st.st_mode & S_IWUSR) == 0 || faccessat(AT_FDCWD, t.path.c_str(), W_OK, AT_EACCESS) != 0)) {
    return Fail(EACCES);
  }

  const std::string stem = HiddenStem(t.name);
  if (FirstWriteOf(t.path)) RemoveLeftovers(t, stem);
  // The target's permission bits from the start, so that private bytes are never readable by
  // others, not even while they are written.
  const mode_t mode = t.existed ? (t.st.st_mode & 0777) : 0666;
  Temporary temp;
  int err = OpenTemporary(t, stem, mode, temp);
  if (err != 0) {
    // No new file can be made here (a read-only or foreign folder), but the target itself may
    // still take the bytes.
    const bool noNewFile = err == EACCES || err == EPERM || err == EROFS;
    if (replace && noNewFile && t.existed) return WriteInPlace(bytes, t);
    return Fail(err == ENOENT ? ENOTDIR : err);
  }

  err = WriteAll(temp.fd, bytes) ? 0 : errno;
  if (err == 0 && t.existed) {
    // Ownership first: changing it may clear set-id bits that the mode then restores.
    (void)fchown(temp.fd, t.st.st_uid, t.st.st_gid);
    (void)fchmod(temp.fd, t.st.st_mode & 07777);
  }
  if (err == 0 && fsync(temp.fd) != 0) err = errno;
  if (err != 0) {
    if (!temp.name.empty()) (void)unlink(temp.name.c_str());
    close(temp.fd);
    return Fail(err);
  }
  bool unlinkable = false, noLinks = false;
  err = CommitTemporary(temp, t, stem, replace, unlinkable, noLinks);
  if (unlinkable) {
    // Unnamed files that cannot be linked in (no /proc, no links): named ones from now on.
    unnamedTemporaries.store(false, std::memory_order_relaxed);
    return WriteWhole(windowsPath, bytes, replace);
  }
  if (noLinks) return WriteNewName(bytes, t, mode);
  if (err != 0) return Fail(err);
  SyncFolder(t);
  return true;
}

}  // namespace

bool ReplaceWholeFile(const std::string& windowsPath, std::string_view bytes) {
  return WriteWhole(windowsPath, bytes, true);
}

bool CreateWholeFile(const std::string& windowsPath, std::string_view bytes) {
  if (WriteWhole(windowsPath, bytes, false)) return true;
  if (GetLastError() == ERROR_ALREADY_EXISTS) SetLastError(ERROR_FILE_EXISTS);
  return false;
}

void SetUnnamedTemporaries(bool allowed) { unnamedTemporaries.store(allowed, std::memory_order_relaxed); }

bool AppendToFile(const std::string& windowsPath, std::string_view bytes) {
  if (windowsPath.empty()) return Fail(ENOENT);
  std::string target = MapPath(windowsPath);
  // A FIFO nobody reads fails at once rather than holding the game until a reader comes, and one
  // whose reader stops taking bytes fails after a time.
  int fd = open(target.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return Fail(errno == ENOENT ? ENOTDIR : errno);
  bool ok = WriteAllWithin(fd, bytes);
  int err = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (!ok) return Fail(err);
  return true;
}

}  // namespace platform::win32
