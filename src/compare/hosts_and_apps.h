#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "compare/difference_report.h"
#include "image/loaded_image.h"
#include "platform/case_folding.h"

namespace tarvel {

// Replaces lines with the significant lines of a hosts text (its stored bytes, read up to the
// first NUL): leading spaces, tabs and line feeds skipped, cut at the first CR or LF, lines that
// start with '#' dropped.
void split_hosts_text(std::string_view hosts_text, HostsLines& lines);

// Appends to target, in source order and once per occurrence, every source line that no line
// of other equals when both are folded to lower case.
void compare_hosts_lines(const HostsLines& source, const HostsLines& other,
                         const CaseFolding& folding, HostsLines& target);

// The exact keys of one application list, for matching against the other image.
class ApplicationKeys {
 public:
  explicit ApplicationKeys(const std::vector<AppRecord>& apps);

  bool list_empty() const { return list_empty_; }
  bool contains(std::u16string_view key) const { return keys_.contains(key); }

 private:
  bool list_empty_;
  std::unordered_set<std::u16string_view> keys_;
};

// True when no application of the list has the same key, compared exactly.
bool application_absent(const AppRecord& app, const ApplicationKeys& list);

// Appends to target every application of source that is absent from other, in source order.
void compare_applications(const std::vector<AppRecord>& source, const std::vector<AppRecord>& other,
                          AppList& target);

}  // namespace tarvel
