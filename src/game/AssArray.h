// tAssArray: the ordered store of text pairs that keeps the player's parameters and profile, and
// its files.
//
// File format: 8-bit text, one "key=value" line per pair, written with CR LF. On reading a line
// ends at CR, LF or CR LF, a NUL ends the text, and the key ends at the line's first "=" (values
// may hold "=", keys cannot); a line without "=" carries nothing. No trimming, quoting or
// comments: blanks belong to the key or the value. Keys compare byte for byte; duplicates may
// exist and lookups take the first.
//
// A store reads and writes plain text when Plain is set or its codes are those of the
// data-folder mode (29461, 83095); otherwise its files pass through ScrambleStream with the key
// "KuMoDe", and a scrambled file whose bytes do not unscramble to CR LF text loads as the two
// pairs ("corrupt", "true") and ("corruptplayer", Tag) and nothing else.
//
// Every save replaces its file atomically (a "<name>.tmp" beside it, flushed, renamed over the
// name the file layer resolved), so a failed or interrupted save leaves the old file whole. A
// key or value byte below 32 other than TAB is written as a blank (with a warning), so that no
// save ever produces a file its own reader would split or reject. A scrambled file that loaded
// as corrupt is copied to "<name>.corrupt" (with a warning naming both) before the first save
// replaces it; once the names up to "<name>.corrupt100" are taken, the oldest copy's name is
// reused. A file that exists but could not be read when loaded (its mode, its owner), and a
// read-only file, are never replaced: their saves fail.
//
// Main thread only (the warnings go to the log engine).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct tAssPair {
  std::string Key;
  std::string Value;
};

class tAssArray {
public:
  static constexpr int32_t kPlainModeCode1 = 29461;
  static constexpr int32_t kPlainModeCode2 = 83095;
  static constexpr const char* kScrambleKey = "KuMoDe";

  std::vector<tAssPair> Pairs;
  int32_t ModeCode1 = 0, ModeCode2 = 0;
  bool Plain = false;
  std::vector<std::string> ExcludedKeys;  // compared exactly
  bool SkipExcluded = false;

  virtual ~tAssArray() = default;

  // Appends the pair unless the key is already there (the existing value stays).
  virtual void AddPair(const std::string& key, const std::string& value);
  // AddPair of the text before and after the line's first "="; a line without "=" adds nothing.
  virtual void AddLine(const std::string& line);
  // The first pair with the key takes the value; an absent key changes nothing.
  virtual void SetValue(const std::string& key, const std::string& value);
  // Pair Index takes the value when the index is valid; otherwise nothing.
  virtual void SetValueAt(int32_t index, const std::string& value);

  void Clear() { Pairs.clear(); }
  int32_t IndexOfKey(const std::string& key) const;  // first exact match, -1 when none
  bool IsExcludedKey(const std::string& key) const;
  bool IsPlainMode() const;

  // Appends the file's pairs (duplicates kept); a missing file adds nothing. Tag is the value
  // of "corruptplayer" when a scrambled file is corrupt.
  void LoadFromFile(const std::string& fileName, int32_t tag);
  // Appends the pairs of a file's bytes, as LoadFromFile does; the fuzz target's entry.
  void LoadFromBytes(std::string_view bytes, int32_t tag);
  // Writes every pair (less the excluded keys while SkipExcluded). Raises rtl::EInOutError
  // when the file cannot be written or must not be replaced; the old file is then unchanged.
  void SaveToFile(const std::string& fileName);
  // Writes the pairs of one group (0: keys of group 0; N > 0: groups N and N + 3). Failures
  // are logged as errors with the file name and go no further.
  void SaveGroupToFile(const std::string& fileName, int32_t group);

  // The group of a key: its first character as a decimal digit, else (an empty key too) 0.
  static int32_t GroupOfKey(const std::string& key);

private:
  // Appends the pairs of the bytes; false (after the two corrupt pairs) when scrambled bytes
  // are not text.
  bool LoadBytes(std::string_view bytes, int32_t tag);
  // The file bytes for the given pairs: the lines, sanitised, then scrambled unless plain.
  // Operation names the save in the warning about sanitised bytes.
  std::string FileBytes(const std::vector<const tAssPair*>& pairs, const std::string& fileName,
                        const char* operation) const;
  // Keeps a corrupt file's copy first when one is due; raises rtl::EInOutError, also for a
  // file that could not be read when loaded.
  void WriteFile(const std::string& fileName, const std::string& bytes);
  // Copies a corrupt file to a new name of its own beside it and returns that name.
  static std::string KeepCorruptCopy(const std::string& resolved);
  static constexpr int kMostCorruptCopies = 100;
  static std::string CorruptCopyName(const std::string& resolved, int n) {
    return resolved + ".corrupt" + (n > 1 ? std::to_string(n) : std::string());
  }
  void KeepUnread(const std::string& fileName);

  // Scrambled files that loaded as corrupt and have not been kept as a ".corrupt" copy yet,
  // as the file layer resolved their names.
  std::vector<std::string> CorruptFiles;
  // Files that exist but could not be read when loaded, as the file layer resolved their names.
  std::vector<std::string> UnreadFiles;
};
