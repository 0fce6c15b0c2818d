// UTF-16 as every layer reads and writes it: surrogate pairs, and what a lone half is.
#pragma once

#include <cstddef>
#include <string_view>

namespace tarvel {

constexpr bool is_high_surrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool is_low_surrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Calls put(character, whole) for each character of UTF-16 text, in order: a surrogate pair is
// one character; a lone half of one comes as itself with whole false. Returns false when there
// was a lone half.
template <typename Put>
bool for_each_character(std::u16string_view text, Put put) {
  bool whole = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t unit = text[i];
    if (is_high_surrogate(unit) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
      put(0x10000 + ((unit - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00), true);
      ++i;
    } else if (is_high_surrogate(unit) || is_low_surrogate(unit)) {
      put(unit, false);
      whole = false;
    } else {
      put(unit, true);
    }
  }
  return whole;
}

// Appends a Unicode scalar value as one or two UTF-16 units to any container of 16-bit units.
template <typename Units>
void append_utf16(Units& out, char32_t character) {
  using Unit = typename Units::value_type;
  if (character >= 0x10000) {
    out.push_back(static_cast<Unit>(0xD800 + ((character - 0x10000) >> 10)));
    out.push_back(static_cast<Unit>(0xDC00 + ((character - 0x10000) & 0x3FF)));
  } else {
    out.push_back(static_cast<Unit>(character));
  }
}

}  // namespace tarvel
