// Case folding tables taken from the current locale.
#include "platform/case_folding.h"

#include <algorithm>
#include <cctype>
#include <cwctype>

namespace tarvel {

namespace {

// A mapping beyond one UTF-16 unit cannot stand in for the unit; a 16-bit wint_t has none.
template <typename Wide>
bool fits_in_one_unit(Wide value) {
  if constexpr (sizeof(Wide) > 2) {
    return value <= 0xFFFF;
  } else {
    return true;
  }
}

}  // namespace

std::shared_ptr<CaseFolding> CaseFolding::make_empty() {
  // Private constructor: build through a derived helper type.
  struct Built : CaseFolding {};
  return std::make_shared<Built>();
}

std::shared_ptr<const CaseFolding> CaseFolding::from_tables(
    std::span<const char16_t, 0x10000> wide, std::span<const unsigned char, 0x100> narrow) {
  auto folding = make_empty();
  std::copy(wide.begin(), wide.end(), folding->wide_.begin());
  std::copy(narrow.begin(), narrow.end(), folding->narrow_.begin());
  return folding;
}

std::shared_ptr<const CaseFolding> CaseFolding::from_current_locale() {
  auto folding = make_empty();
  for (std::uint32_t unit = 0; unit < 0x10000; ++unit) {
    char16_t folded = static_cast<char16_t>(unit);
    // Surrogate halves are not characters; they fold to themselves.
    if (unit < 0xD800 || unit > 0xDFFF) {
      const std::wint_t lowered = std::towlower(static_cast<std::wint_t>(unit));
      if (fits_in_one_unit(lowered)) {
        folded = static_cast<char16_t>(lowered);
      }
    }
    folding->wide_[unit] = folded;
  }
  for (int byte = 0; byte < 0x100; ++byte) {
    folding->narrow_[static_cast<std::size_t>(byte)] =
        static_cast<unsigned char>(std::tolower(byte));
  }
  return folding;
}

void CaseFolding::fold(std::u16string_view text, std::u16string& out) const {
  out.resize(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[i] = wide_[text[i]];
  }
}

void CaseFolding::fold(std::string_view text, std::string& out) const {
  out.resize(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[i] = static_cast<char>(narrow_[static_cast<unsigned char>(text[i])]);
  }
}

}  // namespace tarvel
