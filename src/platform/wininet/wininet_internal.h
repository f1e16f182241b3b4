// Shared inside the Internet stand-in: the checks and encodings of host texts, targets, URLs and
// header lines (wininet_text.cpp), and the conversion of the scaled clock's limits into real
// time (wininet_clock.cpp). No libcurl here.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wininet/wininet.h"

namespace platform::wininet::detail {

struct HostPort {
  std::string host;  // as a URL holds it: an IPv6 address in brackets
  std::optional<unsigned> port;
};

// The host text split into host and port; nothing when it is no host text.
std::optional<HostPort> ParseHostText(std::string_view text);

// Bytes below 0x21, 0x7F and bytes from 0x80 as "%XX"; every other byte unchanged.
std::string PercentEncode(std::string_view text);

struct UrlParts {
  HostPort authority;
  std::string target;  // "/" and what follows the host text, unencoded
};
// An "http://" URL (scheme in any letter case) as host text and target; nothing for any other.
std::optional<UrlParts> SplitHttpUrl(std::string_view url);

// The header lines of a header text (CR LF or LF between lines, empty lines skipped); nothing
// when a line holds a control character or is no "Name: value" line.
std::optional<std::vector<std::string>> ParseHeaderLines(std::string_view text);

// The bytes of an address text of Family (AF_INET or AF_INET6); false for any other text.
bool AddressBytes(int family, std::string_view text, unsigned char (&bytes)[16]);

// Equal but for the letter case of ASCII letters.
bool SameLetters(std::string_view a, std::string_view b);

// The proxy the environment names for an "http" request to Host (bare, IPv6 in brackets):
// http_proxy, else all_proxy or ALL_PROXY, unless no_proxy or NO_PROXY names the host. Url is
// empty for none; Forward is true for a proxy that takes the request itself (an HTTP proxy,
// which needs the absolute form), false for one that only tunnels (SOCKS).
struct ProxyChoice {
  std::string url;
  bool forward = false;
};
ProxyChoice ChooseProxy(std::string_view host);

// The absolute form of a target for Authority: "http://", the authority (bytes a request line
// cannot hold percent-encoded) and the target, with a "/" between them when it has none.
std::string AbsoluteTarget(std::string_view authority, std::string_view target);

// The real time a limit of Milliseconds on the scaled clock lasts (rounded up).
std::chrono::microseconds RealDuration(DWORD milliseconds);

}  // namespace platform::wininet::detail
