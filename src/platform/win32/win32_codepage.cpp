// Code-page conversion through iconv. A single-byte code page is read once into a table of 256
// UTF-16 units (and its reverse), so converting ANSI text is a table look-up and the undefined
// bytes can get Windows' meaning; UTF-8 goes through iconv with Windows' replacement rules.
// Safe from any thread: the tables are immutable once built and swapped under a lock.

#include "platform/win32/win32_codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/win32/win32_system.h"

namespace platform::win32 {
namespace {

struct AnsiTable {
  UINT codePage = 1252;
  char16_t toUnit[256];
  std::unordered_map<char16_t, unsigned char> toByte;
};

std::mutex tableMutex;
std::shared_ptr<const AnsiTable> currentTable;

constexpr char16_t kReplacement = 0xFFFD;

// Builds the table of a single-byte code page; nullptr when iconv lacks it or a byte is the
// start of a longer sequence.
std::shared_ptr<const AnsiTable> BuildTable(UINT codePage) {
  const std::string name = "CP" + std::to_string(codePage);
  iconv_t cd = iconv_open("UTF-16LE", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  auto table = std::make_shared<AnsiTable>();
  table->codePage = codePage;
  for (int b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    char out[8];
    char* inPtr = &in;
    char* outPtr = out;
    size_t inLeft = 1, outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    const size_t produced = sizeof out - outLeft;
    if (r == static_cast<size_t>(-1) && errno == EINVAL) {  // a lead byte: not a single-byte page
      iconv_close(cd);
      return nullptr;
    }
    if (r == static_cast<size_t>(-1) || produced != 2) {
      table->toUnit[b] = static_cast<char16_t>(b);  // undefined: Windows keeps the number
    } else {
      table->toUnit[b] = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                               (static_cast<unsigned char>(out[1]) << 8));
    }
  }
  iconv_close(cd);
  for (int b = 255; b >= 0; --b) table->toByte[table->toUnit[b]] = static_cast<unsigned char>(b);
  return table;
}

std::shared_ptr<const AnsiTable> Table() {
  std::lock_guard lock(tableMutex);
  if (!currentTable) {
    currentTable = BuildTable(1252);
    if (!currentTable) {  // no iconv data at all: Latin-1 is the nearest safe meaning
      auto latin = std::make_shared<AnsiTable>();
      for (int b = 0; b < 256; ++b) {
        latin->toUnit[b] = static_cast<char16_t>(b);
        latin->toByte[static_cast<char16_t>(b)] = static_cast<unsigned char>(b);
      }
      currentTable = latin;
    }
  }
  return currentTable;
}

// Runs iconv over the whole input; on a bad sequence `onBad` appends the replacement and the
// input moves on by `skip` bytes.
template <class Out, class OnBad>
void IconvAll(const char* to, const char* from, const char* data, size_t size, size_t skip,
              Out& out, OnBad onBad) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return;
  char* inPtr = const_cast<char*>(data);
  size_t inLeft = size;
  char buffer[4096];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (r != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    onBad(out);
    if (errno == EINVAL) break;  // the text ends inside a sequence
    const size_t step = std::min(skip, inLeft);
    inPtr += step;
    inLeft -= step;
  }
  iconv_close(cd);
}

}  // namespace

bool SetAnsiCodePage(UINT codePage) {
  auto table = BuildTable(codePage);
  if (!table) return false;
  std::lock_guard lock(tableMutex);
  currentTable = table;
  return true;
}

UINT GetACP() { return Table()->codePage; }

std::u16string AnsiToUtf16(std::string_view ansi) {
  const auto table = Table();
  std::u16string out;
  out.reserve(ansi.size());
  for (char c : ansi) out.push_back(table->toUnit[static_cast<unsigned char>(c)]);
  return out;
}

std::string Utf16ToAnsi(std::u16string_view text, bool dropMissing) {
  const auto table = Table();
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    auto it = table->toByte.find(u);
    if (it != table->toByte.end()) {
      out.push_back(static_cast<char>(it->second));
      continue;
    }
    // A surrogate pair is one character: one "?" for both halves.
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000)
      ++i;
    if (!dropMissing) out.push_back('?');
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::string bytes;
  IconvAll("UTF-16LE", "UTF-8", utf8.data(), utf8.size(), 1, bytes, [](std::string& o) {
    o.push_back(static_cast<char>(kReplacement & 0xFF));
    o.push_back(static_cast<char>(kReplacement >> 8));
  });
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string bytes(text.size() * 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  std::string out;
  IconvAll("UTF-8", "UTF-16LE", bytes.data(), bytes.size(), 2, out,
           [](std::string& o) { o += "\xEF\xBF\xBD"; });
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) { return Utf16ToUtf8(AnsiToUtf16(ansi)); }

std::string Utf8ToAnsi(std::string_view utf8, bool dropMissing) {
  return Utf16ToAnsi(Utf8ToUtf16(utf8), dropMissing);
}

namespace {

template <class Unit>
size_t InputLength(const Unit* input, int length) {
  if (length >= 0) return static_cast<size_t>(length);
  size_t n = 0;
  while (input[n] != 0) ++n;
  return n + 1;  // the terminator is converted too
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, const char* input, int inputLength, WCHAR* output,
                        int outputSize) {
  if (!input || outputSize < 0 || (outputSize > 0 && !output) ||
      (codePage != CP_ACP && codePage != CP_UTF8 && codePage != GetACP())) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::string_view in(input, InputLength(input, inputLength));
  const std::u16string out = codePage == CP_UTF8 ? Utf8ToUtf16(in) : AnsiToUtf16(in);
  if (outputSize == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(outputSize)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(output, out.data(), out.size() * sizeof(WCHAR));
  return static_cast<int>(out.size());
}

int WideCharToMultiByte(UINT codePage, DWORD, const WCHAR* input, int inputLength, char* output,
                        int outputSize, const char* defaultChar, BOOL* usedDefaultChar) {
  if (!input || outputSize < 0 || (outputSize > 0 && !output) ||
      (codePage != CP_ACP && codePage != CP_UTF8 && codePage != GetACP())) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::u16string_view in(input, InputLength(input, inputLength));
  std::string out;
  if (usedDefaultChar) *usedDefaultChar = FALSE;
  if (codePage == CP_UTF8) {
    out = Utf16ToUtf8(in);
  } else {
    const std::string dropped = Utf16ToAnsi(in, true);
    out = Utf16ToAnsi(in, false);
    if (dropped.size() != out.size()) {
      if (usedDefaultChar) *usedDefaultChar = TRUE;
      if (defaultChar && *defaultChar && *defaultChar != '?') {
        // Re-run with the caller's stand-in character.
        const auto table = Table();
        out.clear();
        for (size_t i = 0; i < in.size(); ++i) {
          auto it = table->toByte.find(in[i]);
          if (it != table->toByte.end()) {
            out.push_back(static_cast<char>(it->second));
            continue;
          }
          if (in[i] >= 0xD800 && in[i] < 0xDC00 && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
              in[i + 1] < 0xE000)
            ++i;
          out.push_back(*defaultChar);
        }
      }
    }
  }
  if (outputSize == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(outputSize)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(output, out.data(), out.size());
  return static_cast<int>(out.size());
}

}  // namespace platform::win32
