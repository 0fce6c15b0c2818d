// The ordered, case-insensitive set of entry paths the comparison lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/case_folding.h"

namespace tarvel {

// An ordered, case-insensitive, duplicate-free set of entry paths. Members are ordered by their
// UTF-16 units folded to lower case with the user's locale, compared as unsigned numbers; a
// member keeps the spelling of its first insertion. Paths are collected first and put in order
// once by finish(), so a member costs its texts and one small record, not a tree node.
class NameSet {
 public:
  static constexpr std::uint32_t NO_ENTRY = UINT32_MAX;

  // What a member was inserted with besides its path: the entries of the two images it came
  // from, where it came from entries.
  struct Member {
    std::uint64_t at = 0;  // position of the path's units; its folded units follow them
    std::uint32_t length = 0;
    std::uint32_t old_entry = NO_ENTRY;
    std::uint32_t new_entry = NO_ENTRY;
  };

  explicit NameSet(const CaseFolding& folding) : folding_(&folding) {}

  const CaseFolding& folding() const { return *folding_; }

  // Adds a copy of text unless a member already equals it ignoring case.
  void insert(std::u16string_view text, std::uint32_t old_entry = NO_ENTRY,
              std::uint32_t new_entry = NO_ENTRY);
  // Takes over the members of a set filled after this one, as if inserted here in their order.
  void append(NameSet&& later);
  // Puts the members in order now rather than when the set is first read.
  void sort() const { finish(); }

  std::size_t count() const {
    finish();
    return members_.size();
  }
  bool empty() const { return members_.empty(); }
  // Members as inserted, duplicates not yet dropped: what putting them in order will take.
  std::size_t inserted() const { return members_.size(); }

  std::u16string_view text(const Member& member) const { return {units(member.at), member.length}; }
  // Calls visit(text, member) for every member in order.
  template <typename Visit>
  void for_each(Visit visit) const {
    finish();
    for (const Member& member : members_) {
      visit(text(member), member);
    }
  }

 private:
  // Puts the members in order and keeps the first insertion of each; done once, when the set
  // is first read after an insertion.
  void finish() const;

  // Paths live in blocks that never move, each path followed by its folded units stored most
  // significant byte first; a member's position counts across blocks in insertion order.
  static constexpr unsigned BLOCK_BITS = 16;
  static constexpr std::size_t BLOCK_UNITS = std::size_t{1} << BLOCK_BITS;
  const char16_t* units(std::uint64_t at) const {
    return blocks_[at >> BLOCK_BITS].get() + (at & (BLOCK_UNITS - 1));
  }

  const CaseFolding* folding_;
  std::vector<std::unique_ptr<char16_t[]>> blocks_;
  std::size_t used_ = BLOCK_UNITS;  // of the last block
  mutable std::vector<Member> members_;
  mutable std::size_t finished_ = 0;  // members known to be in order and unique
};

}  // namespace tarvel
