// The request worker and the blocking poster over the Internet stand-in.
#include "net/KeshUrlConnect.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <list>
#include <mutex>
#include <new>
#include <thread>

#include "foundation/KeshLogEngine.h"
#include "platform/win32/win32_messages.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/win32_thread.h"

namespace inet = platform::wininet;
namespace w32 = platform::win32;
using platform::win32::DWORD;

namespace {

constexpr const char* kErrorOpening = "Error with opening internet";
constexpr const char* kErrorConnect = "Error with creating connect";
constexpr const char* kErrorRequest = "Error with creating request";
constexpr const char* kErrorSending = "Error with sending request";
constexpr const char* kContentType = "Content-Type: text/plain";
// The warning after the source's name when an answer cannot be held.
constexpr const char* kNoMemoryForAnswer = ": not enough memory for the answer; the request failed";

// The requests in flight. Never destroyed: a worker may still end while the process ends.
struct TSlots {
  std::mutex mutex;
  std::size_t running = 0;
  std::deque<TKeshConnect*> waiting;
  std::size_t bound = kMaxRequestsInFlight;
  bool failStarts = false;
};

TSlots& Slots() {
  static TSlots* slots = new TSlots;
  return *slots;
}

// The room that all answers share. Never destroyed, like the slots.
struct TRoom {
  std::mutex mutex;
  std::condition_variable freed;
  std::size_t limit = kAnswerRoom;
  std::size_t held = 0;
  std::size_t peak = 0;
  std::list<const void*> holders;  // in the order they first took room
};

TRoom& Room() {
  static TRoom* room = new TRoom;
  return *room;
}

}  // namespace

// What one exchange holds of the room, given back when it ends.
class TAnswerShare {
public:
  explicit TAnswerShare(bool mayWait) : mayWait_(mayWait) {}
  ~TAnswerShare() { Release(); }
  TAnswerShare(const TAnswerShare&) = delete;
  TAnswerShare& operator=(const TAnswerShare&) = delete;

  // Takes Bytes more, first waiting for room unless this share may not wait (the main thread's
  // own poster, whose waiting would stop the deliveries that make room) or is the oldest holder
  // (so that some answer always grows to its end). Returns the time waited, on the stand-in's
  // clock.
  DWORD Take(std::size_t bytes) {
    TRoom& room = Room();
    std::unique_lock lock(room.mutex);
    if (!listed_) {
      at_ = room.holders.insert(room.holders.end(), this);
      listed_ = true;
    }
    const DWORD start = inet::InternetTickCount();
    if (mayWait_) {
      room.freed.wait(lock, [&] { return room.held + bytes <= room.limit || room.holders.front() == this; });
    }
    room.held += bytes;
    room.peak = std::max(room.peak, room.held);
    held_ += bytes;
    return inet::InternetTickCount() - start;
  }

  void Give(std::size_t bytes) {
    TRoom& room = Room();
    {
      std::lock_guard lock(room.mutex);
      bytes = std::min(bytes, held_);
      held_ -= bytes;
      room.held -= bytes;
    }
    room.freed.notify_all();
  }

  void Release() {
    TRoom& room = Room();
    {
      std::lock_guard lock(room.mutex);
      room.held -= held_;
      held_ = 0;
      if (listed_) room.holders.erase(at_);
      listed_ = false;
    }
    room.freed.notify_all();
  }

private:
  bool mayWait_;
  std::size_t held_ = 0;
  bool listed_ = false;
  std::list<const void*>::iterator at_;
};

namespace {

void SetLimit(inet::HINTERNET handle, DWORD option, DWORD ms) {
  inet::InternetSetOptionA(handle, option, &ms, sizeof ms);
}

// A host text the stand-in takes, with nothing after a NUL byte that a C string would hide.
bool UsableHost(const std::string& host) { return host.find('\0') == std::string::npos && inet::IsHostText(host); }

// The most an answer's pages may hold, for the tests (0: no limit of their own).
std::atomic<std::size_t> g_answerMemoryLimit{0};

// The pages an answer is read into: blocks mapped apart from the heap, each twice the one before
// (64 KiB up to 4 MiB), added as the bytes arrive. So an answer holds about what came of it and
// no more, its bytes never move while it grows, and every block goes back to the system when
// freed (heap buffers that grow leave freed blocks behind in each thread's arena, which add up
// to gigabytes over many big answers).
class TAnswerPages {
public:
  TAnswerPages() = default;
  ~TAnswerPages() { Free(); }
  TAnswerPages(const TAnswerPages&) = delete;
  TAnswerPages& operator=(const TAnswerPages&) = delete;

  // Bytes free at the end of the last block (0 before the first).
  std::size_t Left() const { return count_ == 0 ? 0 : blocks_[count_ - 1].size - used_; }
  char* End() { return blocks_[count_ - 1].data + used_; }
  // The size of the block that Grow adds.
  std::size_t NextBlock() const {
    const std::size_t size = count_ == 0 ? kFirstBlock : std::min(blocks_[count_ - 1].size * 2, kLastBlock);
    return std::min(size, std::max(kAnswerSizeCap - std::min(kAnswerSizeCap, reserved_), kFirstBlock));
  }
  // False when no memory can be had for it.
  bool Grow() {
    const std::size_t size = NextBlock();
    const std::size_t limit = g_answerMemoryLimit.load();
    if (count_ == kMaxBlocks || (limit != 0 && reserved_ + size > limit)) return false;
    void* data = w32::VirtualAlloc(nullptr, size, w32::MEM_COMMIT | w32::MEM_RESERVE, w32::PAGE_READWRITE);
    if (!data) return false;
    blocks_[count_++] = {static_cast<char*>(data), size};
    reserved_ += size;
    used_ = 0;
    return true;
  }
  void Wrote(std::size_t bytes) { used_ += bytes; }

  // The bytes written, in order, to Out.
  void AppendTo(std::string& out) const {
    for (std::size_t i = 0; i < count_; ++i) out.append(blocks_[i].data, i + 1 == count_ ? used_ : blocks_[i].size);
  }

  void Free() {
    for (std::size_t i = 0; i < count_; ++i) w32::VirtualFree(blocks_[i].data, 0, w32::MEM_RELEASE);
    count_ = 0;
    reserved_ = 0;
    used_ = 0;
  }

private:
  static constexpr std::size_t kFirstBlock = std::size_t{64} << 10;
  static constexpr std::size_t kLastBlock = std::size_t{4} << 20;
  static constexpr std::size_t kMaxBlocks = 32;  // 6 growing blocks and 4 MiB ones up to the size cap
  struct TBlock {
    char* data;
    std::size_t size;
  };
  TBlock blocks_[kMaxBlocks] = {};
  std::size_t count_ = 0;
  std::size_t reserved_ = 0;
  std::size_t used_ = 0;  // of the last block
};

// The read loop: the answer is the data followed by one NUL byte, empty when no data came.
// Warning says why reading stopped early, or stays empty. False when no answer can be had of the
// reply (it ended before its headers did, or its bytes found no memory): Warning says which.
// What the answer holds is taken from Share as it grows; time spent waiting for room is not
// reading time.
bool ReadAnswer(inet::HINTERNET handle, const std::string& source, std::string& answer, std::string& warning,
                TAnswerShare& share) {
  std::string().swap(answer);
  share.Release();
  try {
    TAnswerPages pages;
    std::size_t taken = 0;
    bool readAny = false;
    bool answered = true;
    const DWORD start = inet::InternetTickCount();
    DWORD waited = 0;
    std::size_t pos = 0;
    // Why a query or a read failed, as a warning; a reply without headers has no answer at all.
    auto stopped = [&](DWORD error) {
      if (error == inet::ERROR_HTTP_INVALID_SERVER_RESPONSE) {
        warning = source + ": the reply ended before its headers did (cut off, silent or not well-formed HTTP); "
                           "the request failed";
        answered = false;
      } else if (error == w32::ERROR_NOT_ENOUGH_MEMORY) {
        warning = source + kNoMemoryForAnswer;
        answered = false;
      } else if (error == inet::ERROR_INTERNET_TIMEOUT) {
        warning = inet::InternetTickCount() - start - waited >= kAnswerReadLimitMs
                      ? source + ": the answer stopped at the read limit of 120 s"
                      : source + ": the answer stopped after 30 s without data";
      } else if (error == inet::ERROR_INTERNET_CONNECTION_RESET) {
        warning = source + ": the connection closed before the whole answer arrived";
      }
    };
    for (;;) {
      const DWORD elapsed = inet::InternetTickCount() - start - waited;
      if (elapsed >= kAnswerReadLimitMs) {
        warning = source + ": the answer stopped at the read limit of 120 s";
        break;
      }
      // Each wait is bounded by both limits, so a trickle of data cannot outlast the overall one.
      SetLimit(handle, inet::INTERNET_OPTION_RECEIVE_TIMEOUT,
               std::min(kAnswerIdleLimitMs, kAnswerReadLimitMs - elapsed));
      DWORD avail = 0;
      if (!inet::InternetQueryDataAvailable(handle, &avail, 0, 0)) {
        stopped(w32::GetLastError());
        break;
      }
      if (avail == 0) break;
      if (pos >= kAnswerSizeCap) {
        warning = source + ": the answer stopped at 64 MiB; the rest was not read";
        break;
      }
      if (pages.Left() == 0) {
        const std::size_t block = pages.NextBlock();
        waited += share.Take(block);
        taken += block;
        if (!pages.Grow()) {
          stopped(w32::ERROR_NOT_ENOUGH_MEMORY);
          break;
        }
      }
      avail = static_cast<DWORD>(std::min({std::size_t{avail}, kAnswerSizeCap - pos, pages.Left()}));
      DWORD read = 0;
      const bool ok = inet::InternetReadFile(handle, pages.End(), avail, &read) != 0;
      readAny = true;
      if (!ok) {
        stopped(w32::GetLastError());
        break;
      }
      if (read == 0) break;
      pages.Wrote(read);
      pos += read;
    }
    if (!answered) {
      share.Release();
      return false;
    }
    if (!readAny) return true;
    // The answer proper, with its NUL; the pages and their room go back once it is made.
    share.Take(pos + 1);
    answer.reserve(pos + 1);
    pages.AppendTo(answer);
    answer.push_back('\0');
    pages.Free();
    share.Give(taken);
    return true;
  } catch (const std::bad_alloc&) {
    std::string().swap(answer);
    share.Release();
    warning = source + kNoMemoryForAnswer;
    return false;
  }
}

// The pause before the next try of a failed send: each twice the one before, up to a ceiling, so
// that a server that refuses is not hammered.
DWORD NextPause(DWORD pause) { return std::min(pause * 2, kSendRetryPauseMaxMs); }

// The one rule for sending, for POST, GET and the blocking poster: Send makes one send that may
// wait Wait ms for the reply to begin, true once it has (then the request is never sent again,
// however the reply goes on). A send that fails is tried again after a pause, each twice the one
// before up to a ceiling, until Limit has passed since the first; false then. Each send waits
// for its reply as long as ReplyWait, or for the time left of Limit when ReplyWait is 0.
bool SendWithin(const std::function<bool(DWORD wait)>& send, DWORD limit, DWORD replyWait) {
  const DWORD start = inet::InternetTickCount();
  DWORD pause = kSendRetryPauseMs;
  for (DWORD elapsed = 0; elapsed < limit; elapsed = inet::InternetTickCount() - start) {
    if (send(replyWait != 0 ? replyWait : limit - elapsed)) return true;
    elapsed = inet::InternetTickCount() - start;
    if (elapsed >= limit) break;
    inet::InternetPause(std::min(pause, limit - elapsed));
    pause = NextPause(pause);
  }
  return false;
}

// A POST's sends on Request, within Limit.
bool SendPostWithin(inet::HINTERNET request, const std::string& body, DWORD limit) {
  const DWORD length = static_cast<DWORD>(std::min(body.find('\0'), body.size()));
  return SendWithin(
      [&](DWORD wait) {
        SetLimit(request, inet::INTERNET_OPTION_SEND_TIMEOUT, wait);
        return inet::HttpSendRequestA(request, kContentType, 24, body.data(), length) != 0;
      },
      limit, 0);
}

}  // namespace

std::string PostBody(const rtl::TStringList& lines) {
  std::string body;
  for (const std::string& line : lines.Lines()) {
    body += line;
    body += "\r\n";
  }
  if (body.size() > 2 && body.compare(body.size() - 2, 2, "\r\n") == 0) body.resize(body.size() - 2);
  return body;
}

TKeshConnect::TKeshConnect(TCallback callback, std::string okFunction, std::string errorFunction, std::string host,
                           std::string path, const rtl::TStringList& lines, bool useGet, TPrepare prepare)
    : Callback(std::move(callback)),
      OkFunction(std::move(okFunction)),
      ErrorFunction(std::move(errorFunction)),
      Host(std::move(host)),
      Path(std::move(path)),
      Lines(lines),
      UseGet(useGet),
      Prepare(std::move(prepare)) {}

void TKeshConnect::Create(TCallback callback, std::string okFunction, std::string errorFunction, std::string host,
                          std::string path, const rtl::TStringList& lines, bool useGet, TPrepare prepare) {
  // The library starts here, on the main thread, before any worker can use it.
  inet::InitializeInternet();
  auto* worker = new TKeshConnect(std::move(callback), std::move(okFunction), std::move(errorFunction),
                                  std::move(host), std::move(path), lines, useGet, std::move(prepare));
  TSlots& slots = Slots();
  {
    std::lock_guard lock(slots.mutex);
    if (slots.running >= slots.bound) {
      slots.waiting.push_back(worker);
      return;
    }
    ++slots.running;
  }
  bool started = false;
  try {
    bool fail;
    {
      std::lock_guard lock(slots.mutex);
      fail = slots.failStarts;
    }
    if (!fail) {
      std::thread(&TKeshConnect::Run, worker).detach();
      started = true;
    }
  } catch (const std::exception&) {
  }
  if (started) return;
  {
    std::lock_guard lock(slots.mutex);
    --slots.running;
  }
  const TCallback deliver = std::move(worker->Callback);
  const std::string errorFunctionName = std::move(worker->ErrorFunction);
  delete worker;
  deliver(errorFunctionName, kErrorOpening);
}

std::size_t TKeshConnect::InFlight() {
  TSlots& slots = Slots();
  std::lock_guard lock(slots.mutex);
  return slots.running + slots.waiting.size();
}

void TKeshConnect::Run(TKeshConnect* worker) {
  TSlots& slots = Slots();
  while (worker) {
    worker->Execute();
    delete worker;
    std::lock_guard lock(slots.mutex);
    if (slots.waiting.empty()) {
      --slots.running;
      worker = nullptr;
    } else {
      worker = slots.waiting.front();
      slots.waiting.pop_front();
    }
  }
}

void TKeshConnect::Execute() {
  w32::SetThreadPriority(w32::GetCurrentThread(), w32::THREAD_PRIORITY_BELOW_NORMAL);
  // The answer keeps its room until the main thread has it.
  TAnswerShare share(true);
  Share = &share;
  do {
    ErrorText.clear();
    Warning.clear();
    try {
      if (UseGet) {
        SendGet();
      } else {
        SendPost();
      }
    } catch (const std::exception&) {
      // Out of memory in the middle of an exchange: the attempt failed, as one whose send fails
      // when the request had not gone out yet, as one whose reply was lost when it had.
      std::string().swap(Answer);
      ErrorText = UseGet ? kErrorConnect : kErrorSending;
    }
    CloseHandles();
  } while (Attempts < kMaxAttempts && !ErrorText.empty() && !Answered);
  try {
    // Large by the answer's own bytes, without the NUL after them.
    const bool large = ErrorText.empty() && !Answer.empty() && Answer.size() - 1 >= kLargeAnswer;
    try {
      if (Prepare && ErrorText.empty()) Answer = Prepare(std::move(Answer));
    } catch (const std::exception&) {
      // No memory to make the script's text of it: heard as an answer that finds none is.
      std::string().swap(Answer);
      ErrorText = UseGet ? kErrorConnect : kErrorSending;
      Warning = "TKeshConnect " + Host + kNoMemoryForAnswer;
    }
    w32::Synchronize([this] { DeliverResult(); }, large);
  } catch (...) {
    // The callback's own failure ends nothing here: the worker just ends.
  }
}

void TKeshConnect::SendPost() {
  ++Attempts;
  hInternet = inet::InternetOpenA(kHttpUserAgent, inet::INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!hInternet) {
    ErrorText = kErrorOpening;
    return;
  }
  if (Host.find('\0') == std::string::npos) {
    hConnect = inet::InternetConnectA(hInternet, Host.c_str(), inet::INTERNET_DEFAULT_HTTP_PORT, nullptr, nullptr,
                                      inet::INTERNET_SERVICE_HTTP, 0, 1);
  }
  if (!hConnect) {
    ErrorText = kErrorConnect;
    return;
  }
  hRequest = inet::HttpOpenRequestA(hConnect, "POST", Path.c_str(), nullptr, nullptr, nullptr,
                                    inet::INTERNET_FLAG_KEEP_CONNECTION, 1);
  if (!hRequest) {
    ErrorText = kErrorRequest;
    return;
  }
  if (!SendPostWithin(hRequest, PostBody(Lines), kSendLimitMs)) {
    ErrorText = kErrorSending;
    return;
  }
  Answered = true;
  if (!ReadAnswer(hRequest, "TKeshConnect " + Host, Answer, Warning, *Share)) ErrorText = kErrorSending;
}

void TKeshConnect::SendGet() {
  ++Attempts;
  hInternet = inet::InternetOpenA(kHttpUserAgent, inet::INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!hInternet) {
    ErrorText = kErrorOpening;
    return;
  }
  // The host text alone must decide the host: checked before it is joined into the URL.
  if (UsableHost(Host)) {
    const std::string url = "http://" + Host + "/" + Path;
    // Failed sends are tried again as a POST's are; but a GET has no send limit of its own: the
    // wait for its reply is a wait for data, bounded as reading is.
    SendWithin(
        [&](DWORD wait) {
          SetLimit(hInternet, inet::INTERNET_OPTION_SEND_TIMEOUT, wait);
          hConnect = inet::InternetOpenUrlA(hInternet, url.c_str(), "", 0, inet::INTERNET_FLAG_KEEP_CONNECTION, 0);
          return hConnect != nullptr;
        },
        kSendLimitMs, kAnswerIdleLimitMs);
  }
  if (!hConnect) {
    ErrorText = kErrorConnect;
    return;
  }
  Answered = true;
  if (!ReadAnswer(hConnect, "TKeshConnect " + Host, Answer, Warning, *Share)) ErrorText = kErrorConnect;
}

void TKeshConnect::CloseHandles() {
  for (inet::HINTERNET* handle : {&hRequest, &hConnect, &hInternet}) {
    if (*handle) inet::InternetCloseHandle(*handle);
    *handle = nullptr;
  }
}

void TKeshConnect::DeliverResult() {
  if (!Warning.empty() && LogEngine) LogEngine->AddWarning(Warning);
  if (!ErrorText.empty()) {
    Callback(ErrorFunction, ErrorText);
  } else {
    Callback(OkFunction, std::move(Answer));
  }
}

void HttpPostText(const std::string& host, const std::string& path, const rtl::TStringList& lines,
                  std::string& answer) {
  inet::InitializeInternet();
  inet::HINTERNET internet =
      inet::InternetOpenA(kHttpUserAgent, inet::INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!internet) return;
  inet::HINTERNET connect = nullptr;
  if (host.find('\0') == std::string::npos) {
    connect = inet::InternetConnectA(internet, host.c_str(), inet::INTERNET_DEFAULT_HTTP_PORT, nullptr, nullptr,
                                     inet::INTERNET_SERVICE_HTTP, 0, 1);
  }
  if (!connect) {
    inet::InternetCloseHandle(internet);
    answer = "Error";
    return;
  }
  inet::HINTERNET request = inet::HttpOpenRequestA(connect, "POST", path.c_str(), nullptr, nullptr, nullptr,
                                                   inet::INTERNET_FLAG_KEEP_CONNECTION, 1);
  if (!request) {
    inet::InternetCloseHandle(connect);
    inet::InternetCloseHandle(internet);
    answer = "Error";
    return;
  }
  const bool sent = SendPostWithin(request, PostBody(lines), kSyncSendLimitMs);
  std::string warning;
  answer.clear();
  TAnswerShare share(false);
  // A reply without an answer leaves it empty, as nothing read does.
  if (sent) ReadAnswer(request, "HttpPostText " + host, answer, warning, share);
  if (!warning.empty() && LogEngine) LogEngine->AddWarning(warning);
  inet::InternetCloseHandle(request);
  inet::InternetCloseHandle(connect);
  inet::InternetCloseHandle(internet);
}

namespace net_testing {

void SetMaxRequestsInFlight(std::size_t bound) {
  TSlots& slots = Slots();
  std::lock_guard lock(slots.mutex);
  slots.bound = bound == 0 ? kMaxRequestsInFlight : bound;
}

void SetAnswerRoom(std::size_t bytes) {
  TRoom& room = Room();
  {
    std::lock_guard lock(room.mutex);
    room.limit = bytes == 0 ? kAnswerRoom : bytes;
    room.peak = room.held;
  }
  room.freed.notify_all();
}

std::size_t AnswerRoomPeak() {
  TRoom& room = Room();
  std::lock_guard lock(room.mutex);
  return room.peak;
}

void SetAnswerMemoryLimit(std::size_t bytes) { g_answerMemoryLimit = bytes; }

void FailThreadStarts(bool fail) {
  TSlots& slots = Slots();
  std::lock_guard lock(slots.mutex);
  slots.failStarts = fail;
}

}  // namespace net_testing
