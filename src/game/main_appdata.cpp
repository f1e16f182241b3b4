// Per-user folder and project settings of the game object: CreateAppDataFolder (the per-user
// folder, the data-folder mode, the main log, the three stores, the window title) and LoadLuas
// with ApplyProjectSettings (project name, log detail level, the folder and the main log again).
//
// The application-data folder is the win32 layer's "APPDATA", read whole. It is empty only when
// the user has no home folder at all; the program folder then serves as the per-user folder.
#include <memory>

#include "foundation/KeshLogEngine.h"
#include "foundation/SFunctions.h"
#include "game/AssArray.h"
#include "game/main.h"
#include "platform/win32/win32_codepage.h"
#include "platform/win32/win32_desktop.h"
#include "platform/win32/win32_folders.h"
#include "runtime/Files.h"
#include "runtime/StringList.h"
#include "runtime/Strings.h"
#include "script/LuaArgs.h"

namespace win32 = platform::win32;

namespace {

constexpr const char* kExcludedParams[] = {
    "cheatmode",         "HintRestorationTimeCheat",  "SkipFirstMovie",
    "DebugMode",         "SkipRestorationExpertTime", "HintRestorationExpertTime",
    "SkipRestorationCasualTime", "DetalizationMode",  "HintRestorationCasualTime",
    "SkipRestorationTime", "HintRestorationTime"};

// The per-user folder under the application-data folder, made with its parents; "" when the
// environment has no application-data folder.
std::string MakeProjectFolder(const std::string& projectName, const char* operation) {
  const std::string appdata = win32::GetEnvironmentText("APPDATA");
  if (appdata.empty()) return {};
  const std::string folder = appdata + "\\Dunmarrow\\" + projectName;
  if (!rtl::ForceDirectories(folder)) {
    LogEngine->AddWarning(std::string("TMainForm.") + operation + " cannot create the folder " + folder);
  }
  return folder + "\\";
}

// The data-folder mode file's two codes; both 0 unless it holds exactly one line.
void ReadModeCodes(const std::string& path, int32_t& code1, int32_t& code2) {
  if (!rtl::FileExists(path)) return;
  rtl::TStringList lines;
  try {
    lines.LoadFromFile(path);
  } catch (const rtl::EInOutError& e) {
    LogEngine->AddWarning("TMainForm.CreateAppDataFolder " + path + ": " + e.what());
    return;
  }
  if (lines.Count() != 1) return;
  const std::string& line = lines[0];
  code1 = ValInt(std::string_view(line).substr(0, 5));
  code2 = ValInt(line.size() > 5 ? std::string_view(line).substr(5, 10) : std::string_view());
}

}  // namespace

bool TMainForm::DecimalDetailLevel(const std::string& text, uint8_t& level) {
  const std::string digits = rtl::TrimLeft(text);
  // StrToInt also reads hexadecimal, which a detail level never is.
  if (digits.find_first_of("$xX") != std::string::npos) return false;
  int32_t value = 0;
  try {
    value = rtl::StrToInt(digits);
  } catch (const rtl::EConvertError&) {
    return false;
  }
  level = static_cast<uint8_t>(static_cast<uint32_t>(value));
  return true;
}

int TMainForm::CreateAppDataFolder(lua_State* L) {
  const int n = LuaArgCount(L);
  if (n == 0) return 0;
  ProjectName = LuaArgText(L, 1);
  const std::string title = n >= 2 ? LuaArgText(L, 2) : std::string();
  GetMyDoc(DocumentsFolder);

  ProgramPath = rtl::ProgramFolder();
  AppDataFolder = ProgramPath;
  if (const std::string folder = MakeProjectFolder(ProjectName, "CreateAppDataFolder"); !folder.empty()) {
    AppDataFolder = folder;
    // The file's name is put together at run time, as the game data expects.
    ReadModeCodes(ProgramPath + "\\cer" + "tifi" + "cate" + ".txt", ModeCode1, ModeCode2);
    if (ModeCode1 == tAssArray::kPlainModeCode1 && ModeCode2 == tAssArray::kPlainModeCode2) AppDataFolder = ProgramPath;
  }
  LogEngine->MainLog = LogEngine->AddLogFile(AppDataFolder + ProjectName + ".log");
  LoadStores();

  if (n >= 2) {
    const std::u16string caption = !GameTitle.empty() ? GameTitle : win32::AnsiToUtf16(title);
    win32::SetWindowTextW(WindowHandle, caption.c_str());
  }
  return 0;
}

void TMainForm::LoadStores() {
  StoresProjectName = ProjectName;
  GameParams = std::make_unique<tAssArray>();
  GameParams->Plain = true;
  GameParams->LoadFromFile(AppDataFolder + "GameParams.txt", 0);
  GameParams->SkipExcluded = true;
  GameParams->ExcludedKeys.assign(std::begin(kExcludedParams), std::end(kExcludedParams));

  LocalGameParams = std::make_unique<tAssArray>();
  LocalGameParams->Plain = true;
  if (rtl::FileExists("GameParams.txt")) {
    LocalGameParams->LoadFromFile("GameParams.txt", 0);
    for (const tAssPair& local : LocalGameParams->Pairs) {
      bool found = false;
      for (tAssPair& pair : GameParams->Pairs) {
        if (pair.Key != local.Key) continue;
        pair.Value = local.Value;
        found = true;
      }
      if (!found) GameParams->AddPair(local.Key, local.Value);
    }
  } else {
    for (tAssPair& pair : GameParams->Pairs) {
      if (pair.Key == "DebugMode" || pair.Key == "cheatmode") pair.Value = "false";
    }
  }
  if (win32::GetSystemMetrics(win32::SM_CYSCREEN) <= 600) {
    for (tAssPair& pair : GameParams->Pairs) {
      if (pair.Key == "Fullscreen") pair.Value = "true";
    }
  }

  Profile = std::make_unique<tAssArray>();
  Profile->ModeCode1 = ModeCode1;
  Profile->ModeCode2 = ModeCode2;
  Profile->LoadFromFile(AppDataFolder + "ZazoData.cfg", 0);
  Profile->LoadFromFile(AppDataFolder + "Profile.txt", 1);
}

int TMainForm::LoadLuas(lua_State* L) {
  if (LuaArgCount(L) > 2) ApplyProjectSettings(LuaArgText(L, 3));
  return 0;
}

void TMainForm::ApplyProjectSettings(const std::string& settings) {
  std::string rest = settings;
  for (std::size_t end = rest.find(';'); end != std::string::npos; end = rest.find(';')) {
    const std::string item = rest.substr(0, end);
    rest.erase(0, end + 1);
    const std::size_t eq = item.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = item.substr(0, eq), value = item.substr(eq + 1);
    if (key == "ProjectName") {
      ProjectName = value;
    } else if (key == "DetalizationMode") {
      uint8_t level = 0;
      if (!DecimalDetailLevel(value, level)) {
        LogEngine->AddWarning("TMainForm.LoadLuas DetalizationMode=" + value + " is not a number: not applied");
      } else if (LogEngine->MainLog) {
        LogEngine->MainLog->DetalizationMode = level;
      }
    }
  }
  // The runtime's number conversions always use "." as the decimal separator: nothing to set.

  ProgramPath = rtl::ProgramFolder();
  AppDataFolder = ProgramPath;
  if (const std::string folder = MakeProjectFolder(ProjectName, "LoadLuas"); !folder.empty()) AppDataFolder = folder;
  LogEngine->MainLog = LogEngine->AddLogFile(AppDataFolder + ProjectName + ".log");
  if (GameParams && ProjectName != StoresProjectName) {
    LogEngine->AddWarning("TMainForm.LoadLuas the parameters and the profile still hold the pairs of the project " +
                          StoresProjectName + "; the next save writes them into the folder of " + ProjectName);
  }
}
