// UTF-8 text and tables of UTF-16 code units, as the scripts' CodesToUTF8 and UTF8ToCodes trade
// them. Encoding takes each code unit by itself (a surrogate half gives three bytes of its own),
// so any sequence of units survives the way back, paired or not. Decoding takes sequences of one
// to four bytes: a four-byte sequence gives its surrogate pair, and the three-byte form of a lone
// surrogate half gives that half. Overlong forms are read by their bits.
#pragma once

#include <string>
#include <string_view>

// The text ends before the first code unit 0: the scripts receive zero-terminated texts.
std::string CodeUnitsToUtf8(std::u16string_view units);

// Empty for malformed text: a byte that cannot start a sequence (a stray continuation byte,
// F8..FF), a missing continuation byte, a text ending inside a sequence, or a four-byte sequence
// beyond U+10FFFF.
std::u16string Utf8ToCodeUnits(std::string_view text);
