// The log engine and its template-driven log files (see KeshLogEngine.h). Templates hold
// placeholders "%Name|Width|Prefix|Suffix;" filled from each file's variable table; the
// message text is expanded together with the line template, so placeholders inside a message
// are filled too.
#include "foundation/KeshLogEngine.h"

#include <cstdio>

#include "foundation/CPUInfo.h"
#include "foundation/WinVer.h"
#include "platform/win32/win32_system.h"
#include "runtime/Errors.h"
#include "runtime/Files.h"
#include "runtime/Strings.h"
#include "runtime/Units.h"

TKeshLogEngine* LogEngine = nullptr;

namespace {

const char* const kCRLF = "\r\n";

std::function<rtl::TDateTime()>& Clock() {
  static std::function<rtl::TDateTime()> clock;
  return clock;
}

std::string HeaderTemplateText() {
  const std::string rule(80, '=');
  const std::string thin(80, '-');
  return rule + kCRLF +
         "Log: %LogVersion|5;%DetalizationMode|25|[|];%DateTime|45;" + kCRLF +
         kCRLF +
         "System Information:" + kCRLF +
         "  Processor     : %Processor;" + kCRLF +
         "  Total Memory  : %TotalMemory;" + kCRLF +
         "  Free HD Space : %FreeHDSpace;" + kCRLF +
         "  OS            : %OS;" + kCRLF +
         thin;
}

std::string FooterTemplateText() {
  const std::string blanks(80, ' ');
  return std::string(80, '-') + kCRLF +
         "[ Errors : %ErrorsCount; ,  Warnings : %WarningsCount; ,  Hints : %HintsCount; ]" + kCRLF +
         blanks + kCRLF + blanks + kCRLF + blanks;
}

// Wider fields are narrowed to this, so that a placeholder in a message cannot ask for a line
// of millions of blanks.
constexpr int kMaxFieldWidth = 1000;

// A width field is a decimal integer with an optional sign; anything else counts as no width.
bool ReadWidth(const std::string& text, int& width) {
  if (text.empty()) return false;
  std::size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
  if (i == text.size() || text.size() - i > 9) return false;
  int value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  if (value > kMaxFieldWidth) value = kMaxFieldWidth;
  width = text[0] == '-' ? -value : value;
  return true;
}

void WriteStandardError(std::string text) {
  std::erase(text, '\r');
  text += '\n';
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

std::string Blanks(int count) { return count > 0 ? std::string(static_cast<std::size_t>(count), ' ') : std::string(); }

std::string LevelText(uint8_t level) {
  switch (level) {
    case 1: return "Errors";
    case 2: return "Errors, Warnings";
    case 3: return "Errors, Warnings, Hints";
    default: return {};
  }
}

}  // namespace

// ---- TLogFile ----

TLogFile::TLogFile(const std::string& fullName)
    : HeaderTemplate(HeaderTemplateText()),
      FooterTemplate(FooterTemplateText()),
      FileName(rtl::ExtractFileName(fullName)),
      FilePath(rtl::ExtractFilePath(fullName)),
      LineTemplate("(%TimeFromStart||hh:nn:ss:zzz;) %MessagesCount||*;%MessageType||.; ") {}

TLogFile::~TLogFile() { Variables.clear(); }

void TLogFile::AddVariable(const std::string& name, const std::string& value) { Variables.push_back({name, value}); }

TConstant TLogFile::FindVariable(const std::string& name) const {
  for (const TConstant& c : Variables) {
    if (c.Name == name) return c;
  }
  return {};
}

void TLogFile::AddMessage(const std::string& text, LogMessageType messageType) {
  // Every call is counted, also those filtered out or folded below.
  if (messageType == 1) ++ErrorsCount;
  if (messageType == 2) ++WarningsCount;
  if (messageType == 3) ++HintsCount;

  // Cut before copying: a message may be a whole answer of many megabytes.
  const bool cut = static_cast<int64_t>(text.size()) > MaxMessageLength && MaxMessageLength >= 0;
  const std::string message =
      cut ? text.substr(0, static_cast<std::size_t>(MaxMessageLength)) + " - Message was cut!" : text;

  if (messageType > DetalizationMode || Disabled || Unusable) return;

  if (message == Last.LastMessage && messageType == Last.LastType) {
    ++Last.RepeatCount;
    return;
  }

  Open();
  if (Last.RepeatCount > 0) WriteLine(ExpandTemplate(LineTemplate + Last.LastMessage));
  Last.RepeatCount = 0;
  Last.LastMessage = message;
  Last.LastType = messageType;
  WriteLine(ExpandTemplate(LineTemplate + message));
}

bool TLogFile::AppendText(const std::string& text) {
  if (Unusable) return false;
  if (!ToStandardError) {
    try {
      rtl::AppendFileBytes(FullPath(), text + kCRLF);
      return true;
    } catch (const rtl::EInOutError& e) {
      CannotWrite(e.Code);
      if (!ToStandardError) return false;
    }
  }
  WriteStandardError(text);
  return true;
}

void TLogFile::CannotWrite(int code) {
  if (Engine == nullptr || Engine->MainLog != this) {
    Unusable = true;
    return;
  }
  ToStandardError = true;
  WriteStandardError("Log file \"" + FullPath() + "\" cannot be written (error " + std::to_string(code) + ": " +
                     platform::win32::ErrorText(static_cast<platform::win32::DWORD>(code)) + "); its lines follow here");
}

void TLogFile::Open() {
  if (Unusable) return;
  if (ToStandardError) {
    if (!Opened) AppendText(ExpandTemplate(HeaderTemplate));
    Opened = true;
    return;
  }
  const std::string path = FullPath();
  const bool exists = rtl::FileExists(path);
  if (Opened && exists) return;
  Opened = true;
  const std::string header = ExpandTemplate(HeaderTemplate) + kCRLF;
  try {
    if (RewriteOnOpen || !exists) {
      rtl::WriteFileBytes(path, header);  // starts the file afresh, header first
    } else {
      rtl::AppendFileBytes(path, header);
    }
  } catch (const rtl::EInOutError& e) {
    CannotWrite(e.Code);
    if (ToStandardError) AppendText(ExpandTemplate(HeaderTemplate));
  }
}

void TLogFile::WriteLine(const std::string& line) {
  if (InWrite) return;
  InWrite = true;
  AppendText(line);
  InWrite = false;
}

void TLogFile::FlushRepeat() {
  if (Last.RepeatCount > 0) AppendText(ExpandTemplate(LineTemplate + Last.LastMessage));
}

void TLogFile::Close() {
  if (Disabled || !Opened || Unusable) return;
  Open();
  FlushRepeat();
  AppendText(ExpandTemplate(FooterTemplate));
}

std::string TLogFile::ExpandTemplate(const std::string& templateText) {
  std::string out;
  const std::size_t n = templateText.size();
  std::size_t i = 0;
  while (i < n) {
    const char c = templateText[i];
    if (c != '%' || i + 1 == n) {
      out += c;
      ++i;
      continue;
    }
    const std::size_t close = templateText.find(';', i + 1);
    const std::size_t bodyEnd = close == std::string::npos ? n : close;
    const std::string body = templateText.substr(i + 1, bodyEnd - i - 1);
    i = close == std::string::npos ? n : close + 1;

    std::string fields[4];
    std::size_t start = 0;
    for (int f = 0; f < 4; ++f) {
      const std::size_t bar = body.find('|', start);
      fields[f] = body.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
      if (bar == std::string::npos) break;
      start = bar + 1;
    }
    out += ExpandVariable(fields[0], fields[1], fields[2], fields[3]);
  }
  return out;
}

std::string TLogFile::ExpandVariable(const std::string& name, const std::string& width, const std::string& prefix,
                                     const std::string& suffix) {
  if (name.empty()) return {};
  const TConstant variable = FindVariable(name);
  if (variable.Name.empty()) {
    std::string text = "%" + name;
    for (const std::string* field : {&width, &prefix, &suffix}) {
      if (!field->empty()) text += "|" + *field;
    }
    return text;
  }

  int w = 0;
  const bool hasWidth = ReadWidth(width, w);

  if (name == "LogVersion") return hasWidth ? Align(variable.Value, ' ', w, true) : variable.Value;
  if (name == "DetalizationMode") {
    std::string text = prefix + LevelText(DetalizationMode) + suffix;
    return hasWidth ? Align(text, ' ', w, true) : text;
  }
  if (name == "DateTime") {
    std::string text = FormatDateTimeNow(prefix);
    return hasWidth ? Align(text, ' ', w, false) : text;
  }
  if (name == "TimeFromStart") {
    std::string text = FormatTimeFromStart(prefix);
    return hasWidth ? Align(text, ' ', w, false) : text;
  }
  if (name == "MessagesCount") {
    if (Last.RepeatCount > 1) {
      std::string count = std::to_string(Last.RepeatCount);
      return prefix + (hasWidth ? Align(count, ' ', w, false) : count) + suffix;
    }
    return hasWidth ? Blanks(w + static_cast<int>(prefix.size() + suffix.size())) : std::string();
  }
  if (name == "MessageType") {
    const LogMessageType type = Last.LastType;
    if (type == 1 || type == 2) {
      const std::string& caption = TypeCaptions[type];
      if (Last.RepeatCount == 0) return prefix + caption;
      return Align(caption, ' ', static_cast<int>(caption.size() + prefix.size()), false);
    }
    if (type == 3) return TypeCaptions[3];
    return {};
  }
  int32_t counter = 0;
  if (name == "ErrorsCount") {
    counter = ErrorsCount;
  } else if (name == "WarningsCount") {
    counter = WarningsCount;
  } else if (name == "HintsCount") {
    counter = HintsCount;
  } else {
    return variable.Value;  // Processor, TotalMemory, OS, FreeHDSpace and any added variable
  }
  std::string text = std::to_string(counter);
  return hasWidth ? Align(text, ' ', w, false) : text;
}

std::string TLogFile::Align(const std::string& value, char fill, int width, bool leftAligned) {
  if (width <= 0) return {};
  const std::string padding(static_cast<std::size_t>(width), fill);
  if (leftAligned) return (value + padding).substr(0, static_cast<std::size_t>(width));
  const std::string joined = padding + value;
  return joined.substr(joined.size() - static_cast<std::size_t>(width));
}

std::string TLogFile::FormatDateTimeNow(const std::string& format) const {
  const rtl::TDateTime now = Clock() ? Clock()() : rtl::Now();
  return rtl::FormatDateTime(format.empty() ? DateTimeFormat : format, now);
}

std::string TLogFile::FormatTimeFromStart(const std::string& format) const {
  const uint32_t start = Engine ? Engine->StartTicks : 0;
  const uint32_t elapsed = platform::win32::GetTickCount() - start;  // unsigned: survives the wrap
  const rtl::TDateTime days = static_cast<double>(elapsed) / 86400000.0;
  return rtl::FormatDateTime(format.empty() ? TimeFormat : format, days);
}

// ---- TKeshLogEngine ----

TKeshLogEngine::TKeshLogEngine() {
  StartTicks = platform::win32::GetTickCount();
  GetSysInfo();
  MainLog = AddLogFile(rtl::ProgramFolder() + "Log.txt");
}

TKeshLogEngine::~TKeshLogEngine() {
  MainLog = nullptr;
  LogFiles.clear();
}

TLogFile* TKeshLogEngine::AddLogFile(const std::string& fullName) {
  const std::string name = rtl::ExtractFileName(fullName);
  if (TLogFile* existing = FindLogFile(name)) {
    AddWarning("TKeshLogEngine.AddLogFile(" + name + ") - Log file already exists!");
    return existing;
  }
  auto file = std::make_unique<TLogFile>(fullName);
  file->Engine = this;
  file->AddVariable("LogVersion", "1.50");
  file->AddVariable("Processor", Processor);
  file->AddVariable("TotalMemory", TotalMemory);
  file->AddVariable("OS", OS);
  file->AddVariable("FreeHDSpace", FreeHDSpace);
  for (const char* computed : {"DetalizationMode", "DateTime", "TimeFromStart", "MessagesCount", "MessageType",
                               "ErrorsCount", "WarningsCount", "HintsCount"}) {
    file->AddVariable(computed, "");
  }
  LogFiles.push_back(std::move(file));
  return LogFiles.back().get();
}

void TKeshLogEngine::AddMessage(const std::string& text) {
  if (MainLog) WriteMessage(text, 0, MainLog->FileName);
}
void TKeshLogEngine::AddError(const std::string& text) {
  if (MainLog) WriteMessage(text, 1, MainLog->FileName);
}
void TKeshLogEngine::AddWarning(const std::string& text) {
  if (MainLog) WriteMessage(text, 2, MainLog->FileName);
}
void TKeshLogEngine::AddHint(const std::string& text) {
  if (MainLog) WriteMessage(text, 3, MainLog->FileName);
}

void TKeshLogEngine::WriteMessage(const std::string& text, LogMessageType messageType, const std::string& fileName) {
  if (TLogFile* file = FindLogFile(fileName)) file->AddMessage(text, messageType);
}

TLogFile* TKeshLogEngine::FindLogFile(const std::string& fileName) {
  for (const auto& file : LogFiles) {
    if (file->FileName == fileName) return file.get();
  }
  return nullptr;
}

void TKeshLogEngine::CloseAll() {
  for (const auto& file : LogFiles) file->Close();
}

void TKeshLogEngine::GetSysInfo() {
  namespace w32 = platform::win32;
  try {
    Processor = rtl::Trim(GetCPUName());
    TCPUInfo info;
    GetCPUInfo(info);
    if (info.Features != 0) {
      Processor += " (";
      const std::pair<TCPUFeature, const char*> shown[] = {
          {cfMMX, "MMX "}, {cfSSE, "SSE "}, {cfSSE2, "SSE2 "}, {cfMMX2, "MMX2 "}, {cf3DNow, "3DNow "}, {cf3DNow2, "3DNow2 "}};
      for (const auto& [feature, text] : shown) {
        if (info.Has(feature)) Processor += text;
      }
      Processor = rtl::Trim(Processor) + ")";
    }

    // The whole 64-bit total: machines have long had more than 4 GB.
    w32::MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (!w32::GlobalMemoryStatusEx(&memory)) return;
    TotalMemory = rtl::UIntToStr(memory.ullTotalPhys >> 20) + " Mb";

    OS = GetOSName();

    w32::ULARGE_INTEGER freeToCaller{}, total{}, totalFree{};
    if (!w32::GetDiskFreeSpaceExA(rtl::ProgramFolder().c_str(), &freeToCaller, &total, &totalFree)) return;
    FreeHDSpace = rtl::UIntToStr(totalFree.QuadPart / 1048576u) + " Mb";
  } catch (...) {
    // The texts not gathered yet stay empty.
  }
}

void TKeshLogEngine::SetClockForTesting(std::function<rtl::TDateTime()> clock) { Clock() = std::move(clock); }

// ---- unit life ----

void InitializeKeshLogEngine() {
  if (LogEngine != nullptr) return;
  LogEngine = new TKeshLogEngine();
  static bool registered = false;
  if (!registered) {
    registered = true;
    rtl::AddFinalizer(FinalizeKeshLogEngine);
  }
}

void FinalizeKeshLogEngine() {
  if (LogEngine == nullptr) return;
  LogEngine->CloseAll();
  delete LogEngine;
  LogEngine = nullptr;
}
