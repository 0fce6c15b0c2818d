// tarvel-diff's writers: the text report, JSON Lines and CSV, all from one field table.
#include "report/diff_output.h"

#include <algorithm>

#include "report/change_record.h"
#include "report/diff_html.h"
#include "report/machine_text.h"
#include "report/terminal_text.h"
#include "report/text_report.h"

namespace tarvel {

namespace {

consteval std::size_t summary_field(std::string_view name) {
  return field_index(SUMMARY_FIELDS, name);
}

using SummaryValues = std::array<FieldValue, SUMMARY_FIELDS.size()>;

std::size_t total(const DiffCounts::PerList& counts) {
  std::size_t sum = 0;
  for (const std::size_t count : counts) {
    sum += count;
  }
  return sum;
}

// The cells of the summary table that CSV and text share: a row for each list, one for the
// total, and one for each rules file with the lines of its rules that matched nothing.
std::vector<std::vector<std::string>> summary_cells(const DiffCounts& counts,
                                                    const UserText& host) {
  std::vector<std::vector<std::string>> rows;
  const auto add = [&](const SummaryValues& values) {
    std::vector<std::string>& cells =
        rows.emplace_back(csv_column_of(SUMMARY_FIELDS, SUMMARY_FIELDS.size()) + 1);
    bool whole = true;
    for (std::size_t at = 0; at < SUMMARY_FIELDS.size(); ++at) {
      whole = fill_csv_cells(cells, csv_column_of(SUMMARY_FIELDS, at), SUMMARY_FIELDS[at],
                             values[at]) &&
              whole;
    }
    cells.back() = whole ? "" : "true";
  };
  const auto counts_row = [&](std::string_view section, std::string_view change, std::size_t shown,
                              std::size_t excluded, std::size_t known_good, std::size_t known_bad) {
    SummaryValues values{};
    if (!host.empty()) {
      values[summary_field("host")] = host.value();
    }
    values[summary_field("section")] = FieldValue::of_word(section);
    if (!change.empty()) {
      values[summary_field("change")] = FieldValue::of_word(change);
    }
    values[summary_field("count")] = FieldValue::of_number(shown);
    values[summary_field("excluded")] = FieldValue::of_number(excluded);
    values[summary_field("known_good")] = FieldValue::of_number(known_good);
    values[summary_field("known_bad")] = FieldValue::of_number(known_bad);
    return values;
  };
  for (std::size_t list = 0; list < REPORT_LIST_COUNT; ++list) {
    add(counts_row(REPORT_LISTS[list].section_name(), REPORT_LISTS[list].change_name,
                   counts.shown[list], counts.excluded[list], counts.known_good[list],
                   counts.known_bad[list]));
  }
  add(counts_row("total", {}, total(counts.shown), total(counts.excluded), total(counts.known_good),
                 total(counts.known_bad)));
  for (const UnmatchedRules& file : counts.unmatched_rules) {
    std::string lines;
    for (const std::size_t line : file.lines) {
      lines += (lines.empty() ? "" : " ") + std::to_string(line);
    }
    SummaryValues values{};
    if (!host.empty()) {
      values[summary_field("host")] = host.value();
    }
    values[summary_field("section")] = FieldValue::of_word("rules");
    values[summary_field("change")] = FieldValue::of_word("unmatched");
    values[summary_field("count")] = FieldValue::of_number(file.lines.size());
    values[summary_field("rules_file")] = file.path.value();
    values[summary_field("unmatched_lines")] = FieldValue::of_word(lines);
    add(values);
  }
  return rows;
}

// Console output in lines built whole, so a line never reaches the console half written.
class LineWriter : public DiffWriter {
 public:
  LineWriter(Console& console, const DiffSettings& settings)
      : console_(console), settings_(settings) {}
  void emit() {
    console_.write_bytes(line_);
    line_.clear();
  }

 protected:
  Console& console_;
  const DiffSettings& settings_;
  std::string line_;
  ChangeRecord record_;
};

class JsonLinesWriter final : public LineWriter {
 public:
  using LineWriter::LineWriter;

  void header(const ImageFacts& old_image, const ImageFacts& new_image) override {
    line_ += "{\"type\":\"header\",\"schema\":\"";
    line_ += DIFF_SCHEMA;
    line_ += "\",\"tool\":\"tarvel-diff\",\"tool_version\":\"" TARVEL_VERSION_TEXT "\"";
    bool whole = host();
    whole = image(",\"old\":{", old_image) && whole;
    whole = image(",\"new\":{", new_image) && whole;
    line_ += whole ? "}\n" : ",\"lossy\":true}\n";
    emit();
  }

  void item(const ReportItem& item) override {
    if (settings_.items) {
      append_json_record(line_, "change", CHANGE_FIELDS, record_.fill(item, settings_.host));
      emit();
    }
  }

  void summary(const DiffCounts& counts) override {
    line_ += "{\"type\":\"summary\"";
    bool whole = host();
    counts_object("count", counts.shown);
    counts_object("excluded", counts.excluded);
    counts_object("known_good", counts.known_good);
    counts_object("known_bad", counts.known_bad);
    if (!counts.unmatched_rules.empty()) {
      line_ += ",\"unmatched_rules\":[";
      for (const UnmatchedRules& file : counts.unmatched_rules) {
        line_ += &file == &counts.unmatched_rules.front() ? "{" : ",{";
        const std::size_t comma = line_.size();
        whole = append_json_field(line_, SUMMARY_FIELDS[summary_field("rules_file")],
                                  file.path.value()) &&
                whole;
        line_.erase(comma, 1);  // no comma before an object's first member
        line_ += ",\"unmatched_lines\":[";
        for (std::size_t at = 0; at < file.lines.size(); ++at) {
          line_ += (at == 0 ? "" : ",") + std::to_string(file.lines[at]);
        }
        line_ += "]}";
      }
      line_ += ']';
    }
    line_ += ",\"differences\":" + std::to_string(counts.differences());
    line_ += whole ? "}\n" : ",\"lossy\":true}\n";
    emit();
  }

  void finish() override {}

 private:
  bool host() {
    return settings_.host.empty() ||
           append_json_field(line_, CHANGE_FIELDS[change_field("host")], settings_.host.value());
  }

  bool image(std::string_view name, const ImageFacts& facts) {
    line_ += name;
    const std::size_t open = line_.size();
    const bool whole = append_json_field(line_, {"path", FieldType::text}, facts.path.value());
    line_.erase(open, 1);  // the comma before the first member
    line_ += ",\"version\":" + std::to_string(facts.version) + ",\"digest\":\"";
    line_ += digest_word(facts.digest);
    line_ += "\"}";
    return whole;
  }

  // ,"name":{"autorun":{"added":n,"removed":n},...,"total":n}, sections in report order.
  void counts_object(std::string_view name, const DiffCounts::PerList& counts) {
    line_ += ",\"";
    line_ += name;
    line_ += "\":{";
    for (std::size_t section = 0; section < SECTION_NAMES.size(); ++section) {
      line_ += section == 0 ? "\"" : ",\"";
      line_ += SECTION_NAMES[section];
      line_ += "\":{";
      bool first = true;
      for (std::size_t list = 0; list < REPORT_LIST_COUNT; ++list) {
        if (static_cast<std::size_t>(REPORT_LISTS[list].section) == section) {
          line_ += first ? "\"" : ",\"";
          first = false;
          line_ += REPORT_LISTS[list].change_name;
          line_ += "\":" + std::to_string(counts[list]);
        }
      }
      line_ += '}';
    }
    line_ += ",\"total\":" + std::to_string(total(counts)) + "}";
  }
};

class CsvWriter final : public LineWriter {
 public:
  using LineWriter::LineWriter;

  void header(const ImageFacts&, const ImageFacts&) override {
    if (settings_.header && settings_.items) {
      append_csv_record(line_, csv_columns(CHANGE_FIELDS));
      emit();
    }
  }

  void item(const ReportItem& item) override {
    if (settings_.items) {
      append_csv_row(line_, {}, CHANGE_FIELDS, record_.fill(item, settings_.host), cells_);
      emit();
    }
  }

  void summary(const DiffCounts& counts) override {
    if (settings_.items) {
      return;  // CSV holds one kind of record: the summary is written alone, with --summary
    }
    if (settings_.header) {
      append_csv_record(line_, csv_columns(SUMMARY_FIELDS));
    }
    for (const std::vector<std::string>& row : summary_cells(counts, settings_.host)) {
      append_csv_record(line_, row);
    }
    emit();
  }

  void finish() override {}

 private:
  std::vector<std::string> cells_;
};

class TextWriter final : public DiffWriter {
 public:
  TextWriter(Console& console, const DiffSettings& settings)
      : console_(console), report_(console), settings_(settings) {}

  void header(const ImageFacts&, const ImageFacts&) override {}
  void item(const ReportItem& item) override {
    if (settings_.items) {
      report_.item(item);
    }
  }
  // The CSV summary's table with tabs, every cell safe for a terminal: a rules file's name is
  // the user's, and may hold what a terminal acts on.
  void summary(const DiffCounts& counts) override {
    if (settings_.items) {
      return;
    }
    std::vector<std::vector<std::string>> rows = summary_cells(counts, settings_.host);
    if (settings_.header) {
      rows.insert(rows.begin(), csv_columns(SUMMARY_FIELDS));
    }
    std::string table;
    std::string scratch;
    for (const std::vector<std::string>& row : rows) {
      for (std::size_t at = 0; at < row.size(); ++at) {
        table += at == 0 ? "" : "\t";
        // A TAB of the user's text would move the rest of the row into the next column.
        std::string cell = row[at];
        std::replace(cell.begin(), cell.end(), '\t', '?');
        table += terminal_safe(cell, console_.output_encoding(), scratch);
      }
      table += '\n';
    }
    console_.write_bytes(table);
  }
  void finish() override { report_.finish(); }

 private:
  Console& console_;
  TextReportWriter report_;
  const DiffSettings& settings_;
};

}  // namespace

std::size_t DiffCounts::differences() const { return total(shown); }

std::unique_ptr<DiffWriter> make_diff_writer(const DiffSettings& settings, Console& console) {
  switch (settings.format) {
    case DiffFormat::jsonl:
      return std::make_unique<JsonLinesWriter>(console, settings);
    case DiffFormat::csv:
      return std::make_unique<CsvWriter>(console, settings);
    case DiffFormat::html:
      return make_html_writer(settings, console);
    case DiffFormat::text:
      break;
  }
  return std::make_unique<TextWriter>(console, settings);
}

}  // namespace tarvel
