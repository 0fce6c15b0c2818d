#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include "platform/case_folding.h"

namespace tarvel {

// An ordered, case-insensitive, duplicate-free set of entry paths. Members are ordered by their
// UTF-16 units folded to lower case with the user's locale, compared as unsigned numbers; a
// member keeps the spelling of its first insertion.
class NameSet {
 public:
  explicit NameSet(const CaseFolding& folding) : folding_(&folding) {}

  // Adds a copy of text unless a member already equals it ignoring case.
  void insert(std::u16string_view text);

  std::size_t count() const { return members_.size(); }
  bool empty() const { return members_.empty(); }

  template <typename Visit>
  void for_each(Visit visit) const {
    for (const auto& member : members_) {
      visit(std::u16string_view(member.second));
    }
  }

 private:
  const CaseFolding* folding_;
  // Folded once per insertion, so ordering compares plain units.
  std::map<std::u16string, std::u16string> members_;
  std::u16string folded_;
};

inline void insert_name(NameSet& set, std::u16string_view text) { set.insert(text); }

}  // namespace tarvel
