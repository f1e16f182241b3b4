// The key/value store and its plain and scrambled files. Loading appends pairs as the file
// holds them (no key lookup, duplicates kept); saving builds the whole file in memory and hands
// it to the file layer's replacing write, so the file on disk is always one complete save.
#include "game/AssArray.h"

#include <algorithm>
#include <cstdint>
#include <exception>

#include "foundation/CUnit.h"
#include "foundation/KeshLogEngine.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_folders.h"
#include "platform/win32/win32_system.h"
#include "runtime/Errors.h"
#include "runtime/Files.h"
#include "runtime/Streams.h"

namespace w32 = platform::win32;

namespace {

void Warn(const std::string& text) {
  if (LogEngine != nullptr) LogEngine->AddWarning(text);
}

void Error(const std::string& text) {
  if (LogEngine != nullptr) LogEngine->AddError(text);
}

std::string Scrambled(std::string_view bytes) {
  rtl::TMemoryStream source, dest;
  source.WriteString(bytes);
  ScrambleStream(source, dest, tAssArray::kScrambleKey);
  return dest.ToString();
}

// Bytes that the reader would take as a line end or the end of the text, or that fail the
// scrambled files' text test, become blanks. Returns whether anything changed.
bool Sanitise(std::string& text) {
  bool changed = false;
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 32 && c != '\t') {
      c = ' ';
      changed = true;
    }
  }
  return changed;
}

}  // namespace

void tAssArray::AddPair(const std::string& key, const std::string& value) {
  if (IndexOfKey(key) == -1) Pairs.push_back({key, value});
}

void tAssArray::AddLine(const std::string& line) {
  const std::size_t p = line.find('=');
  if (p == std::string::npos) return;
  AddPair(line.substr(0, p), line.substr(p + 1));
}

void tAssArray::SetValue(const std::string& key, const std::string& value) {
  const int32_t i = IndexOfKey(key);
  if (i >= 0) Pairs[static_cast<std::size_t>(i)].Value = value;
}

void tAssArray::SetValueAt(int32_t index, const std::string& value) {
  if (index >= 0 && static_cast<std::size_t>(index) < Pairs.size()) Pairs[static_cast<std::size_t>(index)].Value = value;
}

int32_t tAssArray::IndexOfKey(const std::string& key) const {
  for (std::size_t i = 0; i < Pairs.size(); ++i)
    if (Pairs[i].Key == key) return static_cast<int32_t>(i);
  return -1;
}

bool tAssArray::IsExcludedKey(const std::string& key) const {
  return std::find(ExcludedKeys.begin(), ExcludedKeys.end(), key) != ExcludedKeys.end();
}

bool tAssArray::IsPlainMode() const {
  return Plain || (ModeCode1 == kPlainModeCode1 && ModeCode2 == kPlainModeCode2);
}

int32_t tAssArray::GroupOfKey(const std::string& key) {
  if (key.empty() || key[0] < '0' || key[0] > '9') return 0;
  return key[0] - '0';
}

void tAssArray::LoadFromFile(const std::string& fileName, int32_t tag) {
  const w32::DWORD attributes = w32::GetFileAttributesA(fileName.c_str());
  if (attributes == w32::INVALID_FILE_ATTRIBUTES) {
    const w32::DWORD code = w32::GetLastError();
    if (code == w32::ERROR_FILE_NOT_FOUND || code == w32::ERROR_PATH_NOT_FOUND) return;
    Warn("tAssArray.LoadFromFile " + fileName + " cannot be read (error " + std::to_string(code) + ")");
    KeepUnread(fileName);
    return;
  }
  if ((attributes & w32::FILE_ATTRIBUTE_DIRECTORY) != 0) {
    Warn("tAssArray.LoadFromFile " + fileName + " is a folder, not a file");
    return;
  }
  std::string bytes;
  try {
    bytes = rtl::ReadFileBytes(fileName);
  } catch (const rtl::EInOutError& e) {
    Warn("tAssArray.LoadFromFile " + std::string(e.what()));
    KeepUnread(fileName);
    return;
  }
  if (!LoadBytes(bytes, tag)) {
    const std::string resolved = w32::MapPath(fileName);
    if (std::find(CorruptFiles.begin(), CorruptFiles.end(), resolved) == CorruptFiles.end())
      CorruptFiles.push_back(resolved);
  }
}

void tAssArray::LoadFromBytes(std::string_view bytes, int32_t tag) { (void)LoadBytes(bytes, tag); }

void tAssArray::KeepUnread(const std::string& fileName) {
  const std::string resolved = w32::MapPath(fileName);
  if (std::find(UnreadFiles.begin(), UnreadFiles.end(), resolved) == UnreadFiles.end()) UnreadFiles.push_back(resolved);
}

bool tAssArray::LoadBytes(std::string_view bytes, int32_t tag) {
  std::string text;
  if (IsPlainMode()) {
    text = bytes.substr(0, bytes.find('\0'));
  } else {
    rtl::TMemoryStream source, plain;
    source.WriteString(bytes);
    ScrambleStream(source, plain, kScrambleKey);
    if (!IsPlainTextStream(plain)) {
      Pairs.push_back({"corrupt", "true"});
      Pairs.push_back({"corruptplayer", std::to_string(tag)});
      return false;
    }
    text = plain.ToString();
  }

  // A line ends at CR, LF or CR LF; a last line without its end still counts.
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + start, end - start);
    const std::size_t p = line.find('=');
    if (p != std::string_view::npos) Pairs.push_back({std::string(line.substr(0, p)), std::string(line.substr(p + 1))});
    start = end + 1;
    if (end < text.size() && text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return true;
}

std::string tAssArray::FileBytes(const std::vector<const tAssPair*>& pairs, const std::string& fileName,
                                 const char* operation) const {
  std::string text;
  std::string firstBadKey;
  int badPairs = 0;
  for (const tAssPair* pair : pairs) {
    std::string key = pair->Key, value = pair->Value;
    const bool keyChanged = Sanitise(key);
    if (Sanitise(value) || keyChanged) {
      if (badPairs++ == 0) firstBadKey = key;
    }
    text += key;
    text += '=';
    text += value;
    text += "\r\n";
  }
  if (badPairs > 0) {
    Warn(std::string(operation) + " " + fileName + ": control characters written as blanks in key \"" + firstBadKey +
         "\"" + (badPairs > 1 ? " and " + std::to_string(badPairs - 1) + " more" : std::string()));
  }
  return IsPlainMode() ? text : Scrambled(text);
}

// The copy is a new file: an earlier copy, or a link someone put on the name, is left alone and
// the copy takes the next free name ("<name>.corrupt", "<name>.corrupt2", ...). Once all the
// names are taken, the oldest copy that is a file of its own gives its name to the new one, so
// that the save goes on.
std::string tAssArray::KeepCorruptCopy(const std::string& resolved) {
  const std::string bytes = rtl::ReadFileBytes(resolved);
  for (int n = 1;; ++n) {
    const std::string copy = CorruptCopyName(resolved, n);
    try {
      rtl::WriteNewFileBytes(copy, bytes);
      return copy;
    } catch (const rtl::EInOutError& e) {
      if (e.Code != static_cast<int>(w32::ERROR_FILE_EXISTS)) throw;
      if (n >= kMostCorruptCopies) break;
    }
  }
  std::string oldest;
  std::uint64_t oldestTime = UINT64_MAX;
  for (int n = 1; n <= kMostCorruptCopies; ++n) {
    const std::string copy = CorruptCopyName(resolved, n);
    w32::WIN32_FIND_DATAA found{};
    const w32::HANDLE find = w32::FindFirstFileA(copy.c_str(), &found);
    if (find == w32::INVALID_HANDLE_VALUE) continue;
    w32::FindClose(find);
    if ((found.dwFileAttributes & (w32::FILE_ATTRIBUTE_DIRECTORY | w32::FILE_ATTRIBUTE_REPARSE_POINT)) != 0) continue;
    const std::uint64_t time =
        (static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) | found.ftLastWriteTime.dwLowDateTime;
    if (time < oldestTime) {
      oldestTime = time;
      oldest = copy;
    }
  }
  if (oldest.empty()) {
    throw rtl::EInOutError("Cannot create file \"" + CorruptCopyName(resolved, 1) + "\": none of its " +
                               std::to_string(kMostCorruptCopies) + " names is a file of its own",
                           static_cast<int>(w32::ERROR_FILE_EXISTS));
  }
  rtl::WriteFileBytes(oldest, bytes);
  return oldest;
}

void tAssArray::WriteFile(const std::string& fileName, const std::string& bytes) {
  const std::string resolved = w32::MapPath(fileName);
  // What the file holds never reached memory, so a save would lose it for good. It stays until
  // a later start can read it.
  if (std::find(UnreadFiles.begin(), UnreadFiles.end(), resolved) != UnreadFiles.end()) {
    throw rtl::EInOutError("Cannot write file \"" + fileName + "\": it could not be read when loaded and is kept as it is",
                           static_cast<int>(w32::ERROR_ACCESS_DENIED));
  }
  auto corrupt = std::find(CorruptFiles.begin(), CorruptFiles.end(), resolved);
  if (corrupt != CorruptFiles.end()) {
    // The unreadable file may still be worth something to whoever looks at it later; without
    // a kept copy the save does not replace it.
    if (rtl::FileExists(resolved)) {
      const std::string kept = KeepCorruptCopy(resolved);
      Warn("tAssArray: \"" + resolved + "\" did not read back as a profile file; kept as \"" + kept +
           "\" before it is replaced");
    }
    CorruptFiles.erase(corrupt);
  }
  rtl::WriteFileBytes(fileName, bytes);
}

void tAssArray::SaveToFile(const std::string& fileName) {
  std::vector<const tAssPair*> pairs;
  for (const tAssPair& pair : Pairs)
    if (!(SkipExcluded && IsExcludedKey(pair.Key))) pairs.push_back(&pair);
  WriteFile(fileName, FileBytes(pairs, fileName, "tAssArray.SaveToFile"));
}

void tAssArray::SaveGroupToFile(const std::string& fileName, int32_t group) {
  try {
    std::vector<const tAssPair*> pairs;
    for (const tAssPair& pair : Pairs) {
      const int32_t g = GroupOfKey(pair.Key);
      if ((group == 0 && g == 0) || (group > 0 && (g == group || g - 3 == group))) pairs.push_back(&pair);
    }
    WriteFile(fileName, FileBytes(pairs, fileName, "tAssArray.SaveGroupToFile"));
  } catch (const std::exception& e) {
    Error("tAssArray.SaveGroupToFile " + fileName + " not saved: " + e.what());
  } catch (...) {
    Error("tAssArray.SaveGroupToFile " + fileName + " not saved");
  }
}
