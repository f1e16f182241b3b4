// The proxy of the environment, chosen by the stand-in itself rather than left to libcurl: the
// request line depends on the choice (a forward proxy needs the absolute form), and libcurl keeps
// its own choice to itself, so the stand-in makes it once and hands libcurl the result. The rules
// are libcurl's: http_proxy (lower case only, as a CGI program's HTTP_PROXY may come from a
// request header), else all_proxy or ALL_PROXY; no_proxy or NO_PROXY lists names (a name covers
// its subdomains, a leading dot is ignored) and addresses with an optional "/bits", separated by
// commas or blanks, or is "*" for every host.
#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>

#include "platform/wininet/wininet_internal.h"

namespace platform::wininet::detail {
namespace {

std::string_view Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string_view(value) : std::string_view();
}

struct Address {
  int family = 0;
  unsigned char bytes[16] = {};
};

bool ParseAddress(std::string_view text, Address& out) {
  for (int family : {AF_INET, AF_INET6}) {
    if (AddressBytes(family, text, out.bytes)) {
      out.family = family;
      return true;
    }
  }
  return false;
}

bool AddressMatches(const Address& host, std::string_view entry) {
  const std::size_t slash = entry.find('/');
  Address net;
  if (!ParseAddress(entry.substr(0, slash), net) || net.family != host.family) return false;
  const int length = host.family == AF_INET ? 32 : 128;
  int bits = length;
  if (slash != std::string_view::npos) {
    const std::string b(entry.substr(slash + 1));
    if (b.empty() || b.size() > 3 || b.find_first_not_of("0123456789") != std::string::npos) return false;
    bits = std::atoi(b.c_str());
    if (bits > length) return false;
  }
  const int whole = bits / 8;
  if (std::memcmp(host.bytes, net.bytes, static_cast<std::size_t>(whole)) != 0) return false;
  if (bits % 8 == 0) return true;
  const unsigned mask = 0xFFu << (8 - bits % 8) & 0xFFu;
  return (host.bytes[whole] & mask) == (net.bytes[whole] & mask);
}

bool NameMatches(std::string_view host, std::string_view entry) {
  while (!entry.empty() && entry.front() == '.') entry.remove_prefix(1);
  if (!entry.empty() && entry.back() == '.') entry.remove_suffix(1);
  if (entry.empty()) return false;
  if (host.size() == entry.size()) return SameLetters(host, entry);
  return host.size() > entry.size() && host[host.size() - entry.size() - 1] == '.' &&
         SameLetters(host.substr(host.size() - entry.size()), entry);
}

bool Excluded(std::string_view host, std::string_view list) {
  if (list == "*") return true;
  if (host.size() > 1 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);
  Address address;
  const bool isAddress = ParseAddress(host, address);
  while (!list.empty()) {
    const std::size_t end = list.find_first_of(", \t");
    const std::string_view entry = list.substr(0, end);
    list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
    if (entry.empty()) continue;
    if (isAddress ? AddressMatches(address, entry) : NameMatches(host, entry)) return true;
  }
  return false;
}

}  // namespace

ProxyChoice ChooseProxy(std::string_view host) {
  std::string_view proxy = Variable("http_proxy");
  if (proxy.empty()) proxy = Variable("all_proxy");
  if (proxy.empty()) proxy = Variable("ALL_PROXY");
  if (proxy.empty()) return {};
  std::string_view noProxy = Variable("no_proxy");
  if (noProxy.empty()) noProxy = Variable("NO_PROXY");
  if (Excluded(host, noProxy)) return {};
  ProxyChoice choice;
  choice.url = std::string(proxy);
  const std::size_t scheme = proxy.find("://");
  // Without a scheme libcurl takes an HTTP proxy.
  choice.forward = scheme == std::string_view::npos || SameLetters(proxy.substr(0, scheme), "http") ||
                   SameLetters(proxy.substr(0, scheme), "https");
  return choice;
}

std::string AbsoluteTarget(std::string_view authority, std::string_view target) {
  std::string out = "http://" + PercentEncode(authority);
  if (target.empty() || target.front() != '/') out += '/';
  out += target;
  return out;
}

}  // namespace platform::wininet::detail
