// Folder listing with Windows wildcards, and environment variables.
//
// FindFirstFile matches the last component of the pattern, case-insensitively, with "*" (any
// run) and "?" (one character); "*.*" matches every name, as on Windows. The folder part is a
// Windows path text (see MapPath). Entries come in a fixed order (case-insensitive byte order)
// with Windows attribute bits: a folder exactly FILE_ATTRIBUTE_DIRECTORY, a file
// FILE_ATTRIBUTE_ARCHIVE, plus FILE_ATTRIBUTE_READONLY when it cannot be written; never 0.
// "." and ".." are listed where the pattern matches them, as on Windows.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/win32/win32_files.h"
#include "platform/win32/win32_types.h"

namespace platform::win32 {

constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_ENVVAR_NOT_FOUND = 203;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[MAX_PATH];
  char cAlternateFileName[14];
};

HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data);  // INVALID_HANDLE_VALUE: none
BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data);  // FALSE + ERROR_NO_MORE_FILES at the end
BOOL FindClose(HANDLE find);

// Windows' wildcard match of one name (case-insensitive; "*.*" matches names without a dot).
bool MatchesWildcard(std::string_view name, std::string_view pattern);

// The variable's value with no length cap; "" when unset. Names compare ignoring case, as on
// Windows. "APPDATA" has a meaning even when unset: $XDG_DATA_HOME, else ~/.local/share ("" when
// the user has no home folder).
std::string GetEnvironmentText(const std::string& name);
// Windows' call: the length copied, or the size needed (with the terminator) when the buffer is
// too small, or 0 with ERROR_ENVVAR_NOT_FOUND.
DWORD GetEnvironmentVariableA(const char* name, char* buffer, DWORD size);

namespace seam {

// The home folder of the user's account, used when HOME is unset; nullopt: the real one. With
// "" and HOME and XDG_DATA_HOME unset, "APPDATA" is unset too.
void SetAccountHome(std::optional<std::string> home);

}  // namespace seam

}  // namespace platform::win32
