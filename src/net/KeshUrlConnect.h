// HTTP requests of the scripts: the light scramble that requests and answers travel in, the
// request worker TKeshConnect that posts from a thread of its own and hands its result to the
// main thread, and the blocking poster HttpPostText.
//
// A worker makes up to 7 attempts; within an attempt a failed send, POST or GET alike, is tried
// again after pauses that double from 100 ms to 1 s, until the send limit passes. Once the
// request has gone out and any byte came back, it is never sent again, and its reply is heard
// once: as the answer when its headers ended, even when its body stalls, closes or times out
// half-way (the answer is what could be read of it); as the failure of the attempt's last step
// when the reply ended, stalled or went wrong before its headers did, or when no memory could
// hold its bytes. A GET waits for its reply as long as reading waits for data. Reading an
// answer stops at a size cap, after a time without data and at an overall read limit; what was
// read is delivered, and the main thread logs a warning that says why it stopped. Every limit
// runs on the Internet stand-in's monotonic clock (never the game clock, which jumps when a
// loading phase or a pause ends).
//
// Memory: an answer's pages grow with the bytes that arrive, and every answer takes them from one
// room shared by all requests (kAnswerRoom), so that many big answers at once cannot hold many
// times 64 MiB.
//
// Threads: a worker touches only its own fields and the stand-in, and prepares its result for
// the callback (descrambling, for PostUrl). The result reaches the main thread through the win32
// hand-over, one big answer a frame; DeliverResult, the log warning and the callback run there.
// Past kMaxRequestsInFlight requests, a new one waits for a running one to end. Worker threads
// are detached and never keep the process from ending; what they share lives on the heap and is
// never freed, so a thread still running at exit touches no destroyed object.
//
// Depends on the Internet stand-in, the win32 hand-over and thread priority, and the main log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/wininet/wininet.h"
#include "runtime/StringList.h"

class TAnswerShare;

// The figures of the requests (milliseconds on the stand-in's clock, bytes).
constexpr int32_t kMaxAttempts = 7;
constexpr platform::win32::DWORD kSendLimitMs = 5000;       // a worker's POST, per attempt
constexpr platform::win32::DWORD kSyncSendLimitMs = 15000;  // HttpPostText's send
constexpr platform::win32::DWORD kSendRetryPauseMs = 100;   // after the first failed send,
constexpr platform::win32::DWORD kSendRetryPauseMaxMs = 1000;  // doubling up to this
constexpr platform::win32::DWORD kAnswerIdleLimitMs = 30000;
constexpr platform::win32::DWORD kAnswerReadLimitMs = 120000;
constexpr std::size_t kAnswerSizeCap = std::size_t{64} << 20;
constexpr std::size_t kMaxRequestsInFlight = 256;
// What all answers being read or waiting for the main thread may hold together. Past it a reader
// waits for room (time that counts against none of the reading limits); the oldest reader never
// waits, so that one answer always reaches its end, and the total stays below this plus what one
// answer needs (its pages and the answer made from them: twice the size cap at most).
constexpr std::size_t kAnswerRoom = std::size_t{256} << 20;
// An answer from this size on is handed to the main thread as a heavy call: one a frame.
constexpr std::size_t kLargeAnswer = std::size_t{1} << 20;

constexpr const char* kHttpUserAgent = "HarrowdeepClient";

// The scramble's pattern (32 characters "1", "2" or "3") and its three alphabets: entries 0..127
// encode (a permutation of 0..127), entry 128 + c the byte whose code is c.
extern const char kPostPattern[];
extern const uint8_t kPostAlphabets[3][256];

// Scrambles Text in place (same length): each byte below 128 through one of three stored
// alphabets, chosen by the byte's position in a stored pattern; bytes from 128 unchanged.
void ScramblePostText(std::string& text);
void DescramblePostText(std::string& text);

// What a script receives for an answer: unless it begins with "Error", a leading UTF-8 byte order
// mark and then one trailing NUL byte are dropped and the rest is descrambled; the text then
// ends before its first NUL byte, if any.
std::string PostAnswerText(std::string answer);

// The body of a request: every line followed by CR LF, without the last CR LF when the whole is
// longer than 2 bytes. Only the bytes before its first NUL byte are sent.
std::string PostBody(const rtl::TStringList& lines);

class TKeshConnect {
public:
  // Called on the main thread with the name of the script function and the answer (the data read
  // followed by one NUL byte, empty when none came) or a failure text. The answer is handed over,
  // not copied.
  using TCallback = std::function<void(const std::string& funcName, std::string answer)>;
  // Called on the worker thread with an answer (never a failure text), before the hand-over, to
  // make what Callback receives of it: the decoding of an answer that may be 64 MiB, kept off the
  // main thread.
  using TPrepare = std::function<std::string(std::string result)>;

  // Makes a worker and starts it at once; nothing keeps a reference to it, and it frees itself
  // once its result is delivered. When no thread can be started, Callback gets ErrorFunction and
  // "Error with opening internet" before Create returns.
  static void Create(TCallback callback, std::string okFunction, std::string errorFunction, std::string host,
                     std::string path, const rtl::TStringList& lines, bool useGet, TPrepare prepare = {});

  // Requests made and not yet ended (waiting for a slot, running or delivering).
  static std::size_t InFlight();

  TKeshConnect(const TKeshConnect&) = delete;
  TKeshConnect& operator=(const TKeshConnect&) = delete;

  // --- fields, in the order of the original
  int32_t Attempts = 0;
  TCallback Callback;
  std::string OkFunction, ErrorFunction;
  std::string Host, Path;
  rtl::TStringList Lines;  // the worker's own copy
  platform::wininet::HINTERNET hInternet = nullptr, hRequest = nullptr, hConnect = nullptr;
  std::string Answer;
  std::string ErrorText;  // empty, or the failure of the last attempt
  bool UseGet = false;
  std::string Warning;  // why reading stopped early; logged by DeliverResult
  bool Answered = false;  // the reply began: this attempt is the last, whatever comes of it
  TAnswerShare* Share = nullptr;  // the room the answer holds, while Execute runs
  TPrepare Prepare;  // may be empty

private:
  TKeshConnect(TCallback callback, std::string okFunction, std::string errorFunction, std::string host,
               std::string path, const rtl::TStringList& lines, bool useGet, TPrepare prepare);

  static void Run(TKeshConnect* worker);  // the thread: this request, then any that waited
  void Execute();
  void SendPost();
  void SendGet();
  void CloseHandles();
  void DeliverResult();  // main thread
};

// Posts Lines to Host/Path from the calling thread in one attempt and waits for the answer.
// Answer: what was read (data and one NUL byte; empty when the request was never sent, nothing
// came or the reply had no answer, see the worker); "Error" when the connection or the request
// cannot be made; unchanged when the Internet session cannot be opened. A warning about a cut answer goes to the main log: call it on the
// main thread.
void HttpPostText(const std::string& host, const std::string& path, const rtl::TStringList& lines,
                  std::string& answer);

namespace net_testing {

// Replaces kMaxRequestsInFlight (0 restores it).
void SetMaxRequestsInFlight(std::size_t bound);
// Replaces kAnswerRoom (0 restores it) and starts a new peak.
void SetAnswerRoom(std::size_t bytes);
// The most that answers held together since the last SetAnswerRoom.
std::size_t AnswerRoomPeak();
// While set, no worker thread can be started.
void FailThreadStarts(bool fail);
// An answer's pages cannot grow past Bytes (0: no limit of their own).
void SetAnswerMemoryLimit(std::size_t bytes);

}  // namespace net_testing
