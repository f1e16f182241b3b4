// The Internet stand-in: the HTTP client calls the request worker makes, over libcurl.
//
// Handles: InternetOpenA gives a session (user agent, proxy choice, time limits),
// InternetConnectA a connection to one host, HttpOpenRequestA a request on it and
// InternetOpenUrlA a GET request that is already sent. Each handle keeps what it needs by value,
// so handles may be closed in any order; a closed or unknown handle is refused with
// ERROR_INVALID_HANDLE and never followed. One handle is used by one thread at a time; different
// handles may be used from different threads at once.
//
// What goes out: HTTP/1.1 to the named host (port 80 unless the host text ends in ":port"), the
// request line with the object name as the target, exactly as given (a name without a leading
// "/" goes out as written), Host, User-Agent (the session's agent), the header lines the caller
// gives, and for a request with a body Content-Length. No Accept, no "Expect: 100-continue", no
// cookies, no content decoding, no redirects followed: whatever body the server answers, with
// any status, is what InternetReadFile reads. In the target and the GET URL every byte below
// 0x21, 0x7F and every byte from 0x80 goes out as "%XX" (upper-case hex digits); all other bytes
// go as they are, "%" included, so a script may encode for itself.
//
// A host text is a host name, an IPv4 address, an IPv6 address (bare, or in brackets), each
// with an optional ":port" (IPv6 only in brackets then). Anything else (user info with "@", "/",
// "?", "#", blanks, control characters) is refused before anything is sent.
//
// The connection is made when the request is sent. HttpSendRequestA returns once the reply has
// begun, with any byte of it, a part of its first line included (TRUE), or when the connection
// fails or the send limit passes with nothing come back (FALSE): a request that something
// answered is never to be sent again. A reply that is not well-formed HTTP (a status line that
// cannot be read, an unknown version, no HTTP at all, headers past the library's limits, only an
// interim "100 Continue") or that ends before its headers do is a reply all the same: TRUE, and
// reading it then fails with ERROR_HTTP_INVALID_SERVER_RESPONSE. InternetQueryDataAvailable and
// InternetReadFile wait for body data (and for the rest of the headers) up to the receive limit
// each, so a reply that stalls in its headers fails the same way there. The proxy of the
// preconfigured session comes from the environment (http_proxy,
// all_proxy, no_proxy); INTERNET_OPEN_TYPE_DIRECT uses none. Through an HTTP proxy the target
// goes out in its absolute form, "http://", the host text and the same target bytes (with a "/"
// before a target that lacks one), as a forward proxy needs it.
//
// Time: every time limit here, and InternetTickCount and InternetPause, run on one monotonic
// clock that a test may speed up (SetInternetTimeScale), so that limits of seconds pass in
// milliseconds while the figures the callers use stay the same.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/win32/win32_types.h"

namespace platform::wininet {

using platform::win32::BOOL;
using platform::win32::DWORD;
using platform::win32::WORD;
using platform::win32::TRUE;
using platform::win32::FALSE;
using HINTERNET = void*;
using INTERNET_PORT = WORD;
using DWORD_PTR = uintptr_t;

constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;

constexpr INTERNET_PORT INTERNET_INVALID_PORT_NUMBER = 0;  // the service's default port
constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
constexpr DWORD INTERNET_SERVICE_HTTP = 3;

constexpr DWORD INTERNET_FLAG_KEEP_CONNECTION = 0x00400000;  // accepted; every send connects anew

// Options of InternetSetOptionA, each a DWORD of milliseconds. A new handle takes its parent's
// values (a session the defaults: 60000 to send, 30000 to receive).
constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;  // stored; the send limit covers connecting
// The longest HttpSendRequestA or InternetOpenUrlA takes, connecting and sending included, until
// the reply begins.
constexpr DWORD INTERNET_OPTION_SEND_TIMEOUT = 5;
// The longest InternetQueryDataAvailable or InternetReadFile waits for body data.
constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;

// Error codes (GetLastError of the win32 stand-in, per thread).
constexpr DWORD ERROR_INTERNET_OUT_OF_HANDLES = 12001;
constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
constexpr DWORD ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr DWORD ERROR_INTERNET_INVALID_OPTION = 12009;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;  // a read before any send
constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;  // the answer ended before its length
constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;

// Makes the HTTP library ready; the first InternetOpenA does it too. Call it on the main thread
// before the first worker thread starts. From then on every heap block of 1 MiB or more has a
// mapping of its own, given back to the system when freed (so that big answers leave no memory
// behind). False when the library cannot start.
bool InitializeInternet();

// A session; Proxy and ProxyBypass must be null, Flags 0. Null when the library cannot start.
HINTERNET InternetOpenA(const char* agent, DWORD accessType, const char* proxy, const char* proxyBypass,
                        DWORD flags);
// A connection to Server (a host text, see above); Port is used when the text names none. Only
// INTERNET_SERVICE_HTTP; user name and password must be null. Nothing is sent yet.
HINTERNET InternetConnectA(HINTERNET session, const char* server, INTERNET_PORT port, const char* userName,
                           const char* password, DWORD service, DWORD flags, DWORD_PTR context);
// A request: Verb null or "GET" or another upper-case method, ObjectName the target (null or
// empty: "/"). Version null or "HTTP/1.1"; referrer and accept types must be null.
HINTERNET HttpOpenRequestA(HINTERNET connection, const char* verb, const char* objectName, const char* version,
                           const char* referrer, const char* const* acceptTypes, DWORD flags, DWORD_PTR context);
// Sends the request with the header lines of Headers (CR LF between lines; length -1: up to the
// NUL) and the Optional bytes as the body, and waits for the reply to begin. A second send on
// the same handle starts over with a new connection. Header lines holding control characters
// are refused (ERROR_INVALID_PARAMETER).
BOOL HttpSendRequestA(HINTERNET request, const char* headers, DWORD headersLength, const void* optional,
                      DWORD optionalLength);
// A GET of an "http://" URL (host text, then "/" and the target), sent at once; null when the
// URL is no such URL, the connection fails or the send limit passes.
HINTERNET InternetOpenUrlA(HINTERNET session, const char* url, const char* headers, DWORD headersLength,
                           DWORD flags, DWORD_PTR context);

// Bytes that can be read now without waiting, after waiting for some when there are none;
// TRUE with 0 at the end of the answer. FALSE when the receive limit passes
// (ERROR_INTERNET_TIMEOUT), the answer broke off (ERROR_INTERNET_CONNECTION_RESET), the reply
// has no whole headers (ERROR_HTTP_INVALID_SERVER_RESPONSE) or no memory was left to receive it
// (ERROR_NOT_ENOUGH_MEMORY).
BOOL InternetQueryDataAvailable(HINTERNET file, DWORD* available, DWORD flags, DWORD_PTR context);
// Up to ToRead bytes of the answer; TRUE with Read 0 at its end. Waits as the query does.
BOOL InternetReadFile(HINTERNET file, void* buffer, DWORD toRead, DWORD* read);
BOOL InternetSetOptionA(HINTERNET handle, DWORD option, const void* buffer, DWORD length);
BOOL InternetCloseHandle(HINTERNET handle);

// True when Text is a host text as InternetConnectA takes it.
bool IsHostText(std::string_view text);

// The clock of the time limits: milliseconds, monotonic, wrapping at 2^32; runs Scale times as
// fast as real time.
DWORD InternetTickCount();
// Sleeps for Milliseconds of that clock.
void InternetPause(DWORD milliseconds);

namespace testing {

// Every time limit, InternetTickCount and InternetPause run Scale times as fast as real time
// (1: real time). Set it while no request runs.
void SetInternetTimeScale(DWORD scale);
// Handles open now (sessions, connections, requests).
std::size_t OpenHandles();

}  // namespace testing

}  // namespace platform::wininet
