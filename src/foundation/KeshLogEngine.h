// The process-wide log engine: a list of template-driven text log files, one of which is the
// main log that AddMessage, AddError, AddWarning and AddHint write to.
//
// A log file is created (or emptied) with a header at the first message that passes its
// detail level; every line is appended and the file closed again before the reporting call
// returns, so a crash loses nothing. Identical consecutive messages fold into one repeat line
// ("*N"). At program end CloseAll writes the pending repeat lines and the footers with the
// counts of errors, warnings and hints. A run without messages touches no file.
//
// A file that cannot be created or written (read-only folder, full disk, missing folder) is
// marked Unusable for the rest of the run instead of failing the reporting call; the other log
// files go on working. The main log is not dropped, since then nothing would tell of the run:
// its lines go on to standard error (LF ends them there), after one line naming the file.
//
// Log files are told apart by their name alone (folder not compared): adding "a/x.log" after
// "b/x.log" gives back the file already registered. Tests that want the log in a folder of
// their own register it under a fresh name and make it the main log:
//   LogEngine->MainLog = LogEngine->AddLogFile(dir + "/x.log");
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/DateTime.h"

// 0 plain message, 1 error, 2 warning, 3 hint.
using LogMessageType = uint8_t;

struct TConstant {
  std::string Name;
  std::string Value;
};
using TConstants = std::vector<TConstant>;

// The last message written and how many exact repeats of it are pending.
struct TLastMessage {
  std::string LastMessage;
  LogMessageType LastType = 0;
  int32_t RepeatCount = 0;
};

class TKeshLogEngine;

class TLogFile {
public:
  explicit TLogFile(const std::string& fullName);  // touches no file
  ~TLogFile();                                     // writes nothing

  std::string HeaderTemplate;
  int32_t ErrorsCount = 0;
  std::string FooterTemplate;
  bool Opened = false;  // true from the first opening on
  TKeshLogEngine* Engine = nullptr;
  std::string FileName;  // name part of the full path
  std::string FilePath;  // folder part with its trailing separator
  int32_t HintsCount = 0;
  std::string DateTimeFormat = "dddd  d-mmm-yyyy  hh:nn:ss";
  std::string TimeFormat = "hh:nn:ss:zzz";
  bool RewriteOnOpen = true;
  uint8_t DetalizationMode = 3;  // a message is written when its type is not above this
  bool Disabled = false;
  std::string LineTemplate;
  int32_t WarningsCount = 0;
  TLastMessage Last;
  TConstants Variables;
  std::string TypeCaptions[4] = {"", "ERROR !!!", "Warning!", ""};
  int32_t MaxMessageLength = 1000;
  bool InWrite = false;  // stops a nested write to this file
  bool Unusable = false; // a write failed: nothing more is written to this file in this run
  bool ToStandardError = false;  // the main log's file failed: its lines go to standard error

  void AddVariable(const std::string& name, const std::string& value);
  TConstant FindVariable(const std::string& name) const;  // Name "" when absent

  void AddMessage(const std::string& text, LogMessageType messageType);
  void Open();
  void WriteLine(const std::string& line);
  void FlushRepeat();
  void Close();

  std::string ExpandTemplate(const std::string& templateText);
  std::string ExpandVariable(const std::string& name, const std::string& width, const std::string& prefix,
                             const std::string& suffix);
  static std::string Align(const std::string& value, char fill, int width, bool leftAligned);
  std::string FormatDateTimeNow(const std::string& format) const;
  std::string FormatTimeFromStart(const std::string& format) const;

private:
  std::string FullPath() const { return FilePath + FileName; }
  // Appends Text and CR LF; on failure marks the file Unusable and returns false.
  bool AppendText(const std::string& text);
  // The file failed with the given error code: the main log moves to standard error, any other
  // file is Unusable from now on.
  void CannotWrite(int code);
};

using TLogFilesList = std::vector<std::unique_ptr<TLogFile>>;

class TKeshLogEngine {
public:
  // Takes the start tick, gathers the system information and registers the program folder's
  // "Log.txt" as main log; writes nothing.
  TKeshLogEngine();
  ~TKeshLogEngine();  // frees the files, writes nothing
  TKeshLogEngine(const TKeshLogEngine&) = delete;
  TKeshLogEngine& operator=(const TKeshLogEngine&) = delete;

  TLogFile* MainLog = nullptr;  // one of LogFiles; nothing is reported while it is null
  TLogFilesList LogFiles;       // in order of creation
  uint32_t StartTicks = 0;
  std::string Processor;
  std::string TotalMemory;
  std::string OS;
  std::string FreeHDSpace;

  TLogFile* AddLogFile(const std::string& fullName);
  void AddMessage(const std::string& text);
  void AddError(const std::string& text);
  void AddWarning(const std::string& text);
  void AddHint(const std::string& text);
  void WriteMessage(const std::string& text, LogMessageType messageType, const std::string& fileName);
  TLogFile* FindLogFile(const std::string& fileName);
  void CloseAll();
  void GetSysInfo();

  // Test seam: the clock behind the DateTime variable; an empty function restores rtl::Now.
  static void SetClockForTesting(std::function<rtl::TDateTime()> clock);
};

extern TKeshLogEngine* LogEngine;

// Creates LogEngine once (later calls do nothing) and registers FinalizeKeshLogEngine with the
// runtime's finalisers, so that the footers are the last thing written at program end.
void InitializeKeshLogEngine();
// CloseAll, then frees LogEngine.
void FinalizeKeshLogEngine();
