#include "runtime/Streams.h"

#include <cstring>

#include "runtime/Files.h"

namespace rtl {

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
  if (position_ >= data_.size() || count == 0) return 0;
  std::size_t n = std::min(count, data_.size() - position_);
  std::memcpy(buffer, data_.data() + position_, n);
  position_ += n;
  return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
  if (count == 0) return 0;
  if (position_ + count > data_.size()) data_.resize(position_ + count);
  std::memcpy(data_.data() + position_, buffer, count);
  position_ += count;
  return count;
}

void TMemoryStream::SetSize(std::size_t size) {
  data_.resize(size);
  if (position_ > size) position_ = size;
}

void TMemoryStream::LoadFromFile(const std::string& windowsPath) {
  std::string bytes = ReadFileBytes(windowsPath);
  data_.assign(bytes.begin(), bytes.end());
  position_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& windowsPath) const {
  WriteFileBytes(windowsPath, std::string_view(reinterpret_cast<const char*>(data_.data()), data_.size()));
}

}  // namespace rtl
