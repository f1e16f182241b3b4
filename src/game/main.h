// Unit main: the game object TMainForm and the globals of the unit.
//
// TMainForm owns the surface engine, the script host and the key/value stores, keeps the game's
// state between frames, and offers the scripts everything they may do: each of its published
// operations is a Lua global of the same name (the table in main_register.cpp, in declaration
// order). The application frame makes the one instance with every field zero, empty or false,
// calls FormCreate and CreateResources_Testing from its window creation, and never frees it.
//
// The class is one class split by concern: main_startup.cpp (set-up, end of game),
// main_clock.cpp (system cursor; the game clock is GameClock.h), main_layout.cpp (texture layout
// table), main_groups.cpp (groups and clip rectangles), main_register.cpp (the published table),
// and one file per further concern (main_frame, main_display, main_pictures, main_drawing,
// main_queries, main_input, main_appdata, main_params, main_sound, main_codec, main_files,
// main_dates, main_viewer, main_net). Script operations take the calling Lua state, read their
// arguments by position and return the number of results they pushed; this header needs no Lua
// header for that.
//
// Main thread only, except the game clock (GameClock.h).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "game/AssArray.h"
#include "game/GameClock.h"
#include "game/GroupStack.h"
#include "game/TexSurfaceIndex.h"
#include "platform/win32/win32_types.h"
#include "runtime/Errors.h"
#include "runtime/StringList.h"
#include "script/MyLua.h"
#include "surface/KeshTextureEngine3D.h"

struct lua_State;
class CD3DGame;   // the application object; its class belongs to the frame

// One row of the texture layout table.
struct tTexSurface {
  std::string Name;     // picture name as the scripts use it, with its extension
  std::string Texture;  // texture file name without extension
  int32_t PosX = 0, PosY = 0, Width = 0, Height = 0;  // texels inside the texture
  bool Compress = false;      // the line's "Compress=" value; loading uses LoadCompress
  bool Rotate = false;        // stored in the texture turned by 90 degrees
  bool LoadCompress = false;  // compress flag of the last load
  int32_t SourceIndex = -1;   // -1, or for an alias the index of the row it copies
  bool Loaded = false;
};

// The record of the last DrawText call; nothing reads it.
struct TDrawText {
  std::string Text;
  int32_t X = 0, Y = 0, Color = 0;
  double R = 0, G = 0, B = 0, Alpha = 0;  // 0..1
};

// An effect named by the viewer configuration.
struct TEffectDesc {
  std::string Name;
  int32_t X = 0, Y = 0;
};

// A conversion error of the texture layout table, with the script line that caused it.
class ETextureLayoutError : public rtl::EConvertError {
public:
  ETextureLayoutError(const std::string& message, int lineNumber, std::string line)
      : rtl::EConvertError(message), LineNumber(lineNumber), Line(std::move(line)) {}
  int LineNumber;  // 1-based, in the lines given to the parse
  std::string Line;
};

// The values of the current group; drawing reads them.
struct tGroupValues {
  double X = 0, Y = 0;
  double ScaleX = 1, ScaleY = 1;
  double Alpha = 1;  // after GroupBegin/GroupEnd: the product of every open group's Alpha
  double CenterX = -1, CenterY = -1;
};

// --- globals of unit main
inline int32_t StartFullScreen = 0;  // 1 full screen, 0 windowed; written by the frame first
inline std::string ProjectName;
inline std::string AppDataFolder;    // with trailing backslash
inline std::string ProgramPath;      // with trailing backslash
inline std::string DocumentsFolder;
inline int32_t CurrentGroup = -1;    // index into GroupStack, -1 when no group is current
inline tGroupValues CurrentGroupValues;
inline double FPS = 0;
inline int32_t FpsFrames = 0;
inline int32_t FpsLastTime = 0;

class TMainForm : public TPublishedObject {
public:
  // --- fields, in declared order
  std::string ScriptLog;  // the script's own log file, as InitLogFile names it
  int32_t ModeCode1 = 0, ModeCode2 = 0;
  bool Paused = false;
  int32_t PausedTime = 0;   // ms, length of the last pause
  int32_t PauseStart = 0;   // game time at which the current pause began
  int32_t CursorCounter = 0;  // 1 while this object leaves the system cursor shown
  platform::win32::RECT TaskbarRect{0, 0, 0, 0};
  bool SurveyOpened = false;
  std::string ProgramFolder;  // folder of the executable, without trailing backslash
  std::vector<TDrawText> TextItems;
  std::vector<tTexSurface> TexSurfaces;
  int32_t LoadingPercent = 0;
  bool Loading = false;
  double MouseYOffset = 0;
  // The stores; the game object is never freed, and each CreateAppDataFolder replaces them.
  std::unique_ptr<tAssArray> GameParams;
  std::unique_ptr<tAssArray> LocalGameParams;
  std::unique_ptr<tAssArray> Profile;
  std::u16string GameTitle;
  CD3DGame* Game = nullptr;  // back-link to the application object; may be null
  int32_t SizeOverrideX = 0, SizeOverrideY = 0;
  platform::win32::HWND WindowHandle = nullptr;
  double GroupMouseX = 0, GroupMouseY = 0;
  double FPSMax = 0;
  int32_t FirstDrawTime = 0;
  std::unique_ptr<TKeshSurfaceEngine3D> Engine;
  int32_t FullScreenMode = 0;  // 1 full screen, 0 windowed
  bool CustomCursor = false;
  long double MouseX = 0, MouseY = 0;  // last mouse position in drawing coordinates
  int32_t OffsetX = 0, OffsetY = 0;
  bool DebugMode = false;
  int32_t ViewerMode = 0;
  std::string ViewerBackground;
  bool ViewerFromFileFolder = false, ViewerBackgroundSet = false, ViewerRedraw = false;
  std::string DataFolder;  // relative to the current folder, with trailing backslash
  std::vector<TEffectDesc> ViewerEffects;
  std::unique_ptr<TMyLua> LuaHost;
  bool DebugOverlay = false;
  std::vector<int32_t> FrameTextures;
  std::string LaunchList, LaunchName;
  rtl::TStringList SplashFiles;
  bool PauseShiftsClock = false;
  std::string CurrentBack;
  TTexSurfaceIndex TexSurfaceLookup;  // DrawPicture's index of TexSurfaces by name
  // The "g_pd3dDevice = nil" line of Draw: the first frame of a device-less run logs it, then
  // at most one line a second (tick count of the last one).
  bool NoDeviceLogged = false;
  uint32_t NoDeviceLogTick = 0;
  // Counts the engine replacements of SetSystemResolution, so that a frame whose script
  // callback replaced the engine knows it, even when the new engine has the old one's address.
  uint32_t EngineGeneration = 0;
  std::string StoresProjectName;  // the project whose files the stores were loaded from

  // --- start-up and end (main_startup.cpp)
  void FormCreate();
  void FormDestroy();
  void FormActivate();
  void FormPaint();
  void GetMyDoc(std::string& path);
  void CreateResources_Testing();
  void SaveGameBeforeGame();
  // The steps of CreateResources_Testing, in its order.
  void LoadScriptBundle(rtl::TStringList& scriptText);  // ends the process when there is none
  void ReadGameTitle();
  void AppendSoundList(rtl::TStringList& scriptText);

  // --- per-user folder and project settings (main_appdata.cpp)
  int CreateAppDataFolder(lua_State* L);
  int LoadLuas(lua_State* L);
  void ApplyProjectSettings(const std::string& settings);
  void LoadStores();  // the three stores from the per-user folder and the current folder
  // A log detail level: a decimal integer, kept in 8 bits. False for any other text.
  static bool DecimalDetailLevel(const std::string& text, uint8_t& level);

  // --- frame, loading and pause (main_frame.cpp)
  int LoadingTrue(lua_State* L);
  int LoadingFalse(lua_State* L);
  int LowBitsInHistoryForLua(lua_State* L);
  void Draw();
  void AppIdle(bool& done);
  void Pause();
  void RePause();
  void Call_Pause();
  void Call_RePause();
  bool LowBitsInHistory();
  void WOptions_OK_MouseUp_fromCode();

  // --- display and window modes, splash pictures (main_display.cpp)
  int GetSystemResolution(lua_State* L);
  int SetSystemResolution(lua_State* L);
  int GetWindowSize(lua_State* L);
  int LoadSplash(lua_State* L);
  int ReLoadSplash(lua_State* L);
  void ChangeWindowMode();
  void Call_A_ChangeResolution();
  void ErrorGraphicsMode();

  // --- texture layout table (main_layout.cpp)
  int DublicateSurface(lua_State* L);
  // Empties TexSurfaces and fills it from the marked block of Lines. A Rotate= or Compress=
  // value that is no boolean stops the parse at its line, keeping the rows made so far, and
  // raises ETextureLayoutError.
  void ParseTextureLayout(const rtl::TStringList& lines);
  int32_t FindTexSurface(const std::string& name) const;  // first exact match, -1 when none
  void AddSurfaceAlias(const std::string& newName, const std::string& sourceName);

  // --- picture and texture loading (main_pictures.cpp)
  int LoadTextures(lua_State* L);
  int ReLoadTextures(lua_State* L);
  int LoadPictures(lua_State* L);
  int ReLoadPictures(lua_State* L);
  int SaveCurrentSurfaces(lua_State* L);
  int SetCurrentBack(lua_State* L);
  int SetPreLoadInMemory(lua_State* L);
  int EvictManagedResources(lua_State* L);
  int LoadAllPNGFromPicturePath(lua_State* L);
  int CopyAlphaChannel(lua_State* L);
  int ConvertSurfaceToNormalMap(lua_State* L);
  void LoadAllTextures();

  // --- drawing (main_drawing.cpp)
  int DrawPicture(lua_State* L);
  int DrawText(lua_State* L);
  int OutTextXY(lua_State* L);
  int DrawLine(lua_State* L);
  int DrawPoligon(lua_State* L);
  int DrawTriangle(lua_State* L);

  // --- picture queries and hit tests (main_queries.cpp)
  int InsideRect(lua_State* L);
  int InsidePicture(lua_State* L);
  int GetPictureSize(lua_State* L);
  int GetMassCenter(lua_State* L);
  int SetPictureWidth(lua_State* L);
  int GetPictureWidth(lua_State* L);
  bool GetAlphaFromSurf(const std::string& name, int64_t x, int64_t y, int32_t radius, int32_t threshold);

  // --- transform groups and clip rectangles (main_groups.cpp)
  int GroupBegin(lua_State* L);
  int GroupEnd(lua_State* L);
  int ClipRectBegin(lua_State* L);
  int ClipRectEnd(lua_State* L);
  void OpenGroup(const std::string& name, const tGroupValues& values);
  void CloseGroup(const std::string& name);
  // Corners: up to four values x1, y1, x2, y2 replacing the defaults in this order.
  void OpenClipRect(const std::string& name, std::span<const double> corners);
  void CloseClipRect(const std::string& name);

  // --- input forwarding (main_input.cpp)
  int SetoffsetXY(lua_State* L);
  void FormMouseDown(int32_t button, int32_t x, int32_t y);
  void FormMouseUp(int32_t button, int32_t x, int32_t y);
  void FormMouseMove(int32_t x, int32_t y);
  void FormMouseWheel(int32_t delta, int32_t direction);
  void FormKeyDown(uint16_t key, uint16_t ch);
  void FormKeyPress(char key);
  void FormKeyUp(uint16_t key);

  // --- parameters and profile (main_params.cpp)
  int GetParamsFromCode(lua_State* L);
  int SetParamsToCode(lua_State* L);
  int GetProfileFromCode(lua_State* L);
  int SetProfileToCode(lua_State* L);
  int SetProfileParam(lua_State* L);
  // The value after Name and the one character following it, up to the next ";".
  static std::string ExtractParamValue(const std::string& text, const std::string& name);
  // Each ";"-closed item of Text, less leading TAB, CR and LF, goes to the store's AddLine.
  static void SplitItems(const std::string& text, tAssArray& store);
  void SaveProfile();  // both profile files
  void SaveGameParams(const char* operation);  // "GameParams.txt"; a failure is logged

  // --- sound (main_sound.cpp)
  int InitSound(lua_State* L);
  int LoadSound(lua_State* L);
  int PlaySound(lua_State* L);
  int StopSound(lua_State* L);
  int SetVolumeSound(lua_State* L);
  int FreeSounds(lua_State* L);
  void LogSoundMessages();  // the stand-in's queued warnings, into the main log

  // --- payload codec (main_codec.cpp)
  int CryptStr(lua_State* L);
  int DecryptStr(lua_State* L);
  int CryptPOST(lua_State* L);
  int DecryptPOST(lua_State* L);
  int DepostNZip(lua_State* L);

  // --- files, links, logs and other operations (main_files.cpp)
  int InitLogFile(lua_State* L);
  int WriteToLogFile(lua_State* L);
  int DataFromFile(lua_State* L);
  int DataToFile(lua_State* L);
  int SaveFile(lua_State* L);
  int GetCurrentLanguage(lua_State* L);
  int GetDialogList(lua_State* L);
  int QuitGame(lua_State* L);
  int SetFormCaption(lua_State* L);
  int ReLoadLua(lua_State* L);
  int AppChangeWindowMode(lua_State* L);
  int AppChangeCustomCursor(lua_State* L);
  int SetCursor(lua_State* L);
  int OpenUrl(lua_State* L);
  int JumpUrl(lua_State* L);
  int WSurvey_BOk(lua_State* L);
  int ShowErrorAlert(lua_State* L);
  // Shell open with the default verb; a text the shell refuses is logged.
  void OpenUrlByString(const std::string& url);
  std::string FormCaption;  // SetFormCaption's text; nothing reads it (the window keeps its title)

  // --- dates, text tables, digests, device identity (main_dates.cpp)
  int GetMD5(lua_State* L);
  int GetDeviceID(lua_State* L);
  int NumberToDate(lua_State* L);
  int DateToNumber(lua_State* L);
  int CodesToUTF8(lua_State* L);
  int UTF8ToCodes(lua_State* L);

  // --- viewer parameters (main_viewer.cpp)
  int ParseParameters(lua_State* L);
  int ParseParametersFromConfig(lua_State* L);
  int ParseParametersFromParamStr(lua_State* L);
  // What they do to the viewer fields: the settings of the configuration file FileName (nothing
  // when it cannot be read, with an error in the log), and of the command-line parameters Params
  // (after the program name). Effects are appended to ViewerEffects.
  void ReadViewerConfig(const std::string& fileName);
  void ReadViewerSwitches(const std::vector<std::string>& params);

  // --- HTTP requests (main_net.cpp)
  int PostUrl(lua_State* L);
  // The answer handler of the asynchronous requests, on the main thread: the text the script
  // receives (PostAnswerText of an answer, made on the worker; or a failure text) goes to the log
  // and to the script function FuncName.
  void PostUrlAnswer(const std::string& funcName, std::string text);

  // --- game clock and system cursor (main_clock.cpp)
  // Shows or hides the system cursor by at most one step of the system's display count.
  void ShowSystemCursor(bool show);

  static const TPublishedTable<TMainForm> Published;
  const TPublishedClass& PublishedClass() const override { return Published; }
};
