// MD5 as RFC 1321 publishes it: four rounds of sixteen steps over 64-byte blocks, the message
// padded with 0x80, zeros and its bit length as a 64-bit little-endian number.
#include "foundation/md5.h"

namespace {

constexpr uint32_t Shifts[64] = {
    7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
    5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
    4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
    6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

// T[i] = floor(2^32 * |sin(i + 1)|), the table of the RFC.
constexpr uint32_t Sines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr uint32_t RotateLeft(uint32_t x, uint32_t n) { return (x << n) | (x >> (32 - n)); }

void Transform(uint32_t state[4], const uint8_t block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i)
    x[i] = uint32_t{block[4 * i]} | uint32_t{block[4 * i + 1]} << 8 |
           uint32_t{block[4 * i + 2]} << 16 | uint32_t{block[4 * i + 3]} << 24;
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int k;
    if (i < 16) {
      f = (b & c) | (~b & d);
      k = i;
    } else if (i < 32) {
      f = (b & d) | (c & ~d);
      k = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      k = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      k = (7 * i) % 16;
    }
    const uint32_t rotated = RotateLeft(a + f + Sines[i] + x[k], Shifts[i]);
    a = d;
    d = c;
    c = b;
    b += rotated;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

TMD5Digest MD5DigestOfText(std::string_view text) {
  uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const std::size_t size = text.size();
  std::size_t done = 0;
  for (; done + 64 <= size; done += 64) Transform(state, bytes + done);

  // The tail, the 0x80 byte, zeros and the bit length fill one or two last blocks.
  uint8_t last[128] = {};
  const std::size_t tail = size - done;
  for (std::size_t i = 0; i < tail; ++i) last[i] = bytes[done + i];
  last[tail] = 0x80;
  const std::size_t lastSize = tail < 56 ? 64 : 128;
  const uint64_t bits = static_cast<uint64_t>(size) * 8;
  for (int i = 0; i < 8; ++i) last[lastSize - 8 + i] = static_cast<uint8_t>(bits >> (8 * i));
  for (std::size_t at = 0; at < lastSize; at += 64) Transform(state, last + at);

  TMD5Digest digest;
  for (int i = 0; i < 16; ++i) digest[i] = static_cast<uint8_t>(state[i / 4] >> (8 * (i % 4)));
  return digest;
}

std::string MD5ToHex(const TMD5Digest& digest) {
  static constexpr char Digits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(32);
  for (uint8_t byte : digest) {
    hex.push_back(Digits[byte >> 4]);
    hex.push_back(Digits[byte & 15]);
  }
  return hex;
}
