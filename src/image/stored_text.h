// Texts as an image stores them: UTF-16LE bytes up to their first NUL unit.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "image/little_endian.h"

namespace tarvel {

// The position of the first NUL unit among `count` stored UTF-16LE units, or `count`. Looks
// at the stored bytes themselves, eight units at a time, so that only the units before it need
// copying.
inline std::size_t first_nul_unit(const std::uint8_t* stored, std::size_t count) {
  std::size_t at = 0;
#if defined(__SSE2__)
  const __m128i nul = _mm_setzero_si128();
  for (; at + 8 <= count; at += 8) {
    const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(stored + at * 2));
    const auto zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(eight, nul)));
    if (zeros != 0) {
      return at + static_cast<std::size_t>(std::countr_zero(zeros)) / 2;
    }
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t ONES = 0x0001000100010001ULL;
    constexpr std::uint64_t HIGHS = 0x8000800080008000ULL;
    for (; at + 4 <= count; at += 4) {
      std::uint64_t word = 0;
      std::memcpy(&word, stored + at * 2, sizeof word);
      // The lowest flagged lane is the first zero unit: borrows only run upwards.
      const std::uint64_t zero = (word - ONES) & ~word & HIGHS;
      if (zero != 0) {
        return at + static_cast<std::size_t>(std::countr_zero(zero)) / 16;
      }
    }
  }
  for (; at < count; ++at) {
    if (load_u16(stored + at * 2) == 0) {
      return at;
    }
  }
  return count;
}

// The whole UTF-16LE units of stored bytes, copied into out (room for bytes.size() / 2 units);
// returns their count.
inline std::size_t copy_units(std::span<const std::uint8_t> bytes, char16_t* out) {
  const std::size_t whole = bytes.size() / 2;
  if constexpr (std::endian::native == std::endian::little) {
    if (whole != 0) {
      std::memcpy(out, bytes.data(), whole * sizeof(char16_t));
    }
  } else {
    for (std::size_t i = 0; i < whole; ++i) {
      out[i] = load_u16(bytes.data() + i * 2);
    }
  }
  return whole;
}

// The text a stored entry field holds, as it reads from a zero-filled field: its UTF-16LE
// units, an odd last byte being the low byte of a unit of its own, up to the first NUL unit.
// Writes into out (room for (bytes.size() + 1) / 2 units); returns the length.
inline std::size_t decode_field_text(std::span<const std::uint8_t> bytes, std::span<char16_t> out) {
  const std::size_t whole = bytes.size() / 2;
  std::size_t length = first_nul_unit(bytes.data(), whole);
  copy_units(bytes.first(length * 2), out.data());
  if (length == whole && bytes.size() % 2 != 0 && bytes.back() != 0) {
    out[length++] = bytes.back();
  }
  return length;
}

// Returned by pack_field_text where a unit of the text takes more than a byte.
inline constexpr std::size_t NOT_NARROW = SIZE_MAX;

// The text a stored entry field holds, as decode_field_text reads it, written one byte a unit
// into out (room for (bytes.size() + 1) / 2 bytes) where every unit is below 0x100: the NUL
// search, the check and the packing in one pass over the stored bytes. Returns the length, or
// NOT_NARROW (out then holds nothing of use).
inline std::size_t pack_field_text(std::span<const std::uint8_t> bytes, unsigned char* out) {
  const std::size_t whole = bytes.size() / 2;
  std::size_t at = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; at + 8 <= whole; at += 8) {
    const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + at * 2));
    // Two mask bits a unit: the unit is NUL; its high byte is not zero.
    const auto nul = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(eight, zero)));
    const auto wide = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_srli_epi16(eight, 8), zero)) ^ 0xFFFF);
    const unsigned before_nul = nul == 0 ? 0xFFFFU : (nul & (0U - nul)) - 1;
    if ((wide & before_nul) != 0) {
      return NOT_NARROW;
    }
    // Units from the NUL on may saturate; they lie past the text's end.
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + at), _mm_packus_epi16(eight, eight));
    if (nul != 0) {
      return at + static_cast<std::size_t>(std::countr_zero(nul)) / 2;
    }
  }
#endif
  for (; at < whole; ++at) {
    const std::uint16_t unit = load_u16(bytes.data() + at * 2);
    if (unit == 0) {
      return at;
    }
    if (unit > 0xFF) {
      return NOT_NARROW;
    }
    out[at] = static_cast<unsigned char>(unit);
  }
  if (bytes.size() % 2 != 0 && bytes.back() != 0) {
    out[at++] = bytes.back();
  }
  return at;
}

// The units of stored bytes up to the first NUL unit, copied into out (room for
// bytes.size() / 2 units); returns their count. An odd last byte belongs to no unit.
inline std::size_t copy_text_units(std::span<const std::uint8_t> bytes, char16_t* out) {
  return copy_units(bytes.first(first_nul_unit(bytes.data(), bytes.size() / 2) * 2), out);
}

}  // namespace tarvel
