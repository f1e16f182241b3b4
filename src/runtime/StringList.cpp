#include "runtime/StringList.h"

#include "runtime/Files.h"
#include "runtime/Streams.h"

namespace rtl {

void TStringList::Insert(std::size_t index, std::string line) {
  if (index > lines_.size()) index = lines_.size();
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index), std::move(line));
}

void TStringList::Delete(std::size_t index) {
  if (index < lines_.size()) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
}

void TStringList::AddStrings(const TStringList& other) {
  lines_.insert(lines_.end(), other.lines_.begin(), other.lines_.end());
}

int TStringList::IndexOf(std::string_view s) const {
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i] == s) return static_cast<int>(i);
  return -1;
}

std::string TStringList::Text() const {
  std::size_t total = 0;
  for (const auto& l : lines_) total += l.size() + 2;
  std::string out;
  out.reserve(total);
  for (const auto& l : lines_) {
    out += l;
    out += "\r\n";
  }
  return out;
}

void TStringList::SetText(std::string_view text) {
  lines_.clear();
  std::size_t start = 0, i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines_.emplace_back(text.substr(start, i - start));
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = ++i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines_.emplace_back(text.substr(start));
}

void TStringList::LoadFromStream(TMemoryStream& stream) {
  std::size_t pos = stream.Position();
  std::size_t size = stream.Size();
  if (pos >= size) {
    lines_.clear();
    return;
  }
  SetText(std::string_view(reinterpret_cast<const char*>(stream.Memory()) + pos, size - pos));
  stream.SetPosition(size);
}

void TStringList::SaveToStream(TMemoryStream& stream) const { stream.WriteString(Text()); }

void TStringList::LoadFromFile(const std::string& windowsPath) { SetText(ReadFileBytes(windowsPath)); }

void TStringList::SaveToFile(const std::string& windowsPath) const { WriteFileBytes(windowsPath, Text()); }

}  // namespace rtl
