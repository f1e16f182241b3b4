// Byte strings and text/number conversions of the runtime. Strings are 8-bit byte strings in the
// system code page (std::string). Every conversion uses "." as the decimal separator whatever
// the process locale says, so numbers read and write alike on every machine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rtl {

using AnsiString = std::string;

// Blanks and control characters (<= ' ') removed at the ends, as the runtime's Trim does.
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
// ASCII-only case mapping; bytes above 127 are left alone.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);  // ASCII case-insensitive equality

// 1-based position of Sub in S (0 when absent or when either is empty).
std::size_t Pos(std::string_view sub, std::string_view s);

std::string IntToStr(int64_t value);
std::string UIntToStr(uint64_t value);
// Strict integer conversion: leading blanks skipped, an optional sign, decimal digits or
// "$"/"0x" hexadecimal; the whole text must be the number and fit in 32 bits.
// Raises EConvertError("'<text>' is not a valid integer value").
int32_t StrToInt(std::string_view s);
// As StrToInt, but gives Default instead of raising.
int32_t StrToIntDef(std::string_view s, int32_t fallback);
// Strict floating-point conversion with "."; raises EConvertError("'<text>' is not a valid
// floating point value").
double StrToFloat(std::string_view s);
bool TryStrToFloat(std::string_view s, double& value);

// The general floating-point text: up to 15 significant digits, no trailing zeros, exponent
// form only when the number needs it ("1.5", "0.1", "1E20", "-3").
std::string FloatToStr(double value);
// Fixed text with Decimals digits after the point ("0.00" is FloatToStrF(v, 2)).
std::string FloatToStrF(double value, int decimals);

// "True"/"False"; StrToBool accepts "true"/"false" in any letter case and integers (0 false,
// other true) and raises EConvertError("'<text>' is not a valid boolean value") otherwise.
std::string BoolToStr(bool value);
bool StrToBool(std::string_view s);

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace rtl
