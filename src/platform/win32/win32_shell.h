// Shell services: opening a link or a document with the desktop's handler, and the user's
// special folders.
//
// Shell open runs xdg-open with the text as its one argument, directly (never through a shell)
// and without waiting. Only these are opened: http, https and mailto links; ".url" files, by
// their URL= line, when that is an http or https link; existing regular files that are not
// programs (no execute bit, and not of a kind the desktop would run: launchers, installers,
// scripts). Everything else is refused with a log warning, so a script text can never start a
// program.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/win32_types.h"
#include "platform/win32/win32_window.h"

namespace platform::win32 {

constexpr int SE_ERR_FNF = 2;
constexpr int SE_ERR_ACCESSDENIED = 5;
constexpr int SE_ERR_NOASSOC = 31;

// verb nullptr or "open"; parameters must be empty. A result above 32 means success, as on
// Windows.
HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                        LPCSTR directory, int showCommand);

// Special folders: CSIDL_PERSONAL is the XDG documents folder, else ~/Documents; CSIDL_APPDATA
// the "APPDATA" meaning of the environment (see win32_folders.h).
constexpr int CSIDL_PERSONAL = 0x0005;
constexpr int CSIDL_APPDATA = 0x001A;
struct ITEMIDLIST;
HRESULT SHGetSpecialFolderLocation(HWND owner, int folder, ITEMIDLIST** list);
// path must hold MAX_PATH characters; FALSE (and "") when the folder's text does not fit.
BOOL SHGetPathFromIDListA(const ITEMIDLIST* list, char* path);
void CoTaskMemFree(void* memory);  // frees an ITEMIDLIST

std::string DocumentsFolder();

namespace testing {

// While capturing, shell open records what it would hand to xdg-open instead of starting it.
void CaptureShellOpen(bool capture);
std::vector<std::string> ShellOpened();
void ClearShellOpened();

}  // namespace testing

}  // namespace platform::win32
