#include "compare/name_set.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tarvel {

namespace {

char16_t big_endian(char16_t unit) {
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<char16_t>((unit >> 8) | (unit << 8));
  } else {
    return unit;
  }
}

}  // namespace

void NameSet::insert(std::u16string_view text, std::uint32_t old_entry, std::uint32_t new_entry) {
  Member member;
  member.at = units_.size();
  member.length = static_cast<std::uint32_t>(text.size());
  member.old_entry = old_entry;
  member.new_entry = new_entry;
  units_.insert(units_.end(), text.begin(), text.end());
  // Folded units with their high byte first compare as bytes in the order they compare as
  // unsigned 16-bit numbers.
  for (const char16_t unit : text) {
    units_.push_back(big_endian(folding_->fold_unit(unit)));
  }
  members_.push_back(member);
}

void NameSet::append(const NameSet& later) {
  const std::uint64_t shift = units_.size();
  units_.insert(units_.end(), later.units_.begin(), later.units_.end());
  for (Member member : later.members_) {
    member.at += shift;
    members_.push_back(member);
  }
}

void NameSet::finish() const {
  if (finished_ == members_.size()) {
    return;
  }
  const auto folded = [this](const Member& member) {
    return reinterpret_cast<const unsigned char*>(units_.data() + member.at + member.length);
  };
  // Orders by folded units, a path that ends first sorting first; equal paths keep the order of
  // insertion, which the position of their units records.
  const auto before = [&](const Member& left, const Member& right) {
    const std::size_t common = std::min(left.length, right.length);
    const int order = std::memcmp(folded(left), folded(right), common * sizeof(char16_t));
    if (order != 0) {
      return order < 0;
    }
    if (left.length != right.length) {
      return left.length < right.length;
    }
    return left.at < right.at;
  };
  const auto same = [&](const Member& left, const Member& right) {
    return left.length == right.length &&
           std::memcmp(folded(left), folded(right), left.length * sizeof(char16_t)) == 0;
  };
  std::sort(members_.begin(), members_.end(), before);
  members_.erase(std::unique(members_.begin(), members_.end(), same), members_.end());
  finished_ = members_.size();
}

}  // namespace tarvel
