// Text/number conversions with "." as the decimal separator under every locale: the C library's
// number texts follow the locale, so numbers are built from their digits and the separator is
// swapped where the library is used.
#include "runtime/Strings.h"

#include <cmath>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "runtime/Errors.h"

namespace rtl {

std::string TrimLeft(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ') ++i;
  return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && static_cast<unsigned char>(s[n - 1]) <= ' ') --n;
  return std::string(s.substr(0, n));
}

std::string Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

std::size_t Pos(std::string_view sub, std::string_view s) {
  if (sub.empty() || s.empty()) return 0;
  std::size_t p = s.find(sub);
  return p == std::string_view::npos ? 0 : p + 1;
}

std::string IntToStr(int64_t value) { return std::to_string(value); }
std::string UIntToStr(uint64_t value) { return std::to_string(value); }

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

bool ParseInt32(std::string_view s, int32_t& out) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  int base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  } else if (i < s.size() && (s[i] == 'x' || s[i] == 'X')) {
    base = 16;
    ++i;
  }
  if (i >= s.size()) return false;
  uint64_t v = 0;
  for (; i < s.size(); ++i) {
    int d = DigitValue(s[i]);
    if (d >= base) return false;
    v = v * base + d;
    if (v > 0xFFFFFFFFull) return false;
  }
  if (base == 16) {
    // Hexadecimal texts name the 32-bit pattern, as the runtime's Val does.
    uint32_t bits = static_cast<uint32_t>(v);
    out = static_cast<int32_t>(negative ? 0u - bits : bits);
    return true;
  }
  if (negative) {
    if (v > 2147483648ull) return false;
    out = static_cast<int32_t>(-static_cast<int64_t>(v));
  } else {
    if (v > 2147483647ull) return false;
    out = static_cast<int32_t>(v);
  }
  return true;
}

}  // namespace

int32_t StrToInt(std::string_view s) {
  int32_t v = 0;
  if (!ParseInt32(s, v)) throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
  return v;
}

int32_t StrToIntDef(std::string_view s, int32_t fallback) {
  int32_t v = 0;
  return ParseInt32(s, v) ? v : fallback;
}

bool TryStrToFloat(std::string_view text, double& value) {
  std::string s = Trim(text);
  if (s.empty()) return false;
  // Accept only the runtime's own form: sign, digits, ".", digits, exponent. strtod would also
  // take "inf", hexadecimal and the locale's separator.
  std::size_t i = 0;
  if (s[i] == '+' || s[i] == '-') ++i;
  std::size_t digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != s.size()) return false;
  // strtod reads the locale's separator: hand it the text in that form.
  const char* point = localeconv()->decimal_point;
  std::string local = s;
  if (point && point[0] && point[0] != '.') {
    for (char& c : local)
      if (c == '.') c = point[0];
  }
  char* end = nullptr;
  value = std::strtod(local.c_str(), &end);
  return end && *end == '\0';
}

double StrToFloat(std::string_view s) {
  double v = 0;
  if (!TryStrToFloat(s, v)) throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
  return v;
}

namespace {

// Decimal digits (no leading zeros, no point) and the decimal exponent of |value| rounded to
// `precision` significant digits: value = 0.d1d2d3... x 10^exponent10.
void Digits(double value, int precision, std::string& digits, int& exponent10) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", precision - 1, std::fabs(value));
  // buf: d.ddddde[+-]xx ; the digits and the point are ASCII in every locale except the point.
  digits.clear();
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits.push_back(*p);
  exponent10 = (*p == 'e') ? std::atoi(p + 1) + 1 : 1;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
}

}  // namespace

std::string FloatToStr(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  std::string digits;
  int e = 0;
  Digits(value, 15, digits, e);
  std::string out = value < 0 ? "-" : "";
  if (e <= 15 && e >= -3) {
    if (e <= 0) {
      out += "0.";
      out.append(static_cast<std::size_t>(-e), '0');
      out += digits;
    } else if (static_cast<int>(digits.size()) <= e) {
      out += digits;
      out.append(static_cast<std::size_t>(e - static_cast<int>(digits.size())), '0');
    } else {
      out += digits.substr(0, e);
      out += '.';
      out += digits.substr(e);
    }
    return out;
  }
  out += digits.substr(0, 1);
  if (digits.size() > 1) {
    out += '.';
    out += digits.substr(1);
  }
  out += 'E';
  out += std::to_string(e - 1);
  return out;
}

std::string FloatToStrF(double value, int decimals) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (decimals < 0) decimals = 0;
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  std::string s = buf;
  const char* point = localeconv()->decimal_point;
  if (point && point[0] && point[0] != '.') {
    for (char& c : s)
      if (c == point[0]) c = '.';
  }
  if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);  // no "-0.00"
  return s;
}

std::string BoolToStr(bool value) { return value ? "True" : "False"; }

bool StrToBool(std::string_view s) {
  double number = 0;
  if (TryStrToFloat(s, number)) return number != 0;
  if (SameText(s, "true")) return true;
  if (SameText(s, "false")) return false;
  throw EConvertError("'" + std::string(s) + "' is not a valid boolean value");
}

std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, args);
  va_end(args);
  return out;
}

}  // namespace rtl
