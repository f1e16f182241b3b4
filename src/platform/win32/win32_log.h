// Where the win32 stand-in reports what it refused or could not do. The stand-in cannot reach the
// system's log engine (it sits below it), so the game hands it a sink; until then the lines go
// to standard error.
#pragma once

#include <functional>
#include <string>

namespace platform::win32 {

constexpr int kLogHint = 0;
constexpr int kLogWarning = 1;
constexpr int kLogError = 2;

// An empty function restores standard error. Lines may come from any thread.
void SetLogSink(std::function<void(int level, const std::string& text)> sink);
void Log(int level, const std::string& text);

}  // namespace platform::win32
