// Shared set-up of the network tests: the loopback HTTP server (http_server.py beside this file,
// one per test program, started before the first test), what it recorded of each request, a
// message pump that stands for the main loop, and the stand-in's time scale.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/win32_types.h"

namespace net_test {

// One request as the server saw it.
struct Record {
  std::string key, method, target, headers, body;
  int active = 0;  // requests of its key being served when it arrived, this one included
  std::vector<std::string> HeaderLines() const;
  // Every value of the header Name (letter case ignored), in order.
  std::vector<std::string> Header(const std::string& name) const;
};

// "127.0.0.1:<port>" of the server.
std::string Host();
// A loopback port where nothing listens.
std::string ClosedHost();
// What the server recorded for requests with k=Key, in arrival order.
std::vector<Record> RecordsOf(const std::string& key);
// A key no other test uses: the test's name and a counter.
std::string NewKey();
std::string Hex(const std::string& bytes);

// Dispatches messages, as the main loop does, until Done holds or Limit passes; counts the turns
// of the loop ("frames") in Turns when given. False when the limit passed.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit, int* turns = nullptr);
// Pumps until no request is in flight (a test must not end with a worker still running).
void WaitForWorkers();

// The stand-in's clock runs Scale times as fast while it lives.
class TimeScale {
public:
  explicit TimeScale(platform::win32::DWORD scale);
  ~TimeScale();
  TimeScale(const TimeScale&) = delete;
  TimeScale& operator=(const TimeScale&) = delete;
};

// A fresh main log in the scratch folder; Text() reads it back.
class TestLog {
public:
  TestLog();
  ~TestLog();
  std::string Text() const;

private:
  std::filesystem::path path_;
};

}  // namespace net_test
