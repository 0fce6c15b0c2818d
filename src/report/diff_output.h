// tarvel-diff's writers: the text report, JSON Lines and CSV, all from one field table.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "image/load_image.h"
#include "platform/console.h"
#include "report/record_writer.h"
#include "report/report_items.h"

namespace tarvel {

// The output formats of tarvel-diff.
enum class DiffFormat { text, jsonl, csv, html };

// What the header of machine-readable output says about one image.
struct ImageFacts {
  UserText path;  // as given
  std::uint16_t version = 0;
  DigestState digest = DigestState::absent;
};

// The rules of one rules file that matched no item in this run, so that a typo shows.
struct UnmatchedRules {
  UserText path;  // as given
  std::vector<std::size_t> lines;
};

// Counts per list: items written, items left out by a rule or because their SHA1 value is known
// to be good, and items written with a SHA1 value known to be bad; and, one for each rules file
// given, the rules that matched nothing.
struct DiffCounts {
  using PerList = std::array<std::size_t, REPORT_LIST_COUNT>;
  PerList shown{};
  PerList excluded{};
  PerList known_good{};
  PerList known_bad{};
  std::vector<UnmatchedRules> unmatched_rules;

  std::size_t differences() const;
};

// How tarvel-diff writes.
struct DiffSettings {
  DiffFormat format = DiffFormat::text;
  bool items = true;       // false: the summary only (--summary)
  bool header = true;      // CSV: the row of column names first
  UserText host;           // names the host on every record, where given
};

// Writes what tarvel-diff found, in one format, to a console.
class DiffWriter {
 public:
  virtual ~DiffWriter() = default;
  virtual void header(const ImageFacts& old_image, const ImageFacts& new_image) = 0;
  virtual void item(const ReportItem& item) = 0;
  virtual void summary(const DiffCounts& counts) = 0;
  // After the last call above.
  virtual void finish() = 0;
};

// The text format writes the sections as tarvel prints them and no header; its summary is the
// CSV summary's table with tabs.
std::unique_ptr<DiffWriter> make_diff_writer(const DiffSettings& settings, Console& console);

// The JSON Lines schema this program writes.
inline constexpr std::string_view DIFF_SCHEMA = "tarvel-diff/2";

}  // namespace tarvel
