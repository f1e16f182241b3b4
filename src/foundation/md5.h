// The MD5 message digest of RFC 1321 over whole byte strings, and its lower-case hex text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

using TMD5Digest = std::array<uint8_t, 16>;

// Every byte of Text counts, zero bytes included.
TMD5Digest MD5DigestOfText(std::string_view text);
// 32 characters, high nibble first.
std::string MD5ToHex(const TMD5Digest& digest);
