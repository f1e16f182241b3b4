// Shell open through xdg-open, and the special folders. Every refusal names the text and the
// reason through the log sink; nothing here ever passes a text to a shell.

#include "platform/win32/win32_shell.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "platform/win32/win32_files.h"
#include "platform/win32/win32_folders.h"
#include "platform/win32/win32_log.h"
#include "platform/win32/win32_system.h"

extern char** environ;

namespace platform::win32 {

struct ITEMIDLIST {
  std::string path;
};

namespace {

std::mutex shellMutex;
bool capturing = false;
std::vector<std::string> opened;
std::set<ITEMIDLIST*> lists;

HINSTANCE Result(int code) { return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(code)); }

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && Lower(s.substr(0, prefix.size())) == prefix;
}

bool HasControlCharacters(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
  });
}

bool IsWebLink(std::string_view s) {
  return (StartsWithNoCase(s, "http://") && s.size() > 7) ||
         (StartsWithNoCase(s, "https://") && s.size() > 8);
}

// Kinds of file a desktop runs rather than shows, even without an execute bit.
bool IsProgramKind(const std::string& path) {
  static const char* const kinds[] = {
      "desktop", "exe", "com", "bat", "cmd", "msi", "msp", "jar", "jnlp", "sh", "bash", "csh",
      "ksh", "zsh", "fish", "command", "py", "pyc", "pl", "rb", "php", "appimage", "run", "bin",
      "lnk", "scr", "pif", "vbs", "vbe", "wsf", "ps1", "reg", "cpl", "hta", "msc", "application",
      "deb", "rpm", "apk", "snap", "flatpakref", "flatpak", "so", "out", "elf", "x86_64"};
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  const std::string ext = Lower(std::string_view(path).substr(dot + 1));
  return std::any_of(std::begin(kinds), std::end(kinds), [&](const char* k) { return ext == k; });
}

// The URL= line of an Internet shortcut file.
std::string UrlOfShortcut(const std::string& bytes) {
  size_t start = 0;
  while (start <= bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string_view line(bytes.data() + start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (StartsWithNoCase(line, "url=")) return std::string(line.substr(4));
    start = end + 1;
  }
  return {};
}

bool Launch(const std::string& target) {
  {
    std::lock_guard lock(shellMutex);
    if (capturing) {
      opened.push_back(target);
      return true;
    }
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  char arg0[] = "xdg-open";
  std::string arg1 = target;
  char* argv[] = {arg0, arg1.data(), nullptr};
  // This program ignores SIGPIPE (see win32_files.cpp); the opener gets the default.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t pid = 0;
  const int err = posix_spawnp(&pid, "xdg-open", &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) {
    Log(kLogWarning, "ShellExecute: cannot start xdg-open: " + std::string(std::strerror(err)));
    return false;
  }
  // Reap the child whenever it ends; the caller does not wait.
  try {
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
  } catch (const std::exception& e) {
    // It was opened; only its end goes unnoticed until this process ends.
    Log(kLogWarning, std::string("ShellExecute: no thread can wait for xdg-open: ") + e.what());
  }
  return true;
}

HINSTANCE Refuse(const std::string& text, const char* why, int code) {
  Log(kLogWarning, "ShellExecute refused \"" + text + "\": " + why);
  return Result(code);
}

}  // namespace

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR, int) {
  const std::string text = file ? file : "";
  if (verb && Lower(verb) != "open") return Refuse(text, "only \"open\" is offered", SE_ERR_NOASSOC);
  if (parameters && *parameters) return Refuse(text, "parameters are not passed on", SE_ERR_ACCESSDENIED);
  if (text.empty() || text.front() == '-' || HasControlCharacters(text))
    return Refuse(text, "not a link or a document", SE_ERR_FNF);
  if (IsWebLink(text) || (StartsWithNoCase(text, "mailto:") && text.size() > 7))
    return Launch(text) ? Result(42) : Result(SE_ERR_NOASSOC);

  std::string path = MapPath(text);
  struct stat st{};
  if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return Refuse(text, "no such link or file", SE_ERR_FNF);
  if (path.front() != '/') {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return Refuse(text, "no current folder", SE_ERR_FNF);
    path = std::string(cwd) + "/" + path;
  }
  if (Lower(path).ends_with(".url")) {
    std::string bytes;
    if (st.st_size > 65536 || !ReadWholeFile(path, bytes))
      return Refuse(text, "the shortcut cannot be read", SE_ERR_FNF);
    const std::string url = UrlOfShortcut(bytes);
    if (!IsWebLink(url) || HasControlCharacters(url))
      return Refuse(text, "the shortcut holds no http or https link", SE_ERR_ACCESSDENIED);
    return Launch(url) ? Result(42) : Result(SE_ERR_NOASSOC);
  }
  if ((st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) || IsProgramKind(path))
    return Refuse(text, "programs are not started", SE_ERR_ACCESSDENIED);
  return Launch(path) ? Result(42) : Result(SE_ERR_NOASSOC);
}

std::string DocumentsFolder() {
  std::string home = GetEnvironmentText("HOME");
  if (home.empty()) {
    const passwd* pw = getpwuid(getuid());
    home = pw && pw->pw_dir ? pw->pw_dir : "";
  }
  std::string config = GetEnvironmentText("XDG_CONFIG_HOME");
  if (config.empty()) config = home + "/.config";
  std::string bytes;
  if (ReadWholeFile(config + "/user-dirs.dirs", bytes)) {
    size_t start = 0;
    while (start < bytes.size()) {
      size_t end = bytes.find('\n', start);
      if (end == std::string::npos) end = bytes.size();
      std::string line = bytes.substr(start, end - start);
      start = end + 1;
      if (!line.starts_with("XDG_DOCUMENTS_DIR=")) continue;
      std::string value = line.substr(18);
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
      if (value.starts_with("$HOME")) value = home + value.substr(5);
      while (value.size() > 1 && value.back() == '/') value.pop_back();
      // "$HOME" itself means the folder is switched off.
      if (!value.empty() && value.front() == '/' && value != home) return value;
    }
  }
  return home + "/Documents";
}

HRESULT SHGetSpecialFolderLocation(HWND, int folder, ITEMIDLIST** list) {
  if (!list) return E_INVALIDARG;
  *list = nullptr;
  std::string path;
  if (folder == CSIDL_PERSONAL) path = DocumentsFolder();
  else if (folder == CSIDL_APPDATA) path = GetEnvironmentText("APPDATA");
  else return E_INVALIDARG;
  auto* l = new ITEMIDLIST{path};
  std::lock_guard lock(shellMutex);
  lists.insert(l);
  *list = l;
  return S_OK;
}

BOOL SHGetPathFromIDListA(const ITEMIDLIST* list, char* path) {
  if (!path) return FALSE;
  path[0] = '\0';
  if (!list || list->path.empty() || list->path.size() >= MAX_PATH) return FALSE;
  std::memcpy(path, list->path.c_str(), list->path.size() + 1);
  return TRUE;
}

void CoTaskMemFree(void* memory) {
  auto* l = static_cast<ITEMIDLIST*>(memory);
  std::lock_guard lock(shellMutex);
  if (lists.erase(l)) delete l;
}

namespace testing {

void CaptureShellOpen(bool capture) {
  std::lock_guard lock(shellMutex);
  capturing = capture;
}

std::vector<std::string> ShellOpened() {
  std::lock_guard lock(shellMutex);
  return opened;
}

void ClearShellOpened() {
  std::lock_guard lock(shellMutex);
  opened.clear();
}

}  // namespace testing

}  // namespace platform::win32
