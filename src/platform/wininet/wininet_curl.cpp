// The Internet stand-in's handles and exchanges over libcurl.
//
// Each send makes one easy handle in a multi handle of its own and drives it from the calling
// thread: until the reply begins (the send), then until body data is buffered (each query or
// read). So the send and the read keep their own time limits, as the callers expect, without a
// thread of the stand-in's own. The connection ends with the exchange: nothing is kept
// between sends.
//
// libcurl is loaded when the first exchange starts, not with the program: with its TLS and
// name libraries it is about a fifth of a game's resident memory, and most games never connect.
//
// Whether the reply has begun is counted at two levels: the header lines and body bytes libcurl
// hands over, and the data segments the kernel took in on the exchange's sockets once the
// request was on its way (libcurl holds back a first line until its line break, so "HTTP/1.1 20"
// and silence would otherwise look like no reply at all).
#include <curl/curl.h>
#include <dlfcn.h>
#include <linux/tcp.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "platform/win32/win32_log.h"
#include "platform/win32/win32_system.h"
#include "platform/wininet/wininet_internal.h"

namespace platform::wininet {
namespace {

namespace w32 = platform::win32;
using Clock = std::chrono::steady_clock;

// The libcurl calls the stand-in makes, looked up once the library is loaded.
struct CurlApi {
  CURLcode (*global_init)(long flags);
  CURL* (*easy_init)();
  CURLcode (*easy_setopt)(CURL* handle, CURLoption option, ...);
  void (*easy_cleanup)(CURL* handle);
  CURLM* (*multi_init)();
  CURLMcode (*multi_add_handle)(CURLM* multi, CURL* easy);
  CURLMcode (*multi_remove_handle)(CURLM* multi, CURL* easy);
  CURLMcode (*multi_perform)(CURLM* multi, int* running);
  CURLMsg* (*multi_info_read)(CURLM* multi, int* left);
  CURLMcode (*multi_poll)(CURLM* multi, curl_waitfd* extra, unsigned int count, int timeout_ms, int* ready);
  CURLMcode (*multi_cleanup)(CURLM* multi);
  curl_slist* (*slist_append)(curl_slist* list, const char* text);
  void (*slist_free_all)(curl_slist* list);
};

CurlApi g_curl;  // filled by LoadCurl, before any handle exists

constexpr int kOwnMapping = 1 << 20;  // the size from which a block gets a mapping of its own

template <typename F>
bool Find(void* library, const char* name, F*& f) {
  f = reinterpret_cast<F*>(dlsym(library, name));
  return f != nullptr;
}

bool LoadCurl() {
  void* library = nullptr;
  for (const char* file : {"libcurl.so.4", "libcurl-gnutls.so.4"}) {
    if ((library = dlopen(file, RTLD_NOW | RTLD_LOCAL))) break;
  }
  if (!library) {
    const char* why = dlerror();
    w32::Log(w32::kLogError, std::string("Internet: cannot load libcurl: ") + (why ? why : "not found"));
    return false;
  }
  CurlApi& c = g_curl;
  const bool all = Find(library, "curl_global_init", c.global_init) && Find(library, "curl_easy_init", c.easy_init) &&
                   Find(library, "curl_easy_setopt", c.easy_setopt) &&
                   Find(library, "curl_easy_cleanup", c.easy_cleanup) && Find(library, "curl_multi_init", c.multi_init) &&
                   Find(library, "curl_multi_add_handle", c.multi_add_handle) &&
                   Find(library, "curl_multi_remove_handle", c.multi_remove_handle) &&
                   Find(library, "curl_multi_perform", c.multi_perform) &&
                   Find(library, "curl_multi_info_read", c.multi_info_read) &&
                   Find(library, "curl_multi_poll", c.multi_poll) &&
                   Find(library, "curl_multi_cleanup", c.multi_cleanup) &&
                   Find(library, "curl_slist_append", c.slist_append) &&
                   Find(library, "curl_slist_free_all", c.slist_free_all);
  if (!all) {
    w32::Log(w32::kLogError, "Internet: the libcurl found lacks a call the stand-in needs");
    return false;
  }
  return c.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

struct Limits {
  DWORD connect = 60000;
  DWORD send = 60000;
  DWORD receive = 30000;
};

enum class Kind { Session, Connection, Request };

struct Handle {
  explicit Handle(Kind k) : kind(k) {}
  virtual ~Handle() = default;
  Kind kind;
  Limits limits;
  std::string agent;
  bool direct = false;  // no proxy
};

struct Connection : Handle {
  Connection() : Handle(Kind::Connection) {}
  std::string authority;  // host, or host:port, as the URL holds it
};

DWORD ErrorOf(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT: return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT: return ERROR_INTERNET_TIMEOUT;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL: return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR: return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_SEND_ERROR: return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_URL_MALFORMAT: return ERROR_INTERNET_INVALID_URL;
    case CURLE_OUT_OF_MEMORY: return w32::ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_INTERNET_INTERNAL_ERROR;
  }
}

bool HasHeader(const std::vector<std::string>& lines, std::string_view name) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
    return line.size() > name.size() && line[name.size()] == ':' &&
           detail::SameLetters(std::string_view(line).substr(0, name.size()), name);
  });
}

// One exchange: its easy handle, its multi handle and the body bytes received but not yet read.
class Transfer {
public:
  Transfer() = default;
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
  ~Transfer() {
    if (multi_ && easy_) g_curl.multi_remove_handle(multi_, easy_);
    if (easy_) g_curl.easy_cleanup(easy_);
    if (multi_) g_curl.multi_cleanup(multi_);
    g_curl.slist_free_all(headers_);
  }

  // False when the library cannot make the handles.
  bool Start(const Handle& request, const std::string& authority, const std::string& verb, const std::string& target,
             const std::vector<std::string>& headerLines, std::string body) {
    multi_ = g_curl.multi_init();
    easy_ = g_curl.easy_init();
    if (!multi_ || !easy_) return false;
    body_ = std::move(body);
    url_ = "http://" + authority + "/";
    // The choice of proxy decides the request line, so it is made here and libcurl only follows
    // it: a forward proxy takes the absolute form, a server or a tunnel the target as it stands.
    if (!request.direct) {
      const std::optional<detail::HostPort> host = detail::ParseHostText(authority);
      proxy_ = detail::ChooseProxy(host ? host->host : authority);
    }
    target_ = proxy_.forward ? detail::AbsoluteTarget(authority, target) : target;
    for (const std::string& line : headerLines) Append(line);
    // The library's own defaults would add lines the server must never see.
    if (!HasHeader(headerLines, "Accept")) Append("Accept:");
    if (!HasHeader(headerLines, "Expect")) Append("Expect:");
    const bool post = verb == "POST";
    if (post && !HasHeader(headerLines, "Content-Type")) Append("Content-Type:");
    if (failed_) return false;

    CURL* e = easy_;
    bool ok = g_curl.easy_setopt(e, CURLOPT_URL, url_.c_str()) == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_REQUEST_TARGET, target_.c_str()) == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http") == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http") == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)) == CURLE_OK;
    if (!request.agent.empty()) ok = ok && g_curl.easy_setopt(e, CURLOPT_USERAGENT, request.agent.c_str()) == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_PROXY, proxy_.url.c_str()) == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_NOPROXY, "") == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_HTTPHEADER, headers_) == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader) == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_HEADERDATA, this) == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::OnData) == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_WRITEDATA, this) == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, &Transfer::OnSocket) == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_SOCKOPTDATA, this) == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, &Transfer::OnCloseSocket) == CURLE_OK;
    ok = ok && g_curl.easy_setopt(e, CURLOPT_CLOSESOCKETDATA, this) == CURLE_OK;
    // Optional (libcurl 7.80 on): without it, bytes from the sockets count from the connection
    // on, which only a SOCKS proxy's own replies could make too early.
    if (g_curl.easy_setopt(e, CURLOPT_PREREQFUNCTION, &Transfer::OnRequestReady) == CURLE_OK) {
      g_curl.easy_setopt(e, CURLOPT_PREREQDATA, this);
    } else {
      requestOut_ = true;
    }
    if (post) {
      ok = ok && g_curl.easy_setopt(e, CURLOPT_POST, 1L) == CURLE_OK;
      ok = ok && g_curl.easy_setopt(e, CURLOPT_POSTFIELDS, body_.data()) == CURLE_OK;
      ok = ok && g_curl.easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size())) == CURLE_OK;
    } else {
      ok = ok && g_curl.easy_setopt(e, CURLOPT_HTTPGET, 1L) == CURLE_OK;
    }
    return ok && g_curl.multi_add_handle(multi_, easy_) == CURLM_OK;
  }

  // Some bytes of the reply have come back, a part of its first line is enough: the request is
  // answered, whatever follows.
  bool ReplyBegun() const { return bytesIn_ != 0 || socketDataIn_; }
  bool Done() const { return done_; }
  // The final response's headers have ended (or its body began).
  bool HeadersIn() const { return headersIn_; }
  // The exchange ended on a reply that is not well-formed HTTP: bytes came back for the request
  // sent, but no answer the library could take (a status line it cannot read, an unknown version,
  // no HTTP at all, headers past its limits, an end before the headers did).
  bool Broken() const {
    return done_ && !headersIn_ &&
           (ReplyBegun() || result_ == CURLE_UNSUPPORTED_PROTOCOL || result_ == CURLE_WEIRD_SERVER_REPLY);
  }
  // The body could not be kept: no memory for it.
  bool OutOfMemory() const { return outOfMemory_ || (done_ && result_ == CURLE_OUT_OF_MEMORY); }
  CURLcode Result() const { return result_; }
  std::size_t Buffered() const { return received_.size() - readPos_; }

  std::size_t Take(void* out, std::size_t n) {
    n = std::min(n, Buffered());
    std::memcpy(out, received_.data() + readPos_, n);
    readPos_ += n;
    if (readPos_ == received_.size()) {
      received_.clear();
      readPos_ = 0;
    }
    return n;
  }

  // Drives the exchange until Ready holds (true), it ends or the deadline passes (false).
  bool RunUntil(const std::function<bool()>& ready, Clock::time_point deadline) {
    for (;;) {
      if (ready()) return true;
      if (done_) return false;
      int running = 0;
      const CURLMcode performed = g_curl.multi_perform(multi_, &running);
      CountSocketData();
      if (performed != CURLM_OK) {
        Finish(CURLE_OUT_OF_MEMORY);
        return ready();
      }
      int left = 0;
      while (CURLMsg* msg = g_curl.multi_info_read(multi_, &left)) {
        if (msg->msg == CURLMSG_DONE) Finish(msg->data.result);
      }
      if (ready()) return true;
      if (done_) return false;
      const Clock::time_point now = Clock::now();
      if (now >= deadline) return false;
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
          std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(100)));
      g_curl.multi_poll(multi_, nullptr, 0, static_cast<int>(std::max<int64_t>(1, wait.count())), nullptr);
    }
  }

private:
  void Append(const std::string& line) {
    curl_slist* next = g_curl.slist_append(headers_, line.c_str());
    if (!next) {
      failed_ = true;
      return;
    }
    headers_ = next;
  }

  // A transfer that libcurl calls complete may still have ended inside its headers (the
  // connection closed after a header line): only their blank line or body data say they ended.
  void Finish(CURLcode result) {
    done_ = true;
    result_ = result;
  }

  // Data segments the kernel has taken in on Fd (0 when it cannot say).
  static uint32_t DataSegmentsIn(curl_socket_t fd) {
    tcp_info info{};
    socklen_t length = sizeof info;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
        length < offsetof(tcp_info, tcpi_data_segs_in) + sizeof info.tcpi_data_segs_in)
      return 0;
    return info.tcpi_data_segs_in;
  }

  void CountSocketData() {
    if (!requestOut_ || socketDataIn_) return;
    for (std::size_t i = 0; i < socketCount_; ++i) {
      if (DataSegmentsIn(sockets_[i].fd) > sockets_[i].before) socketDataIn_ = true;
    }
  }

  static int OnSocket(void* self, curl_socket_t fd, curlsocktype) {
    auto* t = static_cast<Transfer*>(self);
    // Beyond the slots a socket is not watched: its reply counts by libcurl's lines alone.
    if (t->socketCount_ < std::size(t->sockets_)) t->sockets_[t->socketCount_++] = {fd, 0};
    return CURL_SOCKOPT_OK;
  }

  static int OnRequestReady(void* self, char*, char*, int, int) {
    auto* t = static_cast<Transfer*>(self);
    // What a proxy said while connecting is not the reply.
    for (std::size_t i = 0; i < t->socketCount_; ++i) t->sockets_[i].before = DataSegmentsIn(t->sockets_[i].fd);
    t->requestOut_ = true;
    return CURL_PREREQFUNC_OK;
  }

  static int OnCloseSocket(void* self, curl_socket_t fd) {
    auto* t = static_cast<Transfer*>(self);
    // The last look at a reply that closed right after its first bytes.
    t->CountSocketData();
    for (std::size_t i = 0; i < t->socketCount_; ++i) {
      if (t->sockets_[i].fd == fd) {
        t->sockets_[i] = t->sockets_[--t->socketCount_];
        break;
      }
    }
    return close(fd);
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<Transfer*>(self);
    const std::string_view line(data, size * count);
    t->bytesIn_ += line.size();
    if (line.rfind("HTTP/", 0) == 0) {
      // "HTTP/1.1 200 OK": the status decides whether an interim answer or the final one begins.
      const std::size_t blank = line.find(' ');
      t->status_ = blank == std::string_view::npos ? 0 : std::atoi(std::string(line.substr(blank + 1, 3)).c_str());
    } else if (line == "\r\n" || line == "\n") {
      if (t->status_ >= 200 || t->status_ < 100) t->headersIn_ = true;
    }
    return size * count;
  }

  static size_t OnData(char* data, size_t size, size_t count, void* self) {
    auto* t = static_cast<Transfer*>(self);
    t->headersIn_ = true;
    t->bytesIn_ += size * count;
    try {
      t->received_.append(data, size * count);
    } catch (const std::bad_alloc&) {
      t->outOfMemory_ = true;
      return 0;  // ends the exchange with a write error
    }
    return size * count;
  }

  CURLM* multi_ = nullptr;
  CURL* easy_ = nullptr;
  curl_slist* headers_ = nullptr;
  bool failed_ = false;
  std::string url_, target_, body_;
  detail::ProxyChoice proxy_;
  int status_ = 0;
  bool headersIn_ = false;
  std::size_t bytesIn_ = 0;
  bool done_ = false;
  bool outOfMemory_ = false;
  CURLcode result_ = CURLE_OK;
  std::string received_;
  std::size_t readPos_ = 0;
  struct Socket {
    curl_socket_t fd;
    uint32_t before;  // data segments in before the request went out
  };
  Socket sockets_[4] = {};  // the open sockets of the exchange (a connection and its fallbacks)
  std::size_t socketCount_ = 0;
  bool requestOut_ = false;
  bool socketDataIn_ = false;
};

struct Request : Handle {
  Request() : Handle(Kind::Request) {}
  std::string authority;
  std::string verb;
  std::string target;  // encoded
  std::unique_ptr<Transfer> transfer;
};

// Open handles; never destroyed, since worker threads may still close theirs as the process ends.
struct Registry {
  std::mutex mutex;
  std::unordered_set<Handle*> open;
  Limits defaults;
};

Registry& Handles() {
  static Registry* registry = new Registry;
  return *registry;
}

HINTERNET Register(std::unique_ptr<Handle> handle) {
  Registry& r = Handles();
  std::lock_guard lock(r.mutex);
  try {
    r.open.insert(handle.get());
  } catch (const std::bad_alloc&) {
    w32::SetLastError(ERROR_INTERNET_OUT_OF_HANDLES);
    return nullptr;
  }
  return handle.release();
}

Handle* Find(HINTERNET h, Kind kind) {
  Registry& r = Handles();
  std::lock_guard lock(r.mutex);
  auto* handle = static_cast<Handle*>(h);
  if (!h || !r.open.contains(handle)) {
    w32::SetLastError(w32::ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (handle->kind != kind) {
    w32::SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return nullptr;
  }
  return handle;
}

void CopyParent(const Handle& parent, Handle& child) {
  child.limits = parent.limits;
  child.agent = parent.agent;
  child.direct = parent.direct;
}

std::string Authority(const detail::HostPort& host, unsigned port) {
  return port == INTERNET_DEFAULT_HTTP_PORT ? host.host : host.host + ":" + std::to_string(port);
}

// Starts a new exchange of the request and waits for the first bytes of its reply.
BOOL Send(Request& request, const std::vector<std::string>& headerLines, std::string body) {
  request.transfer = std::make_unique<Transfer>();
  Transfer& t = *request.transfer;
  if (!t.Start(request, request.authority, request.verb, request.target, headerLines, std::move(body))) {
    request.transfer.reset();
    w32::SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
    return FALSE;
  }
  const Clock::time_point deadline = Clock::now() + detail::RealDuration(request.limits.send);
  // The request went out and something came back: that is the reply, however broken or slow, and
  // it must not make the caller send the request again. The rest of it is read within the
  // receive limits.
  if (t.RunUntil([&] { return t.ReplyBegun(); }, deadline) || t.Broken()) return TRUE;
  w32::SetLastError(t.Done() ? ErrorOf(t.Result()) : ERROR_INTERNET_TIMEOUT);
  request.transfer.reset();
  return FALSE;
}

// Waits up to the receive limit for body data: TRUE with what is buffered (0 at the end).
BOOL WaitForData(Request& request, std::size_t& available) {
  available = 0;
  if (!request.transfer) {
    w32::SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return FALSE;
  }
  Transfer& t = *request.transfer;
  const Clock::time_point deadline = Clock::now() + detail::RealDuration(request.limits.receive);
  if (t.RunUntil([&] { return t.Buffered() > 0; }, deadline)) {
    available = t.Buffered();
    return TRUE;
  }
  if (t.OutOfMemory()) {
    w32::SetLastError(w32::ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  // A reply that ended, broke or stalled before its headers did has no answer at all.
  if (!t.HeadersIn() && (t.ReplyBegun() || t.Broken())) {
    w32::SetLastError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
    return FALSE;
  }
  if (t.Done() && t.Result() == CURLE_OK) return TRUE;
  w32::SetLastError(t.Done() ? ErrorOf(t.Result()) : ERROR_INTERNET_TIMEOUT);
  return FALSE;
}

std::optional<std::vector<std::string>> HeaderLinesOf(const char* headers, DWORD length) {
  if (!headers) return std::vector<std::string>{};
  const std::size_t n = length == static_cast<DWORD>(-1) ? std::strlen(headers) : length;
  return detail::ParseHeaderLines(std::string_view(headers, n));
}

}  // namespace

bool InitializeInternet() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] {
    // Answers are a game's big short-lived blocks: made on worker threads, freed on the main one,
    // copied into scripts that free them when they collect. By default malloc's threshold for a
    // block of its own rises with each big block freed (up to 32 MiB), and the answers below it
    // then stay in the threads' arenas: a gigabyte after a few batches of 3-30 MiB answers. A
    // fixed threshold keeps every block from kOwnMapping on a mapping of its own, given back
    // when freed.
    mallopt(M_MMAP_THRESHOLD, kOwnMapping);
    ready = LoadCurl();
  });
  return ready;
}

HINTERNET InternetOpenA(const char* agent, DWORD accessType, const char* proxy, const char* proxyBypass,
                        DWORD flags) {
  if (!InitializeInternet()) {
    w32::SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
    return nullptr;
  }
  if ((accessType != INTERNET_OPEN_TYPE_PRECONFIG && accessType != INTERNET_OPEN_TYPE_DIRECT) || proxy ||
      proxyBypass || flags != 0) {
    w32::SetLastError(w32::ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto session = std::make_unique<Handle>(Kind::Session);
  {
    Registry& r = Handles();
    std::lock_guard lock(r.mutex);
    session->limits = r.defaults;
  }
  session->agent = agent ? agent : "";
  session->direct = accessType == INTERNET_OPEN_TYPE_DIRECT;
  return Register(std::move(session));
}

HINTERNET InternetConnectA(HINTERNET session, const char* server, INTERNET_PORT port, const char* userName,
                           const char* password, DWORD service, DWORD, DWORD_PTR) {
  Handle* parent = Find(session, Kind::Session);
  if (!parent) return nullptr;
  if (service != INTERNET_SERVICE_HTTP || userName || password) {
    w32::SetLastError(w32::ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::optional<detail::HostPort> host = detail::ParseHostText(server ? server : "");
  if (!host) {
    w32::SetLastError(ERROR_INTERNET_INVALID_URL);
    return nullptr;
  }
  auto connection = std::make_unique<Connection>();
  CopyParent(*parent, *connection);
  const unsigned chosen = host->port ? *host->port : (port == INTERNET_INVALID_PORT_NUMBER ? 80u : port);
  connection->authority = Authority(*host, chosen);
  return Register(std::move(connection));
}

HINTERNET HttpOpenRequestA(HINTERNET connection, const char* verb, const char* objectName, const char* version,
                           const char* referrer, const char* const* acceptTypes, DWORD, DWORD_PTR) {
  auto* parent = static_cast<Connection*>(Find(connection, Kind::Connection));
  if (!parent) return nullptr;
  const std::string method = verb ? verb : "GET";
  if ((method != "GET" && method != "POST") || (version && std::strcmp(version, "HTTP/1.1") != 0) || referrer ||
      acceptTypes) {
    w32::SetLastError(w32::ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto request = std::make_unique<Request>();
  CopyParent(*parent, *request);
  request->authority = parent->authority;
  request->verb = method;
  request->target = objectName && *objectName ? detail::PercentEncode(objectName) : "/";
  return Register(std::move(request));
}

BOOL HttpSendRequestA(HINTERNET request, const char* headers, DWORD headersLength, const void* optional,
                      DWORD optionalLength) {
  auto* r = static_cast<Request*>(Find(request, Kind::Request));
  if (!r) return FALSE;
  const std::optional<std::vector<std::string>> lines = HeaderLinesOf(headers, headersLength);
  if (!lines || (!optional && optionalLength != 0)) {
    w32::SetLastError(w32::ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string body;
  if (optional) body.assign(static_cast<const char*>(optional), optionalLength);
  return Send(*r, *lines, std::move(body));
}

HINTERNET InternetOpenUrlA(HINTERNET session, const char* url, const char* headers, DWORD headersLength, DWORD,
                           DWORD_PTR) {
  Handle* parent = Find(session, Kind::Session);
  if (!parent) return nullptr;
  const std::optional<std::vector<std::string>> lines = HeaderLinesOf(headers, headersLength);
  if (!lines) {
    w32::SetLastError(w32::ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::optional<detail::UrlParts> parts = detail::SplitHttpUrl(url ? url : "");
  if (!parts) {
    w32::SetLastError(ERROR_INTERNET_INVALID_URL);
    return nullptr;
  }
  auto request = std::make_unique<Request>();
  CopyParent(*parent, *request);
  request->authority = Authority(parts->authority, parts->authority.port.value_or(INTERNET_DEFAULT_HTTP_PORT));
  request->verb = "GET";
  request->target = detail::PercentEncode(parts->target);
  if (!Send(*request, *lines, {})) return nullptr;
  return Register(std::move(request));
}

BOOL InternetQueryDataAvailable(HINTERNET file, DWORD* available, DWORD, DWORD_PTR) {
  auto* r = static_cast<Request*>(Find(file, Kind::Request));
  if (!r) return FALSE;
  if (!available) {
    w32::SetLastError(w32::ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::size_t n = 0;
  const BOOL ok = WaitForData(*r, n);
  *available = static_cast<DWORD>(std::min<std::size_t>(n, std::numeric_limits<DWORD>::max()));
  return ok;
}

BOOL InternetReadFile(HINTERNET file, void* buffer, DWORD toRead, DWORD* read) {
  auto* r = static_cast<Request*>(Find(file, Kind::Request));
  if (!r) return FALSE;
  if (!read || (!buffer && toRead != 0)) {
    w32::SetLastError(w32::ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *read = 0;
  if (toRead == 0) return TRUE;
  std::size_t n = 0;
  if (!WaitForData(*r, n)) return FALSE;
  if (n != 0) *read = static_cast<DWORD>(r->transfer->Take(buffer, toRead));
  return TRUE;
}

BOOL InternetSetOptionA(HINTERNET handle, DWORD option, const void* buffer, DWORD length) {
  if (!buffer || length != sizeof(DWORD)) {
    w32::SetLastError(w32::ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD value;
  std::memcpy(&value, buffer, sizeof value);
  Registry& r = Handles();
  std::lock_guard lock(r.mutex);
  Limits* limits = &r.defaults;
  if (handle) {
    auto* h = static_cast<Handle*>(handle);
    if (!r.open.contains(h)) {
      w32::SetLastError(w32::ERROR_INVALID_HANDLE);
      return FALSE;
    }
    limits = &h->limits;
  }
  switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT: limits->connect = value; return TRUE;
    case INTERNET_OPTION_SEND_TIMEOUT: limits->send = value; return TRUE;
    case INTERNET_OPTION_RECEIVE_TIMEOUT: limits->receive = value; return TRUE;
    default: w32::SetLastError(ERROR_INTERNET_INVALID_OPTION); return FALSE;
  }
}

BOOL InternetCloseHandle(HINTERNET handle) {
  auto* h = static_cast<Handle*>(handle);
  {
    Registry& r = Handles();
    std::lock_guard lock(r.mutex);
    if (!h || r.open.erase(h) == 0) {
      w32::SetLastError(w32::ERROR_INVALID_HANDLE);
      return FALSE;
    }
  }
  delete h;
  return TRUE;
}

namespace testing {

std::size_t OpenHandles() {
  Registry& r = Handles();
  std::lock_guard lock(r.mutex);
  return r.open.size();
}

}  // namespace testing

}  // namespace platform::wininet
