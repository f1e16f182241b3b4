// Shared set-up of the fuzz targets: a silent log engine, a scratch folder of the process's own
// that is removed at exit, and a check that stops the run with a message when an invariant of
// the code under test breaks (libFuzzer then keeps the input as a crash).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "foundation/KeshLogEngine.h"

namespace fuzz {

// The code under test logs its refusals; with no main log the engine reports nothing, so a long
// run writes no file at all.
inline void SilenceLog() {
  InitializeKeshLogEngine();
  LogEngine->MainLog = nullptr;
}

// A fresh folder under the system's temporary folder, for targets that must read real files.
inline const std::filesystem::path& ScratchFolder() {
  static const std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorrel-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(ScratchFolder(), ignored);
    });
    return std::filesystem::path(pattern);
  }();
  return folder;
}

// Takes a key off the front of Input: its length (up to 16) in the first byte, then its bytes.
inline std::string TakeKey(std::string_view& input) {
  if (input.empty()) return {};
  const std::size_t length = std::min<std::size_t>(static_cast<uint8_t>(input[0]) % 17, input.size() - 1);
  std::string key(input.substr(1, length));
  input.remove_prefix(1 + length);
  return key;
}

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, file, line);
  std::abort();
}

}  // namespace fuzz

#define FUZZ_CHECK(condition) \
  ((condition) ? static_cast<void>(0) : ::fuzz::Fail(#condition, __FILE__, __LINE__))
