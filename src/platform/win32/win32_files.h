// Files and folders named by Windows path texts. The system builds paths the way it did on
// Windows ("data\Textures\", "\sounds\", doubled backslashes, "C:\..."); MapPath turns such a
// text into the POSIX path of the file that is meant:
//   - "\" and "/" both separate, and repeated separators collapse into one;
//   - a leading drive prefix ("C:") is dropped, so "C:\x" names "/x";
//   - each component that does not exist exactly is looked up ignoring ASCII letter case in its
//     folder (game data made on Windows relies on that); a component found nowhere is kept as
//     written, so a file about to be created gets the name the caller gave;
//   - relative paths stay relative to the current folder.
// The calls below keep their Windows names and meanings and report failures through
// GetLastError (win32_system.h) with Windows error codes.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32/win32_types.h"

namespace platform::win32 {

constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;  // a symbolic link, in find results

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;

constexpr DWORD MAX_PATH = 260;

struct SECURITY_ATTRIBUTES;  // accepted and ignored

std::string MapPath(const std::string& windowsPath);

DWORD GetFileAttributesA(const char* path);
BOOL CreateDirectoryA(const char* path, SECURITY_ATTRIBUTES* security);
BOOL DeleteFileA(const char* path);
// Replaces an existing target unless failIfExists, through ReplaceWholeFile or CreateWholeFile.
BOOL CopyFileA(const char* from, const char* to, BOOL failIfExists);
BOOL MoveFileExA(const char* from, const char* to, DWORD flags);
// Returns the length without the terminating zero, or the size needed (with it) when the
// buffer is too small, or 0 on failure. The text is the POSIX path of the current folder.
DWORD GetCurrentDirectoryA(DWORD bufferLength, char* buffer);
BOOL SetCurrentDirectoryA(const char* path);

// Whole-file helpers for the runtime's file layer. Each returns false and sets the last error
// on failure.
// A file being rewritten in place (see ReplaceWholeFile) is read once that write is done.
bool ReadWholeFile(const std::string& windowsPath, std::string& bytes);
// The one replacing write. The name as resolved (or the file a link there points to, made when
// the link dangles; the link stays; a loop of links fails with ERROR_CANT_RESOLVE_FILENAME)
// gets the bytes whole or keeps what it had, and no other entry is touched:
//   - the bytes go to a temporary that no script or player could have named: an unnamed file of
//     the folder (O_TMPFILE), or where the file system has none a hidden name of this process
//     and write (".<name>.<pid>-<n>.tmp", the name cut and hashed where it is long); it is made
//     with the target's permission bits, filled, synced and renamed over the target. Two
//     processes or threads saving one file each land whole or fail on their own;
//   - each write holds a lock on its temporary and marks it with an extended attribute; a kill
//     can leave a hidden one, which the first write of that file in a later process removes
//     when it bears the mark and nobody holds its lock. Without the mark (a file system without
//     extended attributes or locks, a script's own file of that form) a file always stays;
//   - where the folder takes no new file, an existing target is overwritten in place, under an
//     OFD lock of the whole file so that two such writes take turns (a turn that does not come
//     within 10 s fails with ERROR_SHARING_VIOLATION), and only after the space for the new
//     bytes is secured: without it the write fails and the old file stays whole; where the
//     file system copies on write and cannot clone, it is refused (ERROR_NOT_SUPPORTED);
//   - an existing target that is not a regular file (a FIFO, a device) is written through and
//     stays what it is; a reader that leaves fails the write (ERROR_BROKEN_PIPE), and so does
//     one that takes no bytes for 3 s (ERROR_TIMEOUT); a socket is refused (ERROR_NOT_SUPPORTED);
//   - an existing target that is read-only (no owner write bit) or that this user may not write
//     is refused (ERROR_ACCESS_DENIED) and stays as it was.
bool ReplaceWholeFile(const std::string& windowsPath, std::string_view bytes);
// The same write for a name that must be new: fails with ERROR_FILE_EXISTS when anything has
// the name (a link too, which is not followed), and never shows a part of the bytes, except on
// a file system that makes neither links nor renames that keep an existing name: there the name
// is created exclusively and written.
bool CreateWholeFile(const std::string& windowsPath, std::string_view bytes);
// Test seam: false makes the writes use their hidden named temporary, as where the file system
// has no unnamed files.
void SetUnnamedTemporaries(bool allowed);
// Appends to the file, creating it when absent; the bytes are handed to the system before the
// call returns and the file is closed again. A FIFO that nobody reads fails at once
// (ERROR_PIPE_NOT_CONNECTED), one whose reader leaves or takes no bytes for 3 s as above.
bool AppendToFile(const std::string& windowsPath, std::string_view bytes);

}  // namespace platform::win32
