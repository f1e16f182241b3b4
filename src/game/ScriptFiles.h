// The file work behind the game object's file, log and reload operations (main_files.cpp): the
// language line of "lng.cfg", the dialog folders, the data files, the bonus copies, the loose
// script files that a reload joins, and the cursor names. Nothing here includes Lua.
//
// Paths are Windows path texts (runtime/Files.h). Failures are logged here under the name of the
// operation that asked, or raised as rtl::EInOutError where the caller decides; a failing file
// never ends the game. Main thread only (the log and the current folder are the main thread's).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/StringList.h"

namespace script_files {

// The name that always leads a reload; without it nothing is reloaded.
inline constexpr const char* kTemplateScript = "KeshInterfaceTemplatesEngine.lua";

// The last non-empty line that does not start with "--"; lines are not trimmed. "" when none.
std::string LanguageLine(const rtl::TStringList& lines);
// The language of the file "lng.cfg" in Folder (no trailing separator), read by its full path;
// "" when the file is missing or cannot be read (logged).
std::string LanguageOfFolder(const std::string& folder);

// The names of Folder's sub-folders in listing order, each followed by ";"; "" when the folder
// does not exist or has none.
std::string SubFolderList(const std::string& folder);

// Replaces the file with Text as it stands, atomically through the fixed "<name>.tmp" beside it
// (the old contents or the new, whole, even when the process dies mid-write), or in place where
// the folder takes no new file. An existing read-only file is not replaced. Raises
// rtl::EInOutError.
void WriteDataFile(const std::string& path, std::string_view text);
// The lines of the file joined with CR LF, without one after the last line; "" when there is no
// such file. Raises rtl::EInOutError when it exists but cannot be read.
std::string ReadDataFile(const std::string& path);

// Copies ProgramPath + "data\BonusContent\" + File into Documents + "\Dunmarrow\" + Folder + "\",
// making that folder. Nothing when the source is missing; a failing copy is logged as a warning.
void CopyBonusFile(const std::string& programPath, const std::string& documents, const std::string& file,
                   const std::string& folder);

// The script files a reload joins, in order: the template, then every other "*.lua" file of the
// current folder in listing order, without the bundle's own names and without names already
// taken (letter case ignored, as the files are looked up).
std::vector<std::string> ReloadScriptNames();
// Appends the lines of each file of Names to Text, logging "LoadFromFile <name>" for each. False
// when a file cannot be read (a missing template with a warning, any other file with an error);
// Text is then incomplete and must not run.
bool LoadReloadScripts(const std::vector<std::string>& names, rtl::TStringList& text);

// The standard cursor (an IDC_ value) of a SetCursor name: exact names; any other gives the
// arrow.
const char* CursorOfName(std::string_view name);

}  // namespace script_files
