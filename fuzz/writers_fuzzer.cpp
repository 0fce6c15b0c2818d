// Feeds two images cut from one input (as whole_run_fuzzer does) to tarvel-diff in JSON Lines
// and CSV, and the first to tarvel-dump in both formats. Every JSON line must parse, every CSV
// text must split back into records of one width, and the CSV items of tarvel-diff must be the
// JSON ones, field for field: each column holds the member its name names.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "app/diff_driver.h"
#include "app/dump_driver.h"
#include "testing/csv_reader.h"
#include "testing/fake_platform.h"
#include "testing/run_in_process.h"
#include "two_images.h"

namespace {

using tarvel::testing::CsvRecord;
using tarvel::testing::FakePlatform;

void check(bool condition) {
  if (!condition) {
    __builtin_trap();
  }
}

std::string run(const std::vector<std::filesystem::path>& arguments, std::span<const std::uint8_t> old_image,
                std::span<const std::uint8_t> new_image, bool dump) {
  FakePlatform platform(&tarvel::testing::utf8_case_folding());
  tarvel::testing::FakeFile old_file;
  old_file.bytes = old_image;
  platform.add_file("old.img", old_file);
  tarvel::testing::FakeFile new_file;
  new_file.bytes = new_image;
  platform.add_file("new.img", new_file);
  const int status = dump ? tarvel::run_dump(arguments, platform) : tarvel::run_diff(arguments, platform);
  check(status >= 0 && status <= 2);
  return platform.output();
}

std::vector<nlohmann::json> json_lines(const std::string& text) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    check(nlohmann::json::accept(line));
    lines.push_back(nlohmann::json::parse(line));
  }
  check(text.empty() || text.back() == '\n');
  return lines;
}

std::vector<CsvRecord> csv_records(const std::string& text) {
  std::vector<CsvRecord> records;
  check(tarvel::testing::read_csv(text, records));
  for (const CsvRecord& record : records) {
    check(record.size() == records.front().size());
  }
  return records;
}

// What the CSV writer makes of a text: a formula guard before a leading = + - @ TAB or CR.
std::string guarded(const std::string& text) {
  return !text.empty() && std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos
             ? "'" + text
             : text;
}

// The CSV cell of a JSON Lines member, which the record may not have: words and texts as they
// are, numbers in decimal, null and a member the record lacks as an empty cell.
std::string cell_of(const nlohmann::json& record, const std::string& name) {
  if (!record.contains(name) || record[name].is_null()) {
    return "";
  }
  if (name == "lossy") {
    return record[name] == true ? "true" : "false";
  }
  return record[name].is_string() ? guarded(record[name].get<std::string>()) : record[name].dump();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::optional<tarvel::fuzz::TwoImages> images = tarvel::fuzz::cut_two_images(data, size);
  if (!images) {
    return 0;
  }
  const auto old_image = images->old_image;
  const auto new_image = images->new_image;

  const std::string jsonl =
      run({"tarvel-diff", "--format", "jsonl", "old.img", "new.img"}, old_image, new_image, false);
  const std::string csv =
      run({"tarvel-diff", "--format", "csv", "old.img", "new.img"}, old_image, new_image, false);
  const std::vector<nlohmann::json> changes = json_lines(jsonl);
  const std::vector<CsvRecord> rows = csv_records(csv);
  if (!changes.empty()) {
    // A header, the changes, a summary; and the CSV's column names, the same changes, each
    // column the member of that name.
    check(rows.size() + 1 == changes.size());
    for (std::size_t at = 1; at + 1 < changes.size(); ++at) {
      const nlohmann::json& change = changes[at];
      std::size_t members = 1;  // "type", which CSV leaves out
      for (std::size_t column = 0; column < rows[0].size(); ++column) {
        check(rows[at][column] == cell_of(change, rows[0][column]));
        members += change.contains(rows[0][column]) ? 1 : 0;
      }
      check(members == change.size());  // no member without its column
    }
  }

  json_lines(run({"tarvel-dump", "old.img"}, old_image, new_image, true));
  csv_records(run({"tarvel-dump", "--format", "csv", "old.img"}, old_image, new_image, true));
  return 0;
}
