// Host texts, targets, URLs and header lines of the Internet stand-in. A script's text reaches
// the request only through these: whatever they let through cannot name another host, add a
// header line or split the request line.
#include <arpa/inet.h>

#include <cctype>
#include <cstdint>

#include "platform/wininet/wininet_internal.h"

namespace platform::wininet {
namespace detail {
namespace {

bool IsNameByte(unsigned char c) {
  // Bytes from 0x80 belong to international names, which the library turns into their ASCII form.
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c >= 0x80;
}

bool IsHostName(std::string_view name) {
  if (!name.empty() && name.back() == '.') name.remove_suffix(1);  // the root's dot
  if (name.empty() || name.size() > 253) return false;
  std::size_t label = 0;
  for (unsigned char c : name) {
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
    } else if (IsNameByte(c) && ++label <= 63) {
      continue;
    } else {
      return false;
    }
  }
  return label != 0;
}

bool IsAddress(int family, std::string_view text) {
  unsigned char bytes[16];
  return AddressBytes(family, text, bytes);
}

std::optional<unsigned> ParsePort(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) return std::nullopt;
  return value;
}

}  // namespace

bool AddressBytes(int family, std::string_view text, unsigned char (&bytes)[16]) {
  if (text.empty() || text.size() > 45) return false;
  const std::string copy(text);
  return inet_pton(family, copy.c_str(), bytes) == 1;
}

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

std::optional<HostPort> ParseHostText(std::string_view text) {
  HostPort result;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos || !IsAddress(AF_INET6, text.substr(1, close - 1))) return std::nullopt;
    result.host = std::string(text.substr(0, close + 1));
    const std::string_view rest = text.substr(close + 1);
    if (rest.empty()) return result;
    if (rest.front() != ':' || !(result.port = ParsePort(rest.substr(1)))) return std::nullopt;
    return result;
  }
  const std::size_t colon = text.find(':');
  if (colon != std::string_view::npos && text.find(':', colon + 1) != std::string_view::npos) {
    // Two colons or more: a bare IPv6 address, which can carry no port.
    if (!IsAddress(AF_INET6, text)) return std::nullopt;
    result.host = "[" + std::string(text) + "]";
    return result;
  }
  const std::string_view host = text.substr(0, colon);
  if (!IsHostName(host) && !IsAddress(AF_INET, host)) return std::nullopt;
  result.host = std::string(host);
  if (colon != std::string_view::npos && !(result.port = ParsePort(text.substr(colon + 1)))) return std::nullopt;
  return result;
}

std::string PercentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c < 0x21 || c >= 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::optional<UrlParts> SplitHttpUrl(std::string_view url) {
  constexpr std::string_view kScheme = "http://";
  if (url.size() < kScheme.size()) return std::nullopt;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    const char c = url[i] >= 'A' && url[i] <= 'Z' ? static_cast<char>(url[i] - 'A' + 'a') : url[i];
    if (c != kScheme[i]) return std::nullopt;
  }
  url.remove_prefix(kScheme.size());
  const std::size_t slash = url.find('/');
  std::optional<HostPort> authority = ParseHostText(url.substr(0, slash));
  if (!authority) return std::nullopt;
  UrlParts parts{std::move(*authority), slash == std::string_view::npos ? "/" : std::string(url.substr(slash))};
  return parts;
}

std::optional<std::vector<std::string>> ParseHeaderLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) return std::nullopt;
    for (std::size_t i = 0; i < line.size(); ++i) {
      const auto c = static_cast<unsigned char>(line[i]);
      if ((c < 0x20 && c != '\t') || c == 0x7F) return std::nullopt;
      if (i < colon && (c == ' ' || c == '\t')) return std::nullopt;
    }
    lines.emplace_back(line);
  }
  return lines;
}

}  // namespace detail

bool IsHostText(std::string_view text) { return detail::ParseHostText(text).has_value(); }

}  // namespace platform::wininet
