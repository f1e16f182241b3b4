// The file work of the game object's file, log and reload operations; see ScriptFiles.h.
#include "game/ScriptFiles.h"

#include <algorithm>

#include "foundation/KeshLogEngine.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_folders.h"
#include "runtime/Errors.h"
#include "runtime/Files.h"
#include "runtime/Strings.h"

namespace win32 = platform::win32;

namespace script_files {

std::string LanguageLine(const rtl::TStringList& lines) {
  std::string language;
  for (const std::string& line : lines.Lines()) {
    if (line.empty()) continue;
    if (line.size() < 2 || line.compare(0, 2, "--") != 0) language = line;
  }
  return language;
}

std::string LanguageOfFolder(const std::string& folder) {
  const std::string path = folder + "\\lng.cfg";
  if (!rtl::FileExists(path)) return {};
  rtl::TStringList lines;
  try {
    lines.LoadFromFile(path);
  } catch (const rtl::EInOutError& e) {
    LogEngine->AddWarning("TMainForm.GetCurrentLanguage " + std::string(e.what()));
    return {};
  }
  return LanguageLine(lines);
}

std::string SubFolderList(const std::string& folder) {
  if (!rtl::DirectoryExists(folder)) return {};
  win32::WIN32_FIND_DATAA entry{};
  const win32::HANDLE find = win32::FindFirstFileA((folder + "\\*.*").c_str(), &entry);
  if (find == win32::INVALID_HANDLE_VALUE) return {};
  std::string list;
  do {
    const std::string name = entry.cFileName;
    // Exactly the folder attribute: a folder with another attribute as well is not a dialog.
    if (entry.dwFileAttributes == win32::FILE_ATTRIBUTE_DIRECTORY && name != "." && name != "..") list += name + ";";
  } while (win32::FindNextFileA(find, &entry));
  win32::FindClose(find);
  return list;
}

void WriteDataFile(const std::string& path, std::string_view text) { rtl::WriteFileBytes(path, text); }

std::string ReadDataFile(const std::string& path) {
  if (!rtl::FileExists(path) && !rtl::DirectoryExists(path)) return {};
  rtl::TStringList lines;
  lines.LoadFromFile(path);
  std::string text;
  for (std::size_t i = 0; i < lines.Count(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines[i];
  }
  return text;
}

void CopyBonusFile(const std::string& programPath, const std::string& documents, const std::string& file,
                   const std::string& folder) {
  const std::string source = programPath + "data\\BonusContent\\" + file;
  if (!rtl::FileExists(source)) return;
  const std::string target = documents + "\\" + "Dunmarrow\\" + folder + "\\";
  if (!rtl::DirectoryExists(target)) rtl::ForceDirectories(target);
  if (!rtl::CopyFile(source, target + file, false)) {
    LogEngine->AddWarning("TMainForm.SaveFile cannot copy \"" + source + "\" to \"" + target + file + "\"");
  }
}

std::vector<std::string> ReloadScriptNames() {
  std::vector<std::string> names{kTemplateScript};
  win32::WIN32_FIND_DATAA entry{};
  const win32::HANDLE find = win32::FindFirstFileA("*.lua", &entry);
  if (find == win32::INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = entry.cFileName;
    if (entry.dwFileAttributes == win32::FILE_ATTRIBUTE_DIRECTORY || entry.dwFileAttributes == 0) continue;
    if (name == "." || name == ".." || name == "AllLua.lua" || name == "AllLua.luac") continue;
    const bool taken =
        std::any_of(names.begin(), names.end(), [&](const std::string& n) { return rtl::SameText(n, name); });
    if (!taken) names.push_back(name);
  } while (win32::FindNextFileA(find, &entry));
  win32::FindClose(find);
  return names;
}

bool LoadReloadScripts(const std::vector<std::string>& names, rtl::TStringList& text) {
  for (const std::string& name : names) {
    if (name == kTemplateScript && !rtl::FileExists(name)) {
      // A warning: hints are hidden at the usual detail levels, and the reload does not happen.
      LogEngine->AddWarning("TMainForm.ReLoadLua " + name + " cannot be read (no such file): nothing reloaded");
      return false;
    }
    rtl::TStringList lines;
    try {
      lines.LoadFromFile(name);
    } catch (const rtl::EInOutError& e) {
      LogEngine->AddError("TMainForm.ReLoadLua " + std::string(e.what()) + ": nothing reloaded");
      return false;
    }
    text.AddStrings(lines);
    LogEngine->AddHint("LoadFromFile " + name);
  }
  return true;
}

const char* CursorOfName(std::string_view name) {
  struct Entry {
    const char* name;
    const char* cursor;
  };
  static const Entry table[] = {
      {"finger", win32::IDC_HAND},          {"gears", win32::IDC_HAND},
      {"hand", win32::IDC_HAND},            {"FR", win32::IDC_UPARROW},
      {"FL", win32::IDC_UPARROW},           {"Forward", win32::IDC_UPARROW},
      {"Back", win32::IDC_UPARROW},         {"Down", win32::IDC_UPARROW},
      {"L", win32::IDC_UPARROW},            {"R", win32::IDC_UPARROW},
      {"Up", win32::IDC_UPARROW},           {"lupa", win32::IDC_HELP},
      {"cloud", win32::IDC_HELP},           {"memoryBack", win32::IDC_APPSTARTING},
      {"memoryReturn", win32::IDC_APPSTARTING},
  };
  for (const Entry& e : table) {
    if (name == e.name) return e.cursor;
  }
  return win32::IDC_ARROW;
}

}  // namespace script_files
