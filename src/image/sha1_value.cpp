// Entry SHA1 values packed into 20 bytes where their text is 40 hex digits of one case.
#include "image/sha1_value.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)
// The same as pack_sha1_scalar, sixteen digits at a time: every entry with a SHA1 passes here.
Sha1Form pack_sha1_sse2(const std::array<std::uint8_t, SHA1_VALUE_SIZE>& value,
                        PackedSha1& packed) {
  const auto load = [&](std::size_t unit) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(value.data() + unit * 2));
  };
  const __m128i units[5] = {load(0), load(8), load(16), load(24), load(32)};
  const __m128i zero = _mm_setzero_si128();
  const __m128i all = _mm_or_si128(
      _mm_or_si128(_mm_or_si128(units[0], units[1]), _mm_or_si128(units[2], units[3])), units[4]);
  // A unit above 0xFF is no digit, and the 41st unit must be NUL.
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_srli_epi16(all, 8), zero)) != 0xFFFF ||
      (value[SHA1_DIGITS * 2] | value[SHA1_DIGITS * 2 + 1]) != 0) {
    return Sha1Form::text;
  }
  // Each unit is one byte now; the last vector holds its eight digits twice.
  const __m128i digits[3] = {_mm_packus_epi16(units[0], units[1]),
                             _mm_packus_epi16(units[2], units[3]),
                             _mm_packus_epi16(units[4], units[4])};
  const __m128i case_bit = _mm_set1_epi8(0x20);
  int not_hex = 0;
  int upper = 0;
  int lower = 0;
  __m128i nibble_pairs[3];
  for (std::size_t part = 0; part < 3; ++part) {
    const __m128i c = digits[part];
    // Unsigned "at most": x <= limit exactly when min(x, limit) == x.
    const __m128i decimal = _mm_sub_epi8(c, _mm_set1_epi8('0'));
    const __m128i is_decimal = _mm_cmpeq_epi8(_mm_min_epu8(decimal, _mm_set1_epi8(9)), decimal);
    const __m128i letter = _mm_sub_epi8(_mm_or_si128(c, case_bit), _mm_set1_epi8('a'));
    const __m128i is_letter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
    const __m128i is_lower = _mm_cmpeq_epi8(_mm_and_si128(c, case_bit), case_bit);
    not_hex |= _mm_movemask_epi8(_mm_or_si128(is_decimal, is_letter)) ^ 0xFFFF;
    upper |= _mm_movemask_epi8(_mm_andnot_si128(is_lower, is_letter));
    lower |= _mm_movemask_epi8(_mm_and_si128(is_lower, is_letter));
    const __m128i nibbles =
        _mm_or_si128(_mm_and_si128(is_decimal, decimal),
                     _mm_and_si128(is_letter, _mm_add_epi8(letter, _mm_set1_epi8(10))));
    // Two digits a 16-bit lane, the first low: the first becomes the byte's high half.
    nibble_pairs[part] =
        _mm_or_si128(_mm_slli_epi16(_mm_and_si128(nibbles, _mm_set1_epi16(0xFF)), 4),
                     _mm_srli_epi16(nibbles, 8));
  }
  if (not_hex != 0 || (upper != 0 && lower != 0)) {
    return Sha1Form::text;
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(packed.data()),
                   _mm_packus_epi16(nibble_pairs[0], nibble_pairs[1]));
  const int last = _mm_cvtsi128_si32(_mm_packus_epi16(nibble_pairs[2], nibble_pairs[2]));
  std::memcpy(packed.data() + 16, &last, 4);
  return upper != 0 ? Sha1Form::upper_hex : Sha1Form::lower_hex;
}
#endif

}  // namespace

Sha1Form pack_sha1(const std::array<std::uint8_t, SHA1_VALUE_SIZE>& value, PackedSha1& packed) {
#if defined(__SSE2__)
  return pack_sha1_sse2(value, packed);
#else
  return pack_sha1_scalar(value, packed);
#endif
}

Sha1Form pack_sha1_scalar(const std::array<std::uint8_t, SHA1_VALUE_SIZE>& value,
                          PackedSha1& packed) {
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

void unpack_sha1(Sha1Form form, const PackedSha1& packed, std::u16string& text) {
  const char16_t* digits = form == Sha1Form::upper_hex ? u"0123456789ABCDEF" : u"0123456789abcdef";
  text.resize(2 * packed.size());
  for (std::size_t at = 0; at < packed.size(); ++at) {
    text[2 * at] = digits[packed[at] >> 4];
    text[2 * at + 1] = digits[packed[at] & 0x0F];
  }
}

}  // namespace tarvel
