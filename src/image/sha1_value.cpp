// Entry SHA1 values packed into 20 bytes where their text is 40 hex digits of one case.
#include "image/sha1_value.h"

namespace tarvel {

namespace {

constexpr std::size_t SHA1_DIGITS = 40;

// For each byte: its value as a hexadecimal digit, with a bit for a lower-case or an upper-case
// letter, or NOT_HEX.
constexpr std::uint8_t LOWER = 0x10;
constexpr std::uint8_t UPPER = 0x20;
constexpr std::uint8_t NOT_HEX = 0x40;
constexpr std::array<std::uint8_t, 256> HEX_DIGITS = [] {
  std::array<std::uint8_t, 256> table{};
  table.fill(NOT_HEX);
  for (std::size_t digit = 0; digit < 10; ++digit) {
    table['0' + digit] = static_cast<std::uint8_t>(digit);
  }
  for (std::size_t letter = 0; letter < 6; ++letter) {
    table['a' + letter] = static_cast<std::uint8_t>(LOWER | (10 + letter));
    table['A' + letter] = static_cast<std::uint8_t>(UPPER | (10 + letter));
  }
  return table;
}();

}  // namespace

Sha1Form pack_sha1(const std::array<std::uint8_t, SHA1_VALUE_SIZE>& value, PackedSha1& packed) {
  unsigned seen = (value[SHA1_DIGITS * 2] | value[SHA1_DIGITS * 2 + 1]) != 0 ? NOT_HEX : 0U;
  for (std::size_t i = 0; i < SHA1_DIGITS; i += 2) {
    const std::uint8_t high = HEX_DIGITS[value[2 * i]];
    const std::uint8_t low = HEX_DIGITS[value[2 * i + 2]];
    // A unit above 0xFF is no digit either.
    seen |= static_cast<unsigned>(high | low) |
            ((value[2 * i + 1] | value[2 * i + 3]) != 0 ? NOT_HEX : 0U);
    packed[i / 2] = static_cast<std::uint8_t>((high & 0x0F) << 4 | (low & 0x0F));
  }
  if ((seen & NOT_HEX) != 0 || ((seen & LOWER) != 0 && (seen & UPPER) != 0)) {
    return Sha1Form::text;
  }
  return (seen & UPPER) != 0 ? Sha1Form::upper_hex : Sha1Form::lower_hex;
}

std::u16string unpack_sha1(Sha1Form form, const PackedSha1& packed) {
  const char16_t* digits = form == Sha1Form::upper_hex ? u"0123456789ABCDEF" : u"0123456789abcdef";
  std::u16string text;
  for (const std::uint8_t byte : packed) {
    text.push_back(digits[byte >> 4]);
    text.push_back(digits[byte & 0x0F]);
  }
  return text;
}

}  // namespace tarvel
