#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/case_folding.h"
#include "report/report_items.h"

namespace tarvel {

// Rules that take known noise out of the output of tarvel-diff. A rules file holds one rule a
// line: GLOB, or SECTION, a TAB and GLOB, where SECTION is autorun, application, hosts or file;
// '#' starts a comment line; blank lines are ignored. In a glob, '*' stands for any run of
// characters and '?' for one (in hosts lines, for one byte); letters match in either case, folded
// as the report folds them. A rule matches an entry's path, an application's label or key, or a
// hosts line.
class Exclusions {
 public:
  struct Rule {
    std::optional<Section> section;  // none: every section
    std::u16string glob;             // for paths, labels and keys
    std::string byte_glob;           // the same glob's UTF-8 bytes, for hosts lines
  };

  // Why a rules file was refused: the line (counting from 1) and the cause.
  struct Error {
    std::size_t line = 0;
    std::string message;
  };

  // Reads a rules file's text (UTF-8; a line may end in CR LF). Returns false, with error set,
  // for a file that is not what it should be.
  static bool parse(std::string_view text, Exclusions& out, Error& error);

  bool empty() const { return rules_.empty(); }
  bool excludes(const ReportItem& item, const CaseFolding& folding) const;

 private:
  std::vector<Rule> rules_;
};

// Whether text matches glob, letters folded with the given mappings.
bool glob_matches(std::u16string_view glob, std::u16string_view text, const CaseFolding& folding);
bool glob_matches(std::string_view glob, std::string_view text, const CaseFolding& folding);

}  // namespace tarvel
