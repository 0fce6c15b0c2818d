// Exclusion rules for tarvel-diff: reading rules files and matching items against them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/case_folding.h"
#include "report/report_items.h"

namespace tarvel {

// Rules that take known noise out of the output of tarvel-diff. A rules file holds one rule a
// line: GLOB, or SECTION, a TAB and GLOB, where SECTION is autorun, application, hosts or file;
// '#' starts a comment line; blank lines are ignored. In a glob, '*' stands for any run of
// characters and '?' for one (in hosts lines, for one byte); letters match in either case, folded
// as the report folds them. A rule matches an entry's path, an application's label or key, or a
// hosts line. Several files add up.
class Exclusions {
 public:
  struct Rule {
    std::optional<Section> section;  // none: every section
    std::u16string glob;             // for paths, labels and keys
    std::string byte_glob;           // the same glob's UTF-8 bytes, for hosts lines
    std::size_t file = 0;            // which file added it, counting from 0
    std::size_t line = 0;            // its line there, counting from 1
  };

  // Why a rules file was refused: the line (counting from 1) and the cause.
  struct Error {
    std::size_t line = 0;
    std::string message;
  };

  // Adds the rules of one file's text (UTF-8, a byte order mark allowed; a line may end in
  // CR LF). Returns false, with error set and nothing added, for a file that is not what it
  // should be.
  bool add_file(std::string_view text, Error& error);

  bool empty() const { return rules_.empty(); }
  std::size_t file_count() const { return files_; }
  const std::vector<Rule>& rules() const { return rules_; }

  // Whether some rule matches the item. Every rule that matches it counts as having matched,
  // whichever decided. The cost grows with the rules that could match the item, not with all.
  bool excludes(const ReportItem& item, const CaseFolding& folding);

  // The lines of the rules of one file that have matched no item so far.
  std::vector<std::size_t> unmatched_lines(std::size_t file) const;

 private:
  // The rules whose globs could match a text, found by a literal end of each glob, folded: its
  // head (up to the first wildcard), or for a glob that starts with a wildcard its tail (after
  // the last). A text can only match a glob whose head its own folded start equals, and whose
  // tail its folded end equals.
  class Index {
   public:
    template <typename Char, typename Fold>
    void add(std::basic_string_view<Char> glob, std::uint32_t rule, Fold fold);
    // Calls visit(rule) for every rule that could match the text, which `folded` holds folded.
    template <typename Char, typename Visit>
    void candidates(std::basic_string_view<Char> folded, Visit visit) const;

   private:
    // Rules keyed by the hash of a literal run at one end of the text, with its length.
    class Anchors {
     public:
      void add(std::uint64_t key, std::size_t length, std::uint32_t rule);
      // unit(i) is the i-th folded unit from this end of the text.
      template <typename Unit, typename Visit>
      void candidates(std::size_t size, Unit unit, Visit visit) const;

     private:
      static constexpr unsigned FILTER_BITS = 18;
      std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> rules_;
      // One bit for each key's top bits: most ends of a text are no rule's anchor, and the bit
      // says so before the table is asked.
      std::vector<std::uint64_t> filter_ =
          std::vector<std::uint64_t>(std::size_t{1} << (FILTER_BITS - 6));
      std::vector<std::size_t> lengths_;  // ascending, each once
    };

    Anchors heads_;
    Anchors tails_;
    std::vector<std::uint32_t> unanchored_;  // globs with a wildcard at both ends
  };

  void build_indexes(const CaseFolding& folding);
  static bool matches(const Rule& rule, const ReportItem& item, const CaseFolding& folding);

  std::vector<Rule> rules_;
  std::vector<bool> matched_;
  std::size_t files_ = 0;
  const CaseFolding* indexed_with_ = nullptr;
  Index wide_;
  Index bytes_;
  std::u16string folded_wide_;
  std::string folded_bytes_;
};

// Whether text matches glob, letters folded with the given mappings.
bool glob_matches(std::u16string_view glob, std::u16string_view text, const CaseFolding& folding);
bool glob_matches(std::string_view glob, std::string_view text, const CaseFolding& folding);

}  // namespace tarvel
