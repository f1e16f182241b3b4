// Start-up and end of the game object: FormCreate (clock, data folder, surface engine without a
// device), CreateResources_Testing (script host, the published operations as Lua globals, the
// script bundle with the title file, the sound list and the texture layout table, then A_Init),
// and SaveGameBeforeGame (G_EndGame).
//
// The script bundle lies in the data folder as plain "AllLua.lua" or scrambled "AllLua.luac".
// The plain one wins and is written back scrambled, replacing the old file atomically, so a game
// can ship the scrambled file alone; a game folder that cannot be written keeps working from the
// plain text.
#include "game/main.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "foundation/CUnit.h"
#include "foundation/KeshLogEngine.h"
#include "foundation/KeshParser.h"
#include "platform/win32/win32_codepage.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_window.h"
#include "runtime/Files.h"
#include "runtime/Random.h"
#include "runtime/Streams.h"
#include "runtime/Strings.h"
#include "runtime/Units.h"

namespace win32 = platform::win32;

namespace {

constexpr const char* kBundleKey = "tovbik";

}  // namespace

void TMainForm::FormCreate() {
  if (win32::HWND tray = win32::FindWindowA("Shell_TrayWnd", nullptr)) {
    win32::RECT rect{};
    if (win32::GetWindowRect(tray, &rect)) TaskbarRect = rect;
  }
  SurveyOpened = false;
  CursorCounter = 1;
  Paused = false;
  PausedTime = 0;
  LoadingPercent = 0;
  Loading = false;
  FPSMax = 0;
  FirstDrawTime = 0;
  StartTick = win32::GetTickCount();
  LoadingPauseStart = 0;
  DebugOverlay = false;

  CurrentGroup = -1;
  const double alpha = CurrentGroupValues.Alpha;  // CreateResources_Testing sets it
  CurrentGroupValues = tGroupValues{};
  CurrentGroupValues.Alpha = alpha;

  FullScreenMode = StartFullScreen;
  // With the counter at 1 the first call does nothing and the second hides the cursor once.
  ShowSystemCursor(true);
  ShowSystemCursor(false);
  GetGameTime();  // the first reading fixes EpochOffsetMs
  rtl::Randomize();

  rtl::SetCurrentDir(ProgramFolder);
  DataFolder = "data\\";
  if (!rtl::DirectoryExists("data\\") && rtl::DirectoryExists("..\\bin\\data\\")) DataFolder = "..\\bin\\data\\";

  // No device yet: the scripts create it at the size they choose.
  Engine = std::make_unique<TKeshSurfaceEngine3D>(win32::GetSystemMetrics(win32::SM_CXSCREEN),
                                                  win32::GetSystemMetrics(win32::SM_CYSCREEN),
                                                  FullScreenMode == 1, 0, 0, 1280, 1024, DataFolder);
}

void TMainForm::CreateResources_Testing() {
  // The runtime's number conversions always use "." as the decimal separator: nothing to set.
  CurrentGroupValues = tGroupValues{};

  // Lua is linked into the program, so no library has to be found beside the executable.
  try {
    LuaHost = std::make_unique<TMyLua>(false);
  } catch (const std::exception& e) {
    LogEngine->AddError(std::string("TMainForm.CreateResources_Testing ") + e.what());
    rtl::Halt(0);
  }
  LuaHost->RegisterFunctions(this);

  rtl::TStringList scriptText;
  LoadScriptBundle(scriptText);
  ReadGameTitle();
  AppendSoundList(scriptText);
  try {
    ParseTextureLayout(scriptText);
  } catch (const ETextureLayoutError& e) {
    // The rows made before the bad line stay; the game starts with them.
    LogEngine->AddError("TMainForm.ParseTextureLayout " + std::string(e.what()) + " in line " +
                        rtl::IntToStr(e.LineNumber) + ": " + e.Line);
  }

  LuaHost->Start(scriptText);
  // A_Init gets the wall clock of the reading before this one, not a fresh value.
  const uint32_t wallClock = WallClockMs;
  const int32_t gameTime = GetGameTime();
  LuaHost->StartEngine(gameTime, LaunchList, LaunchName, wallClock);
}

void TMainForm::LoadScriptBundle(rtl::TStringList& scriptText) {
  const std::string plain = DataFolder + "AllLua.lua";
  const std::string packed = DataFolder + "AllLua.luac";
  try {
    if (rtl::FileExists(plain)) {
      scriptText.LoadFromFile(plain);
      rtl::TMemoryStream text, scrambled;
      scriptText.SaveToStream(text);
      ScrambleStream(text, scrambled, kBundleKey);
      try {
        rtl::WriteFileBytes(packed, scrambled.ToString());
      } catch (const rtl::EInOutError& e) {
        LogEngine->AddWarning("TMainForm.CreateResources_Testing " + packed + " not written: " + e.what());
      }
      return;
    }
    if (rtl::FileExists(packed)) {
      rtl::TMemoryStream scrambled, text;
      scrambled.WriteString(rtl::ReadFileBytes(packed));
      ScrambleStream(scrambled, text, kBundleKey);
      scriptText.LoadFromStream(text);
      return;
    }
  } catch (const rtl::EInOutError& e) {
    // A bundle that exists but cannot be read ends start-up like a missing one.
    LogEngine->AddError("TMainForm.CreateResources_Testing " + std::string(e.what()));
    rtl::Halt(0);
  }
  LogEngine->AddHint("data\\AllLua.lua not exist ");
  // The log alone leaves a player who started the program from the wrong folder with a program
  // that ends silently: say where it looked, and end as a failure.
  std::string folder = ProgramFolder + "/" + rtl::ExcludeTrailingBackslash(DataFolder);
  std::replace(folder.begin(), folder.end(), '\\', '/');
  std::fprintf(stderr, "quorrel: no game in %s: neither AllLua.lua nor AllLua.luac is there\n", folder.c_str());
  rtl::Halt(1);
}

void TMainForm::ReadGameTitle() {
  GameTitle.clear();
  const std::string path = DataFolder + "Game title.txt";
  if (!rtl::FileExists(path)) return;
  try {
    rtl::TMemoryStream stream;
    stream.WriteString(rtl::ReadFileBytes(path));
    stream.SetPosition(0);
    TKeshParser parser;
    parser.LoadFromStream(stream);
    // Only the direct children of the first top-level element; its own name plays no part.
    if (parser.Tags.empty()) return;
    if (const TKeshXMLTag* title = parser.Tags.front()->FindTag("GameTitle")) {
      GameTitle = win32::Utf8ToUtf16(title->Text);
    }
  } catch (const rtl::EInOutError& e) {
    LogEngine->AddWarning("TMainForm.CreateResources_Testing " + path + ": " + e.what());
  }
}

void TMainForm::AppendSoundList(rtl::TStringList& scriptText) {
  // Joined as they stand: with "data\" the path holds a doubled backslash, which maps alike.
  const std::string path = DataFolder + "\\sounds\\soundsID.lua";
  if (!rtl::DirectoryExists(DataFolder) || !rtl::DirectoryExists(DataFolder + "\\sounds") || !rtl::FileExists(path)) {
    return;
  }
  try {
    rtl::TStringList sounds;
    sounds.LoadFromFile(path);
    scriptText.AddStrings(sounds);
  } catch (const rtl::EInOutError& e) {
    LogEngine->AddWarning("TMainForm.CreateResources_Testing " + path + ": " + e.what());
  }
}

void TMainForm::SaveGameBeforeGame() {
  if (LuaHost) LuaHost->CallScript("G_EndGame", {}, TScriptFailure::ReportAndEnd);
}

void TMainForm::GetMyDoc(std::string& path) {
  path.clear();
  win32::ITEMIDLIST* list = nullptr;
  if (win32::FAILED(win32::SHGetSpecialFolderLocation(WindowHandle, win32::CSIDL_PERSONAL, &list)) || !list) return;
  char buffer[win32::MAX_PATH] = {};
  if (win32::SHGetPathFromIDListA(list, buffer)) path = buffer;
  win32::CoTaskMemFree(list);
}

void TMainForm::FormDestroy() {
  LuaHost.reset();
  GroupStack.clear();
}

void TMainForm::FormActivate() {}

void TMainForm::FormPaint() {}
