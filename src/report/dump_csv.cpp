// tarvel-dump's CSV writer: one table of every record kind, a row a record, written as the
// record streams past.
#include "report/dump_base.h"
#include "report/machine_text.h"

namespace tarvel {

namespace {

// The cells of a row: the record's type, then the columns of the fields, then "lossy".
constexpr std::size_t column_of(std::size_t field) { return 1 + csv_column_of(DUMP_FIELDS, field); }
constexpr std::size_t ROW_SIZE = column_of(DUMP_FIELDS.size()) + 1;

// Empties every cell of a row, keeping the row's width and the cells' storage.
void clear_row(std::vector<std::string>& row) {
  row.resize(ROW_SIZE);
  for (std::string& cell : row) {
    cell.clear();
  }
}

class CsvDump final : public DumpBase {
 public:
  using DumpBase::DumpBase;

  void write_header(const DumpHeader& header) override {
    std::vector<std::string> columns{"type"};
    for (std::string& column : csv_columns(DUMP_FIELDS)) {
      columns.push_back(std::move(column));
    }
    append_csv_record(out_, columns);
    std::string scratch;
    DumpValues values;
    header_values(header, values, scratch);
    const std::string type = "header";
    append_csv_row(out_, {&type, 1}, DUMP_FIELDS, values, cells_);
    maybe_flush();
  }

  void application_start(std::uint64_t offset) override {
    begin_row("application");
    cell(dump_field("offset"), FieldValue::of_number(offset));
  }
  void application_end() override { end_row(); }

  // A record the image broke off in the middle of is written as far as it got, and says so.
  void finish() override {
    if (row_open_) {
      cell(dump_field("incomplete"), FieldValue::of_flag(true));
      end_row();
    }
    DumpBase::finish();
  }

  void entry(const EntryFields& fields) override {
    DumpValues values;
    entry_values(fields, values, texts_);
    clear_row(entry_);
    entry_[0] = "entry";
    entry_lossy_ = false;
    for (std::size_t at = 0; at < DUMP_FIELDS.size(); ++at) {
      entry_lossy_ =
          !fill_csv_cells(entry_, column_of(at), DUMP_FIELDS[at], values[at]) || entry_lossy_;
    }
  }
  bool wants_properties() const override { return true; }
  void entry_end(const PropertiesEnd& properties) override {
    if (row_open_) {
      end_row();  // an item whose value ran past the block has its name only
    }
    DumpValues values;
    entry_end_values(properties, values, texts_);
    for (const std::size_t at : {dump_field("properties_well_formed"), dump_field("sha1")}) {
      entry_lossy_ =
          !fill_csv_cells(entry_, column_of(at), DUMP_FIELDS[at], values[at]) || entry_lossy_;
    }
    entry_.back() = entry_lossy_ ? "true" : "";
    append_csv_record(out_, entry_);
    maybe_flush();
  }

 protected:
  void text_run(const RunStart& run, std::span<const std::uint8_t> bytes) override {
    if (run.kind == RunKind::application_text) {
      const std::u16string text = stored_text(bytes);
      cell(APPLICATION_FIELDS[run.index], FieldValue::of_text(std::u16string_view(text)));
    } else if (run.kind == RunKind::property_name) {
      begin_property();
      const std::u16string text = stored_text(bytes);
      cell(dump_field("name"), FieldValue::of_text(std::u16string_view(text)));
    } else {
      std::u16string text;
      cell(dump_field("value"), property_value(bytes, text));
      end_row();
    }
  }

  // The row so far, then the long text's "_hex" cell as it streams: unquoted hexadecimal
  // digits.
  void spill_start(const RunStart& run) override {
    std::size_t field = dump_field("value");
    if (run.kind == RunKind::hosts) {
      begin_row("hosts");
      field = dump_field("line");
    } else if (run.kind == RunKind::application_text) {
      field = APPLICATION_FIELDS[run.index];
    } else if (run.kind == RunKind::property_name) {
      begin_property();
      field = dump_field("name");
    }
    next_ = column_of(field) + 1;
    if (written_ != 0) {
      out_ += ',';  // after the streamed cell before these
    }
    for (std::size_t index = written_; index < next_; ++index) {
      append_csv_field(out_, cells_[index]);
      out_ += ',';
    }
    written_ = next_;
  }

  void spill_end(const RunStart& run) override {
    written_ = next_ + 1;
    if (run.kind == RunKind::hosts || run.kind == RunKind::property_value) {
      end_row();
    }
  }

  void hosts_line(std::string_view line) override {
    begin_row("hosts");
    cell(dump_field("line"), FieldValue::of_text(line));
    end_row();
  }

 private:
  void begin_row(std::string_view type) {
    clear_row(cells_);
    cells_[0] = type;
    written_ = 0;
    next_ = 0;
    row_open_ = true;
    row_lossy_ = false;
  }
  void begin_property() {
    begin_row("property");
    cells_[column_of(dump_field("offset"))] = entry_[column_of(dump_field("offset"))];
  }
  void cell(std::size_t field, const FieldValue& value) {
    row_lossy_ = !fill_csv_cells(cells_, column_of(field), DUMP_FIELDS[field], value) || row_lossy_;
  }
  void end_row() {
    cells_.back() = row_lossy_ ? "true" : "";
    const std::span<const std::string> rest(cells_.begin() + static_cast<std::ptrdiff_t>(written_),
                                            cells_.end());
    if (written_ != 0) {
      out_ += ',';
    }
    append_csv_record(out_, rest);
    written_ = 0;
    row_open_ = false;
    maybe_flush();
  }

  std::vector<std::string> cells_;
  std::vector<std::string> entry_;
  EntryTexts texts_;
  bool row_open_ = false;
  bool row_lossy_ = false;
  bool entry_lossy_ = false;
  std::size_t next_ = 0;
  std::size_t written_ = 0;
};

}  // namespace

std::unique_ptr<DumpWriter> make_csv_dump(Console& console) {
  return std::make_unique<CsvDump>(console);
}

}  // namespace tarvel
