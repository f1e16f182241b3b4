// The stand-in's log sink: a settable function, standard error by default.

#include "platform/win32/win32_log.h"

#include <cstdio>
#include <mutex>

namespace platform::win32 {
namespace {

std::mutex sinkMutex;
std::function<void(int, const std::string&)> sink;

}  // namespace

void SetLogSink(std::function<void(int level, const std::string& text)> newSink) {
  std::lock_guard lock(sinkMutex);
  sink = std::move(newSink);
}

void Log(int level, const std::string& text) {
  std::function<void(int, const std::string&)> current;
  {
    std::lock_guard lock(sinkMutex);
    current = sink;
  }
  if (current) {
    current(level, text);
    return;
  }
  static const char* const names[] = {"hint", "warning", "error"};
  const char* name = level >= 0 && level <= 2 ? names[level] : "note";
  std::fprintf(stderr, "win32 %s: %s\n", name, text.c_str());
}

}  // namespace platform::win32
