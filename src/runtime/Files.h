// Files and folders as the system names them: Windows path texts ("data\Textures\a.png",
// "..\bin\data\", "C:\x"), mapped to the machine by the win32 layer (both separators, repeated
// separators collapse, drive prefix dropped, case-insensitive lookup where the exact name is
// absent). Failures of the whole-file operations raise EInOutError; the queries never raise.
#pragma once

#include <string>
#include <string_view>

namespace rtl {

bool FileExists(const std::string& path);       // an existing file (not a folder)
bool DirectoryExists(const std::string& path);  // an existing folder
bool ForceDirectories(const std::string& path); // creates the folder and its parents
bool CreateDir(const std::string& path);
bool DeleteFile(const std::string& path);
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists);
bool RenameFile(const std::string& from, const std::string& to);

std::string ReadFileBytes(const std::string& path);                    // whole file
// Replaces the file whole (see ReplaceWholeFile): a failed write leaves the old file as it was,
// and nothing but the file itself is touched.
void WriteFileBytes(const std::string& path, std::string_view bytes);
// Writes a file of a name that must be new, whole; the code is ERROR_FILE_EXISTS (80) when the
// name is taken.
void WriteNewFileBytes(const std::string& path, std::string_view bytes);
void AppendFileBytes(const std::string& path, std::string_view bytes); // creates when absent

std::string GetCurrentDir();             // POSIX text of the current folder
bool SetCurrentDir(const std::string& path);

// Path texts, Windows style: "\" (and "/") separate; these do not touch the file system.
std::string ExtractFilePath(std::string_view path);  // folder part with its trailing separator
std::string ExtractFileName(std::string_view path);
std::string ExtractFileExt(std::string_view path);   // from the last "." of the name, "" if none
std::string ChangeFileExt(std::string_view path, std::string_view ext);
std::string IncludeTrailingBackslash(std::string_view path);
std::string ExcludeTrailingBackslash(std::string_view path);

// The folder of the executable as it was invoked, with a trailing separator (see win32).
std::string ProgramFolder();

}  // namespace rtl
