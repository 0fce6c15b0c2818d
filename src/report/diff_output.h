#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "image/load_image.h"
#include "platform/console.h"
#include "report/report_items.h"

namespace tarvel {

// The output formats of tarvel-diff.
enum class DiffFormat { text, jsonl, csv };

// What the header of machine-readable output says about one image.
struct ImageFacts {
  std::string path_json;  // the path as given, already a JSON string
  std::uint16_t version = 0;
  DigestState digest = DigestState::absent;
};

// The rules of one rules file that matched no item in this run, so that a typo shows.
struct UnmatchedRules {
  std::string path_json;  // the file's path as given, already a JSON string
  std::string path_utf8;
  std::vector<std::size_t> lines;
};

// Counts per list: items written, and items left out by an exclusion rule; and, one for each
// rules file given, the rules that matched nothing.
struct DiffCounts {
  std::array<std::size_t, REPORT_LIST_COUNT> shown{};
  std::array<std::size_t, REPORT_LIST_COUNT> excluded{};
  std::vector<UnmatchedRules> unmatched_rules;

  std::size_t differences() const;
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

// `items` false: only the summary is written (--summary). The text format writes the sections
// as tarvel prints them and no header; its summary is a small table.
std::unique_ptr<DiffWriter> make_diff_writer(DiffFormat format, bool items, Console& console);

// The JSON Lines schema this program writes.
inline constexpr std::string_view DIFF_SCHEMA = "tarvel-diff/1";

}  // namespace tarvel
