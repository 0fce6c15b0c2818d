// The ordered, case-insensitive set of entry paths.
#include "compare/name_set.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "compare/parallel.h"

namespace tarvel {

namespace {

// Putting a member in order compares its path with a dozen or more others: work worth a thread
// at far fewer members than a pass over entries.
constexpr std::size_t SORT_WORK_PER_MEMBER = 8;

char16_t big_endian(char16_t unit) {
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<char16_t>((unit >> 8) | (unit << 8));
  } else {
    return unit;
  }
}

}  // namespace

void NameSet::insert(std::u16string_view text, std::uint32_t old_entry, std::uint32_t new_entry) {
  // A path with its folded copy always fits in a block: paths are at most 2307 units long.
  const std::size_t needed = text.size() * 2;
  if (blocks_.empty() || needed > BLOCK_UNITS - used_) {
    if (needed > BLOCK_UNITS) {
      throw std::bad_alloc();
    }
    blocks_.push_back(std::make_unique_for_overwrite<char16_t[]>(BLOCK_UNITS));
    used_ = 0;
  }
  Member member;
  member.at = ((blocks_.size() - 1) << BLOCK_BITS) | used_;
  member.length = static_cast<std::uint32_t>(text.size());
  member.old_entry = old_entry;
  member.new_entry = new_entry;
  char16_t* out = blocks_.back().get() + used_;
  std::copy(text.begin(), text.end(), out);
  // Folded units with their high byte first compare as bytes in the order they compare as
  // unsigned 16-bit numbers.
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[text.size() + i] = big_endian(folding_->fold_unit(text[i]));
  }
  used_ += needed;
  members_.push_back(member);
}

void NameSet::append(NameSet&& later) {
  const std::uint64_t shift = std::uint64_t{blocks_.size()} << BLOCK_BITS;
  for (auto& block : later.blocks_) {
    blocks_.push_back(std::move(block));
  }
  if (!later.blocks_.empty()) {
    used_ = later.used_;
  }
  members_.reserve(members_.size() + later.members_.size());
  for (Member member : later.members_) {
    member.at += shift;
    members_.push_back(member);
  }
  later.blocks_.clear();
  later.members_.clear();
}

void NameSet::finish() const {
  if (finished_ == members_.size()) {
    return;
  }
  const auto folded = [this](const Member& member) {
    return reinterpret_cast<const unsigned char*>(units(member.at) + member.length);
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
  // Two halves put in order side by side, then merged: `before` orders every pair of members,
  // so this is the order one sort gives.
  const auto middle = members_.begin() + static_cast<std::ptrdiff_t>(members_.size() / 2);
  in_parallel(
      members_.size() * SORT_WORK_PER_MEMBER,
      [&] { std::sort(members_.begin(), middle, before); },
      [&] { std::sort(middle, members_.end(), before); });
  std::inplace_merge(members_.begin(), middle, members_.end(), before);
  members_.erase(std::unique(members_.begin(), members_.end(), same), members_.end());
  finished_ = members_.size();
}

}  // namespace tarvel
