// Case folding of UTF-16 units, taken once from the current locale.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tarvel {

// Lower-case mappings of the current C locale, taken once so that comparisons fold a character
// with one table look-up instead of a locale call.
class CaseFolding {
 public:
  // Reads the mappings of the locale that is current when it is called.
  static std::shared_ptr<const CaseFolding> from_current_locale();
  // Takes the mappings from elsewhere: the lower case of every UTF-16 unit and of every byte,
  // each indexed by what it lowers.
  static std::shared_ptr<const CaseFolding> from_tables(
      std::span<const char16_t, 0x10000> wide, std::span<const unsigned char, 0x100> narrow);

  char16_t fold_unit(char16_t unit) const { return wide_[unit]; }
  unsigned char fold_byte(unsigned char byte) const { return narrow_[byte]; }
  // The byte mapping as a table of 256 entries.
  const unsigned char* byte_table() const { return narrow_.data(); }

  void fold(std::u16string_view text, std::u16string& out) const;
  void fold(std::string_view text, std::string& out) const;

 private:
  CaseFolding() = default;
  static std::shared_ptr<CaseFolding> make_empty();
  std::array<char16_t, 0x10000> wide_{};
  std::array<unsigned char, 0x100> narrow_{};
};

}  // namespace tarvel
