// Folder listing with Windows wildcards, and the environment with Windows' case-insensitive
// names. A listing is read whole at FindFirstFile and handed out in a fixed order, so the order
// never depends on the file system.

#include "platform/win32/win32_folders.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/win32/win32_system.h"

extern char** environ;

namespace platform::win32 {
namespace {

struct Listing {
  std::vector<WIN32_FIND_DATAA> entries;
  size_t next = 0;
};

std::mutex findMutex;
std::map<HANDLE, std::unique_ptr<Listing>> listings;
uintptr_t nextFind = 0x50000;

int Fold(char c) { return std::tolower(static_cast<unsigned char>(c)); }

bool Match(std::string_view name, std::string_view pattern) {
  size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Fold(pattern[p]) == Fold(name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool LessNoCase(const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b) {
  const int c = strcasecmp(a.cFileName, b.cFileName);
  return c != 0 ? c < 0 : std::strcmp(a.cFileName, b.cFileName) < 0;
}

FILETIME FileTimeOf(const timespec& t) {
  const uint64_t v = static_cast<uint64_t>(t.tv_sec) * 10000000ull +
                     static_cast<uint64_t>(t.tv_nsec) / 100 + 116444736000000000ull;
  return {static_cast<DWORD>(v & 0xFFFFFFFF), static_cast<DWORD>(v >> 32)};
}

bool NextEntry(HANDLE find, WIN32_FIND_DATAA* data) {
  std::lock_guard lock(findMutex);
  auto it = listings.find(find);
  if (it == listings.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  Listing& l = *it->second;
  if (l.next >= l.entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return false;
  }
  *data = l.entries[l.next++];
  return true;
}

std::optional<std::string> accountHomeForTesting;

// "" when the user has no home folder at all.
std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (accountHomeForTesting) return *accountHomeForTesting;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return {};
}

}  // namespace

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
  if (Match(name, pattern)) return true;
  // "name.*" also matches "name" without an extension, so "*.*" matches every name.
  return pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
         Match(name, pattern.substr(0, pattern.size() - 2));
}

HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) {
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::string text = pattern;
  const size_t sep = text.find_last_of("\\/");
  const std::string folderText = sep == std::string::npos ? "" : text.substr(0, sep + 1);
  const std::string namePattern = sep == std::string::npos ? text : text.substr(sep + 1);
  std::string folder = folderText.empty() ? "." : MapPath(folderText);
  if (folder.empty()) folder.assign(1, folderText.empty() ? '.' : '/');
  DIR* dir = namePattern.empty() ? nullptr : opendir(folder.c_str());
  if (!dir) {
    SetLastError(namePattern.empty() ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto listing = std::make_unique<Listing>();
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.size() >= MAX_PATH || !MatchesWildcard(name, namePattern)) continue;
    const std::string full = folder + "/" + name;
    struct stat st{};
    if (lstat(full.c_str(), &st) != 0) continue;
    const bool link = S_ISLNK(st.st_mode);
    if (link && stat(full.c_str(), &st) != 0) continue;  // a dangling link names nothing
    WIN32_FIND_DATAA d{};
    if (S_ISDIR(st.st_mode)) {
      d.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    } else {
      d.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
      if ((st.st_mode & 0222) == 0 || access(full.c_str(), W_OK) != 0)
        d.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
      d.nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
      d.nFileSizeLow = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) & 0xFFFFFFFF);
    }
    if (link) d.dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    d.ftCreationTime = FileTimeOf(st.st_ctim);
    d.ftLastAccessTime = FileTimeOf(st.st_atim);
    d.ftLastWriteTime = FileTimeOf(st.st_mtim);
    std::memcpy(d.cFileName, name.c_str(), name.size() + 1);
    listing->entries.push_back(d);
  }
  closedir(dir);
  if (listing->entries.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::sort(listing->entries.begin(), listing->entries.end(), LessNoCase);
  HANDLE h;
  {
    std::lock_guard lock(findMutex);
    h = reinterpret_cast<HANDLE>(nextFind++);
    listings[h] = std::move(listing);
  }
  NextEntry(h, data);
  return h;
}

BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
  if (!data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return NextEntry(find, data) ? TRUE : FALSE;
}

BOOL FindClose(HANDLE find) {
  std::lock_guard lock(findMutex);
  if (listings.erase(find) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

std::string GetEnvironmentText(const std::string& name) {
  if (name.empty() || name.find('=') != std::string::npos) return {};
  if (const char* v = std::getenv(name.c_str()); v && *v) return v;
  for (char** e = environ; e && *e; ++e) {
    const char* eq = std::strchr(*e, '=');
    if (eq && static_cast<size_t>(eq - *e) == name.size() &&
        strncasecmp(*e, name.c_str(), name.size()) == 0 && eq[1])
      return eq + 1;
  }
  if (strcasecmp(name.c_str(), "APPDATA") == 0) {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') return xdg;
    // Without a home folder there is no per-user folder: the caller falls back to its own.
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/.local/share";
  }
  return {};
}

DWORD GetEnvironmentVariableA(const char* name, char* buffer, DWORD size) {
  const std::string value = GetEnvironmentText(name ? name : "");
  if (value.empty()) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    if (buffer && size) buffer[0] = '\0';
    return 0;
  }
  if (!buffer || value.size() + 1 > size) return static_cast<DWORD>(value.size() + 1);
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  return static_cast<DWORD>(value.size());
}

namespace seam {

void SetAccountHome(std::optional<std::string> home) { accountHomeForTesting = std::move(home); }

}  // namespace seam

}  // namespace platform::win32
