#include "image/property_block.h"

#include <span>
#include <string_view>

#include "image/byte_reader.h"

namespace tarvel {

namespace {

constexpr std::u16string_view SHA1_NAME = u"SHA1";

// The units of a stored UTF-16LE text up to its first NUL unit; an odd last byte is no unit.
template <typename Visit>
void for_each_unit_before_nul(std::span<const std::uint8_t> bytes, Visit visit) {
  for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
    const char16_t unit = ByteReader::load_u16(bytes.data() + at);
    if (unit == 0 || !visit(unit)) {
      return;
    }
  }
}

bool is_sha1_name(std::span<const std::uint8_t> name) {
  std::size_t matched = 0;
  bool differs = false;
  for_each_unit_before_nul(name, [&](char16_t unit) {
    if (matched >= SHA1_NAME.size() || unit != SHA1_NAME[matched]) {
      differs = true;
      return false;
    }
    ++matched;
    return true;
  });
  return !differs && matched == SHA1_NAME.size();
}

}  // namespace

bool find_sha1_value(const EntryRecord* record, std::u16string& out) {
  if (record == nullptr || record->properties.empty() || (record->flags_c & HASH_EXEMPT_C) != 0) {
    return false;
  }
  ByteReader block(record->properties);
  while (!block.at_end()) {
    std::span<const std::uint8_t> name;
    std::span<const std::uint8_t> value;
    if (!block.take_prefixed(name) || !block.take_prefixed(value)) {
      return false;
    }
    if (value.size() == SHA1_VALUE_SIZE && is_sha1_name(name)) {
      out.clear();
      for_each_unit_before_nul(value, [&](char16_t unit) {
        out.push_back(unit);
        return true;
      });
      return true;
    }
  }
  return false;
}

}  // namespace tarvel
