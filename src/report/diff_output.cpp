#include "report/diff_output.h"

#include <cinttypes>
#include <cstdio>

#include "compare/entry_changes.h"
#include "report/machine_text.h"
#include "report/terminal_text.h"
#include "report/text_report.h"

namespace tarvel {

namespace {

std::string_view digest_name(DigestState digest) {
  switch (digest) {
    case DigestState::checked:
      return "checked";
    case DigestState::mismatch:
      return "mismatch";
    case DigestState::missing:
      return "missing";
    case DigestState::absent:
      break;
  }
  return "absent";
}

std::string hex_word(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08" PRIx32, value);
  return text;
}

// An entry's SHA1 value as its text, empty where it has none.
std::u16string sha1_of(const EntryTable* table, const EntryRow* row) {
  return row != nullptr && row->sha1_form != Sha1Form::none ? table->sha1_text(*row)
                                                             : std::u16string();
}

// A text as a JSON string; where it is not whole, its exact units (or bytes) go into raw as
// `,"<name>_hex":"..."`, and false comes back.
template <typename Text>
bool json_text(std::string& out, std::string& raw, std::string_view name, Text text) {
  if (append_json_string(out, text)) {
    return true;
  }
  raw += ",\"";
  raw += name;
  raw += "_hex\":\"";
  append_hex(raw, text);
  raw += '"';
  return false;
}

// A text as a CSV cell; where it is not whole, its exact units (or bytes) go into hex_cell.
template <typename Text>
void csv_text(std::string& cell, std::string& hex_cell, Text text) {
  if (!append_utf8(cell, text)) {
    append_hex(hex_cell, text);
  }
}

void append_status_json(std::string& out, const EntryRow& row) {
  const MaskedStatus status = mask_status(row);
  out += "{\"flags_a\":" + std::to_string(status.flags_a) +
         ",\"flags_b\":" + std::to_string(status.flags_b) +
         ",\"flags_c\":" + std::to_string(status.flags_c) +
         ",\"flags_d\":" + std::to_string(status.flags_d) + "}";
}

std::string status_text(const EntryRow& row) {
  const MaskedStatus status = mask_status(row);
  return hex_word(status.flags_a) + " " + hex_word(status.flags_b) + " " +
         hex_word(status.flags_c) + " " + hex_word(status.flags_d);
}

// The rows of the summary table that CSV and text share: a header, one row for each list, and,
// where rules files were given, one for each file with the lines of its rules that matched
// nothing, separated by blanks.
std::vector<std::vector<std::string>> summary_rows(const DiffCounts& counts) {
  const bool with_rules = !counts.unmatched_rules.empty();
  std::vector<std::vector<std::string>> rows;
  rows.push_back({"section", "change", "count", "excluded"});
  for (std::size_t list = 0; list < REPORT_LIST_COUNT; ++list) {
    rows.push_back({std::string(REPORT_LISTS[list].section_name),
                    std::string(REPORT_LISTS[list].change_name),
                    std::to_string(counts.shown[list]), std::to_string(counts.excluded[list])});
  }
  for (const UnmatchedRules& file : counts.unmatched_rules) {
    std::string lines;
    for (const std::size_t line : file.lines) {
      lines += (lines.empty() ? "" : " ") + std::to_string(line);
    }
    rows.push_back({"rules", "unmatched", std::to_string(file.lines.size()), "", file.path_utf8,
                    lines});
  }
  if (with_rules) {
    for (std::size_t row = 0; row <= REPORT_LIST_COUNT; ++row) {
      rows[row].resize(6);
    }
    rows[0][4] = "rules_file";
    rows[0][5] = "unmatched_lines";
  }
  return rows;
}

// Console output in lines built whole, so a line never reaches the console half written.
class LineWriter : public DiffWriter {
 protected:
  explicit LineWriter(Console& console) : console_(console) {}
  void emit() {
    console_.write_bytes(line_);
    line_.clear();
  }
  Console& console_;
  std::string line_;
};

class JsonLinesWriter final : public LineWriter {
 public:
  JsonLinesWriter(Console& console, bool items) : LineWriter(console), items_(items) {}

  void header(const ImageFacts& old_image, const ImageFacts& new_image) override {
    if (!items_) {
      return;
    }
    line_ += "{\"type\":\"header\",\"schema\":\"";
    line_ += DIFF_SCHEMA;
    line_ += "\",\"tool\":\"tarvel-diff\",\"tool_version\":\"" TARVEL_VERSION_TEXT "\"";
    image(",\"old\":", old_image);
    image(",\"new\":", new_image);
    line_ += "}\n";
    emit();
  }

  void item(const ReportItem& item) override {
    if (!items_) {
      return;
    }
    const ReportList& kind = item.kind();
    line_ += "{\"type\":\"change\",\"section\":\"";
    line_ += kind.section_name;
    line_ += "\",\"change\":\"";
    line_ += kind.change_name;
    line_ += "\",";
    bool whole = true;
    std::string raw;
    if (kind.section == Section::hosts) {
      line_ += "\"line\":";
      whole = json_text(line_, raw, "line", std::string_view(item.line));
    } else if (kind.section == Section::application) {
      line_ += "\"label\":";
      whole = json_text(line_, raw, "label", std::u16string_view(item.text));
      line_ += ",\"key\":";
      whole = json_text(line_, raw, "key", std::u16string_view(item.key)) && whole;
    } else {
      line_ += "\"path\":";
      whole = json_text(line_, raw, "path", std::u16string_view(item.text));
    }
    if (kind.change == Change::modified || kind.change == Change::no_sha1) {
      for (const bool is_old : {true, false}) {
        line_ += is_old ? ",\"old_sha1\":" : ",\"new_sha1\":";
        const EntryRow* row = is_old ? item.old_row : item.new_row;
        if (row == nullptr || row->sha1_form == Sha1Form::none) {
          line_ += "null";
        } else {
          const std::u16string sha1 = sha1_of(is_old ? item.old_table : item.new_table, row);
          whole = json_text(line_, raw, is_old ? "old_sha1" : "new_sha1",
                            std::u16string_view(sha1)) &&
                  whole;
        }
      }
    }
    if (kind.change == Change::status && item.old_row != nullptr && item.new_row != nullptr) {
      line_ += ",\"old_status\":";
      append_status_json(line_, *item.old_row);
      line_ += ",\"new_status\":";
      append_status_json(line_, *item.new_row);
    }
    if (!whole) {
      line_ += ",\"lossy\":true";
      line_ += raw;
    }
    line_ += "}\n";
    emit();
  }

  void summary(const DiffCounts& counts) override {
    line_ += "{\"type\":\"summary\",\"counts\":";
    counts_object(counts.shown);
    line_ += ",\"excluded\":";
    counts_object(counts.excluded);
    if (!counts.unmatched_rules.empty()) {
      line_ += ",\"unmatched_rules\":[";
      for (const UnmatchedRules& file : counts.unmatched_rules) {
        line_ += &file == &counts.unmatched_rules.front() ? "{\"file\":" : ",{\"file\":";
        line_ += file.path_json + ",\"lines\":[";
        for (std::size_t at = 0; at < file.lines.size(); ++at) {
          line_ += (at == 0 ? "" : ",") + std::to_string(file.lines[at]);
        }
        line_ += "]}";
      }
      line_ += ']';
    }
    line_ += ",\"differences\":" + std::to_string(counts.differences()) + "}\n";
    emit();
  }

  void finish() override {}

 private:
  void image(std::string_view name, const ImageFacts& facts) {
    line_ += name;
    line_ += "{\"path\":" + facts.path_json + ",\"version\":" + std::to_string(facts.version) +
             ",\"digest\":\"";
    line_ += digest_name(facts.digest);
    line_ += "\"}";
  }

  // {"autorun":{"added":n,"removed":n},...}, sections in report order.
  void counts_object(const std::array<std::size_t, REPORT_LIST_COUNT>& counts) {
    line_ += '{';
    bool first_section = true;
    for (const std::string_view section : {"autorun", "application", "hosts", "file"}) {
      line_ += first_section ? "\"" : ",\"";
      first_section = false;
      line_ += section;
      line_ += "\":{";
      bool first_change = true;
      for (std::size_t list = 0; list < REPORT_LIST_COUNT; ++list) {
        if (REPORT_LISTS[list].section_name != section) {
          continue;
        }
        line_ += first_change ? "\"" : ",\"";
        first_change = false;
        line_ += REPORT_LISTS[list].change_name;
        line_ += "\":" + std::to_string(counts[list]);
      }
      line_ += '}';
    }
    line_ += '}';
  }

  bool items_;
};

// The columns of an item row. A text that could not be written whole (a lone surrogate, a hosts
// line that is not UTF-8) has its exact units or bytes in its _hex column.
constexpr std::array<std::string_view, 12> CSV_ITEM_COLUMNS = {
    "section",  "change",   "item",       "key",      "old_sha1",     "new_sha1",
    "old_status", "new_status", "item_hex", "key_hex", "old_sha1_hex", "new_sha1_hex"};

class CsvWriter final : public LineWriter {
 public:
  CsvWriter(Console& console, bool items) : LineWriter(console), items_(items) {}

  void header(const ImageFacts&, const ImageFacts&) override {
    if (items_) {
      record(std::vector<std::string>(CSV_ITEM_COLUMNS.begin(), CSV_ITEM_COLUMNS.end()));
    }
  }

  void item(const ReportItem& item) override {
    if (!items_) {
      return;
    }
    const ReportList& kind = item.kind();
    fields_.resize(CSV_ITEM_COLUMNS.size());
    for (std::string& field : fields_) {
      field.clear();
    }
    fields_[0] = kind.section_name;
    fields_[1] = kind.change_name;
    if (kind.section == Section::hosts) {
      csv_text(fields_[2], fields_[8], std::string_view(item.line));
    } else {
      csv_text(fields_[2], fields_[8], std::u16string_view(item.text));
    }
    csv_text(fields_[3], fields_[9], std::u16string_view(item.key));
    if (kind.change == Change::modified || kind.change == Change::no_sha1) {
      csv_text(fields_[4], fields_[10],
               std::u16string_view(sha1_of(item.old_table, item.old_row)));
      csv_text(fields_[5], fields_[11],
               std::u16string_view(sha1_of(item.new_table, item.new_row)));
    }
    if (kind.change == Change::status && item.old_row != nullptr && item.new_row != nullptr) {
      fields_[6] = status_text(*item.old_row);
      fields_[7] = status_text(*item.new_row);
    }
    append_csv_record(line_, fields_);
    emit();
  }

  void summary(const DiffCounts& counts) override {
    if (items_) {
      return;  // CSV holds one kind of record: the summary is written alone, with --summary
    }
    for (const std::vector<std::string>& row : summary_rows(counts)) {
      record(row);
    }
  }

  void finish() override {}

 private:
  void record(const std::vector<std::string>& fields) {
    append_csv_record(line_, fields);
    emit();
  }

  bool items_;
  std::vector<std::string> fields_;
};

class TextWriter final : public DiffWriter {
 public:
  TextWriter(Console& console, bool items) : console_(console), report_(console), items_(items) {}

  void header(const ImageFacts&, const ImageFacts&) override {}
  void item(const ReportItem& item) override {
    if (items_) {
      report_.item(item);
    }
  }
  void summary(const DiffCounts& counts) override {
    if (items_) {
      return;
    }
    std::string table;
    std::string scratch;
    for (const std::vector<std::string>& row : summary_rows(counts)) {
      for (std::size_t at = 0; at < row.size(); ++at) {
        // A rules file's name is the user's, and may hold what a terminal acts on.
        table += at == 0 ? "" : "\t";
        table += terminal_safe(row[at], console_.output_encoding(), scratch);
      }
      table += '\n';
    }
    table += "differences\t\t" + std::to_string(counts.differences()) + "\n";
    console_.write_bytes(table);
  }
  void finish() override { report_.finish(); }

 private:
  Console& console_;
  TextReportWriter report_;
  bool items_;
};

}  // namespace

std::size_t DiffCounts::differences() const {
  std::size_t total = 0;
  for (const std::size_t count : shown) {
    total += count;
  }
  return total;
}

std::unique_ptr<DiffWriter> make_diff_writer(DiffFormat format, bool items, Console& console) {
  switch (format) {
    case DiffFormat::jsonl:
      return std::make_unique<JsonLinesWriter>(console, items);
    case DiffFormat::csv:
      return std::make_unique<CsvWriter>(console, items);
    case DiffFormat::text:
      break;
  }
  return std::make_unique<TextWriter>(console, items);
}

}  // namespace tarvel
