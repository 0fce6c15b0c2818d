#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tarvel {

// Lower-case mappings of the current C locale, taken once so that comparisons fold a character
// with one table look-up instead of a locale call.
class CaseFolding {
 public:
  // Reads the mappings of the locale that is current when it is called.
  static std::shared_ptr<const CaseFolding> from_current_locale();

  char16_t fold_unit(char16_t unit) const { return wide_[unit]; }
  unsigned char fold_byte(unsigned char byte) const { return narrow_[byte]; }

  void fold(std::u16string_view text, std::u16string& out) const;
  void fold(std::string_view text, std::string& out) const;

 private:
  CaseFolding() = default;
  std::array<char16_t, 0x10000> wide_{};
  std::array<unsigned char, 0x100> narrow_{};
};

}  // namespace tarvel
