// The runtime's file layer over the win32 stand-in's file calls.
#include "runtime/Files.h"

#include "platform/win32/win32_files.h"
#include "platform/win32/win32_system.h"
#include "runtime/Errors.h"

namespace rtl {

namespace w32 = platform::win32;

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Index just after the last separator or drive colon: where the name part starts.
std::size_t NameStart(std::string_view path) {
  std::size_t i = path.size();
  while (i > 0 && !IsSeparator(path[i - 1]) && path[i - 1] != ':') --i;
  return i;
}

[[noreturn]] void RaiseIO(const std::string& action, const std::string& path) {
  const w32::DWORD code = w32::GetLastError();
  throw EInOutError(action + " \"" + path + "\" (error " + std::to_string(code) + ": " + w32::ErrorText(code) + ")",
                    static_cast<int>(code));
}

}  // namespace

bool FileExists(const std::string& path) {
  w32::DWORD a = w32::GetFileAttributesA(path.c_str());
  return a != w32::INVALID_FILE_ATTRIBUTES && (a & w32::FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  w32::DWORD a = w32::GetFileAttributesA(path.c_str());
  return a != w32::INVALID_FILE_ATTRIBUTES && (a & w32::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ForceDirectories(const std::string& path) {
  std::string folder = ExcludeTrailingBackslash(path);
  if (folder.empty()) return false;
  if (DirectoryExists(folder)) return true;
  // Each missing level from the top down; a level that already exists is passed over.
  for (std::size_t i = 1; i <= folder.size(); ++i) {
    if (i == folder.size() || IsSeparator(folder[i])) {
      std::string prefix = folder.substr(0, i);
      if (prefix.empty() || IsSeparator(prefix.back()) || (prefix.size() == 2 && prefix[1] == ':')) continue;
      if (!DirectoryExists(prefix)) w32::CreateDirectoryA(prefix.c_str(), nullptr);
    }
  }
  return DirectoryExists(folder);
}

bool CreateDir(const std::string& path) { return w32::CreateDirectoryA(path.c_str(), nullptr) != 0; }

bool DeleteFile(const std::string& path) { return w32::DeleteFileA(path.c_str()) != 0; }

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  return w32::CopyFileA(from.c_str(), to.c_str(), failIfExists ? w32::TRUE : w32::FALSE) != 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
  return w32::MoveFileExA(from.c_str(), to.c_str(), 0) != 0;
}

std::string ReadFileBytes(const std::string& path) {
  std::string bytes;
  if (!w32::ReadWholeFile(path, bytes)) RaiseIO("Cannot read file", path);
  return bytes;
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
  if (!w32::ReplaceWholeFile(path, bytes)) RaiseIO("Cannot write file", path);
}

void WriteNewFileBytes(const std::string& path, std::string_view bytes) {
  if (!w32::CreateWholeFile(path, bytes)) RaiseIO("Cannot create file", path);
}

void AppendFileBytes(const std::string& path, std::string_view bytes) {
  if (!w32::AppendToFile(path, bytes)) RaiseIO("Cannot append to file", path);
}

std::string GetCurrentDir() {
  w32::DWORD needed = w32::GetCurrentDirectoryA(0, nullptr);
  if (needed == 0) return {};
  std::string text(needed, '\0');
  w32::DWORD length = w32::GetCurrentDirectoryA(needed, text.data());
  if (length == 0 || length >= needed) return {};
  text.resize(length);
  return text;
}

bool SetCurrentDir(const std::string& path) { return w32::SetCurrentDirectoryA(path.c_str()) != 0; }

std::string ExtractFilePath(std::string_view path) { return std::string(path.substr(0, NameStart(path))); }

std::string ExtractFileName(std::string_view path) { return std::string(path.substr(NameStart(path))); }

std::string ExtractFileExt(std::string_view path) {
  std::string_view name = path.substr(NameStart(path));
  std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  const std::size_t start = NameStart(path);
  std::size_t dot = path.substr(start).rfind('.');
  std::string result(dot == std::string_view::npos ? path : path.substr(0, start + dot));
  result += ext;
  return result;
}

std::string IncludeTrailingBackslash(std::string_view path) {
  std::string result(path);
  if (result.empty() || !IsSeparator(result.back())) result += '\\';
  return result;
}

std::string ExcludeTrailingBackslash(std::string_view path) {
  std::string result(path);
  if (!result.empty() && IsSeparator(result.back())) result.pop_back();
  return result;
}

std::string ProgramFolder() {
  std::string exe = w32::ExecutablePath();
  std::size_t slash = exe.rfind('/');
  if (slash == std::string::npos) return {};
  return exe.substr(0, slash + 1);
}

}  // namespace rtl
