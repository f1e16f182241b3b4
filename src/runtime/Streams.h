// In-memory byte streams (the runtime's memory stream): a growable byte buffer with a size and a
// current position. Reading copies up to the asked count from the position and advances it;
// writing stores at the position and grows the buffer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rtl {

class TMemoryStream {
public:
  TMemoryStream() = default;

  std::size_t Read(void* buffer, std::size_t count);          // returns the count copied
  std::size_t Write(const void* buffer, std::size_t count);   // returns count
  void WriteString(std::string_view bytes) { Write(bytes.data(), bytes.size()); }

  std::size_t Size() const { return data_.size(); }
  void SetSize(std::size_t size);  // the position is clamped to the new size
  std::size_t Position() const { return position_; }
  void SetPosition(std::size_t position) { position_ = position; }  // may lie past the end
  void Clear() { data_.clear(); position_ = 0; }

  const uint8_t* Memory() const { return data_.data(); }
  uint8_t* Memory() { return data_.data(); }
  std::string ToString() const { return std::string(data_.begin(), data_.end()); }

  // Whole-file load and save through the Windows path mapping of the win32 layer's file
  // functions; raise EInOutError when the file cannot be read or written.
  void LoadFromFile(const std::string& windowsPath);
  void SaveToFile(const std::string& windowsPath) const;

private:
  std::vector<uint8_t> data_;
  std::size_t position_ = 0;
};

}  // namespace rtl
