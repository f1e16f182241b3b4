// String lists as the runtime reads and writes text: CR, LF and CR LF all end a line when text
// is read; every line is written followed by CR LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rtl {

class TMemoryStream;

class TStringList {
public:
  TStringList() = default;

  std::size_t Count() const { return lines_.size(); }
  const std::string& operator[](std::size_t i) const { return lines_[i]; }
  std::string& operator[](std::size_t i) { return lines_[i]; }
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Insert(std::size_t index, std::string line);
  void Delete(std::size_t index);
  void Clear() { lines_.clear(); }
  void AddStrings(const TStringList& other);
  // Index of the first line equal to S (exact), -1 when none.
  int IndexOf(std::string_view s) const;

  // Every line followed by CR LF.
  std::string Text() const;
  // Replaces the lines by those of Text; a last line without a line end still counts, an empty
  // text gives no lines.
  void SetText(std::string_view text);

  // From the stream's position to its end; to the stream at its position.
  void LoadFromStream(TMemoryStream& stream);
  void SaveToStream(TMemoryStream& stream) const;
  // Windows path texts, through the win32 layer; raise EInOutError on failure. SaveToFile
  // replaces the file atomically.
  void LoadFromFile(const std::string& windowsPath);
  void SaveToFile(const std::string& windowsPath) const;

  std::vector<std::string>& Lines() { return lines_; }
  const std::vector<std::string>& Lines() const { return lines_; }

private:
  std::vector<std::string> lines_;
};

}  // namespace rtl
