#include "game/CodeUnitText.h"

#include <cstdint>

std::string CodeUnitsToUtf8(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (const char16_t unit : units) {
    if (unit == 0) break;
    if (unit < 0x80) {
      out += static_cast<char>(unit);
    } else if (unit < 0x800) {
      out += static_cast<char>(0xC0 | (unit >> 6));
      out += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (unit >> 12));
      out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  return out;
}

std::u16string Utf8ToCodeUnits(std::string_view text) {
  std::u16string units;
  units.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<uint8_t>(text[i]);
    std::size_t trail = 0;
    uint32_t code = 0;
    if (lead < 0x80) {
      code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      trail = 1, code = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      trail = 2, code = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      trail = 3, code = lead & 0x07;
    } else {
      return {};
    }
    if (text.size() - i - 1 < trail) return {};
    for (std::size_t k = 1; k <= trail; ++k) {
      const auto byte = static_cast<uint8_t>(text[i + k]);
      if ((byte & 0xC0) != 0x80) return {};
      code = (code << 6) | (byte & 0x3F);
    }
    i += trail + 1;
    if (code < 0x10000) {
      units += static_cast<char16_t>(code);
    } else if (code <= 0x10FFFF) {
      code -= 0x10000;
      units += static_cast<char16_t>(0xD800 | (code >> 10));
      units += static_cast<char16_t>(0xDC00 | (code & 0x3FF));
    } else {
      return {};
    }
  }
  return units;
}
