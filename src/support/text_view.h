// A view of UTF-16 text in the one form a table keeps it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvel {

// A text of UTF-16 units as a table keeps it: one byte a unit when every unit is below 0x100,
// two otherwise. A table gives each text exactly one form, so two of its texts are equal
// exactly when their forms and bytes are; a view of outside units compares unit by unit.
class TextView {
 public:
  TextView() = default;
  TextView(std::u16string_view units) : data_(units.data()), size_(units.size()), wide_(true) {}
  static TextView narrow(const unsigned char* bytes, std::size_t size) {
    TextView view;
    view.data_ = bytes;
    view.size_ = size;
    view.wide_ = false;
    return view;
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  bool wide() const { return wide_; }
  const char16_t* wide_units() const { return static_cast<const char16_t*>(data_); }
  const unsigned char* narrow_units() const { return static_cast<const unsigned char*>(data_); }
  char16_t operator[](std::size_t at) const {
    return wide_ ? wide_units()[at] : narrow_units()[at];
  }

  void append_to(std::u16string& out) const {
    if (wide_) {
      out.append(wide_units(), size_);
    } else {
      out.append(narrow_units(), narrow_units() + size_);
    }
  }
  std::u16string str() const {
    std::u16string out;
    append_to(out);
    return out;
  }

  friend bool operator==(const TextView& left, const TextView& right) {
    if (left.size_ != right.size_) {
      return false;
    }
    if (left.wide_ == right.wide_) {
      return left.size_ == 0 ||
             std::memcmp(left.data_, right.data_, left.size_ * (left.wide_ ? 2 : 1)) == 0;
    }
    for (std::size_t at = 0; at < left.size_; ++at) {
      if (left[at] != right[at]) {
        return false;
      }
    }
    return true;
  }

 private:
  const void* data_ = nullptr;
  std::size_t size_ = 0;
  bool wide_ = false;
};

// Packs units that are all below 0x100 into one byte each; false, with `out` partly written,
// as soon as one is not.
inline bool pack_narrow(const char16_t* units, std::size_t count, unsigned char* out) {
  std::size_t at = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; at + 8 <= count; at += 8) {
    const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + at));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_srli_epi16(eight, 8), zero)) != 0xFFFF) {
      return false;
    }
    // Every unit is below 0x100, so packing with saturation keeps each as it is.
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + at), _mm_packus_epi16(eight, eight));
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t HIGH_BYTES = 0xFF00FF00FF00FF00ULL;
    for (; at + 4 <= count; at += 4) {
      std::uint64_t word = 0;
      std::memcpy(&word, units + at, sizeof word);
      if ((word & HIGH_BYTES) != 0) {
        return false;
      }
      const auto packed =
          static_cast<std::uint32_t>((word & 0xFF) | ((word >> 8) & 0xFF00) |
                                     ((word >> 16) & 0xFF0000) | ((word >> 24) & 0xFF000000));
      std::memcpy(out + at, &packed, sizeof packed);
    }
  }
  for (; at < count; ++at) {
    if (units[at] > 0xFF) {
      return false;
    }
    out[at] = static_cast<unsigned char>(units[at]);
  }
  return true;
}

}  // namespace tarvel
