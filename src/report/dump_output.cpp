#include "report/dump_output.h"


#include <array>
#include <string_view>
#include <vector>

#include "compare/hosts_lines.h"
#include "image/byte_reader.h"
#include "image/stored_text.h"
#include "report/machine_text.h"

namespace tarvel {

namespace {

// Output is handed to the console in pieces of about this size.
constexpr std::size_t FLUSH_SIZE = std::size_t{1} << 16;

std::string_view digest_name(DigestState digest) {
  switch (digest) {
    case DigestState::checked:
      return "ok";
    case DigestState::mismatch:
      return "mismatch";
    case DigestState::missing:
      return "missing";
    case DigestState::absent:
      break;
  }
  return "absent";
}

std::string_view hex_of(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// The units of a text as the program reads it from an entry field.
std::u16string field_text(std::span<const std::uint8_t> bytes) {
  std::u16string text((bytes.size() + 1) / 2, u'\0');
  text.resize(decode_field_text(bytes, text));
  return text;
}

// The whole units of stored bytes up to the first NUL unit; an odd last byte is no unit.
std::u16string stored_text(std::span<const std::uint8_t> bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  const std::size_t whole = copy_units(bytes, text.data());
  text.resize(first_nul_unit(text.data(), whole));
  return text;
}

// A property value decodes as text when it is whole units ending in its one NUL unit, with no
// lone surrogate before it.
bool value_text(std::span<const std::uint8_t> bytes, std::u16string& text) {
  if (bytes.size() < 2 || bytes.size() % 2 != 0) {
    return false;
  }
  text = stored_text(bytes);
  if (text.size() * 2 + 2 != bytes.size()) {
    return false;
  }
  return is_whole_utf16(text);
}

// Shared by both formats: output buffering, the runs collected up to TEXT_LIMIT and spilled as
// hexadecimal digits beyond it, and the hosts lines.
class DumpBase : public DumpWriter {
 public:
  explicit DumpBase(Console& console) : console_(console) {}

  void finish() override { flush(); }

  void run_start(const RunStart& run) override {
    run_ = run;
    collected_.clear();
    spilled_ = false;
    if (run.kind == RunKind::hosts) {
      splitter_ = HostsLineSplitter();
    }
  }

  void run_piece(std::span<const std::uint8_t> bytes) override {
    if (run_.kind == RunKind::hosts) {
      hosts_piece(bytes);
      return;
    }
    add(bytes);
  }

  void run_end() override {
    if (run_.kind == RunKind::hosts) {
      splitter_.finish([this] { end_line(); });
      return;
    }
    end_text(run_);
  }

 protected:
  // A run that fitted under the limit ends: its bytes are in collected_.
  virtual void text_run(const RunStart& run, std::span<const std::uint8_t> bytes) = 0;
  // A run grew past the limit: open its hexadecimal form, to which append_spilled() adds.
  virtual void spill_start(const RunStart& run) = 0;
  virtual void spill_end(const RunStart& run) = 0;
  virtual void hosts_line(std::string_view line) = 0;

  void append_spilled(std::span<const std::uint8_t> bytes) {
    append_hex(out_, hex_of(bytes));
    maybe_flush();
  }

  void maybe_flush() {
    if (out_.size() >= FLUSH_SIZE) {
      flush();
    }
  }
  void flush() {
    console_.write_bytes(out_);
    out_.clear();
  }

  Console& console_;
  std::string out_;

 private:
  void add(std::span<const std::uint8_t> bytes) {
    if (!spilled_ && collected_.size() + bytes.size() > TEXT_LIMIT) {
      spilled_ = true;
      spill_start(run_);
      append_spilled(collected_);
      collected_.clear();
    }
    if (spilled_) {
      append_spilled(bytes);
    } else {
      collected_.insert(collected_.end(), bytes.begin(), bytes.end());
    }
  }

  void end_text(const RunStart& run) {
    if (spilled_) {
      spill_end(run);
    } else {
      text_run(run, collected_);
    }
    collected_.clear();
    spilled_ = false;
  }

  void hosts_piece(std::span<const std::uint8_t> bytes) {
    splitter_.feed(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
        [this](std::string_view part) {
          if (!line_open_) {
            line_open_ = true;
            line_ = run_;
            collected_.clear();
            spilled_ = false;
          }
          add({reinterpret_cast<const std::uint8_t*>(part.data()), part.size()});
        },
        [this] { end_line(); });
  }

  void end_line() {
    line_open_ = false;
    if (spilled_) {
      spill_end(line_);
    } else {
      hosts_line(hex_of(collected_));
    }
    collected_.clear();
    spilled_ = false;
  }

  RunStart run_;
  RunStart line_;
  std::vector<std::uint8_t> collected_;
  bool spilled_ = false;
  bool line_open_ = false;
  HostsLineSplitter splitter_;
};

constexpr std::array<std::string_view, 5> APPLICATION_FIELDS = {"key", "text_2", "label",
                                                                 "text_4", "text_5"};

class JsonDump final : public DumpBase {
 public:
  using DumpBase::DumpBase;

  void write_header(const DumpHeader& header) override {
    const LoadResult& result = header.result;
    out_ += "{\"type\":\"header\",\"schema\":\"";
    out_ += DUMP_SCHEMA;
    out_ += "\",\"tool\":\"tarvel-dump\",\"tool_version\":\"" TARVEL_VERSION_TEXT "\",\"path\":";
    out_ += header.path_json;
    out_ += ",\"version\":" + std::to_string(result.version) +
            ",\"size\":" + std::to_string(result.file_size) + ",\"digest\":\"";
    out_ += digest_name(result.digest);
    out_ += "\",\"sound\":";
    out_ += result.ok() ? "true" : "false";
    if (result.outcome == LoadOutcome::malformed) {
      out_ += ",\"malformed_at\":" + std::to_string(result.offset) + ",\"expected\":";
      append_json_string(out_, std::string_view(result.expected));
    }
    if (!header.header_block.empty()) {
      out_ += ",\"header_block\":\"";
      append_hex(out_, header.header_block);
      out_ += '"';
    }
    out_ += "}\n";
    maybe_flush();
  }

  void application_start(std::uint64_t offset) override {
    lossy_ = false;
    open_ = Open::application;
    out_ += "{\"type\":\"application\",\"offset\":" + std::to_string(offset);
  }
  void application_end() override {
    out_ += lossy_ ? ",\"lossy\":true}\n" : "}\n";
    open_ = Open::nothing;
    maybe_flush();
  }

  // A record the image broke off in the middle of is closed, and says so.
  void finish() override {
    if (open_ == Open::application) {
      out_ += ",\"incomplete\":true}\n";
    } else if (open_ == Open::entry) {
      out_ += item_open_ ? "}],\"incomplete\":true}\n" : "],\"incomplete\":true}\n";
    }
    open_ = Open::nothing;
    DumpBase::finish();
  }

  void entry(const EntryFields& fields) override {
    lossy_ = false;
    open_ = Open::entry;
    item_open_ = false;
    out_ += "{\"type\":\"entry\",\"offset\":" + std::to_string(fields.offset);
    text(",\"name\":", "name", field_text(fields.name));
    text(",\"directory\":", "directory", field_text(fields.directory));
    text(",\"extra_text\":", "extra_text", field_text(fields.extra_text));
    number("lead_value", fields.lead_value);
    number("byte_a", fields.byte_a);
    number("dword_a", fields.dword_a);
    number("dword_b", fields.dword_b);
    out_ += ",\"block_a\":\"";
    append_hex(out_, hex_of(fields.block_a));
    out_ += '"';
    number("flags_a", fields.flags_a);
    number("flags_b", fields.flags_b);
    number("flags_c", fields.flags_c);
    number("flags_d", fields.flags_d);
    number("byte_b", fields.byte_b);
    number("word_a", fields.word_a);
    number("byte_c", fields.byte_c);
    number("properties_size", fields.properties_size);
    out_ += ",\"properties\":[";
    first_item_ = true;
  }
  bool wants_properties() const override { return true; }
  void entry_end(const PropertiesEnd& properties) override {
    // An item whose value ran past the block has its name only.
    out_ += item_open_ ? "}]" : "]";
    item_open_ = false;
    open_ = Open::nothing;
    out_ += ",\"properties_well_formed\":";
    out_ += properties.well_formed ? "true" : "false";
    if (properties.sha1.found) {
      text(",\"sha1\":", "sha1", properties.sha1.text());
    } else {
      out_ += ",\"sha1\":null";
    }
    out_ += lossy_ ? ",\"lossy\":true}\n" : "}\n";
    maybe_flush();
  }

 protected:
  void text_run(const RunStart& run, std::span<const std::uint8_t> bytes) override {
    if (run.kind == RunKind::application_text) {
      const std::string name(APPLICATION_FIELDS[run.index]);
      text(",\"" + name + "\":", name, stored_text(bytes));
    } else if (run.kind == RunKind::property_name) {
      out_ += first_item_ ? "{" : ",{";
      first_item_ = false;
      item_open_ = true;
      text("\"name\":", "name", stored_text(bytes));
    } else {
      std::u16string value;
      if (value_text(bytes, value)) {
        out_ += ",\"value\":";
        append_json_string(out_, value);
      } else {
        out_ += ",\"value_hex\":\"";
        append_hex(out_, hex_of(bytes));
        out_ += '"';
      }
      out_ += '}';
      item_open_ = false;
    }
    maybe_flush();
  }

  void spill_start(const RunStart& run) override {
    if (run.kind == RunKind::hosts) {
      out_ += "{\"type\":\"hosts\",\"line_hex\":\"";
    } else if (run.kind == RunKind::application_text) {
      out_ += ",\"";
      out_ += APPLICATION_FIELDS[run.index];
      out_ += "_hex\":\"";
    } else if (run.kind == RunKind::property_name) {
      out_ += first_item_ ? "{\"name_hex\":\"" : ",{\"name_hex\":\"";
      first_item_ = false;
      item_open_ = true;
    } else {
      out_ += ",\"value_hex\":\"";
    }
  }

  void spill_end(const RunStart& run) override {
    out_ += '"';
    if (run.kind == RunKind::hosts) {
      out_ += "}\n";
    } else if (run.kind == RunKind::property_value) {
      out_ += '}';
      item_open_ = false;
    }
    maybe_flush();
  }

  void hosts_line(std::string_view line) override {
    out_ += "{\"type\":\"hosts\",\"line\":";
    if (!append_json_string(out_, line)) {
      out_ += ",\"lossy\":true,\"line_hex\":\"";
      append_hex(out_, line);
      out_ += '"';
    }
    out_ += "}\n";
    maybe_flush();
  }

 private:
  void number(std::string_view name, std::uint64_t value) {
    out_ += ",\"";
    out_ += name;
    out_ += "\":" + std::to_string(value);
  }

  // A text field; where it is not valid UTF-16, its exact units follow it, and the record says
  // it is lossy.
  void text(const std::string& key, std::string_view name, const std::u16string& value) {
    out_ += key;
    if (!append_json_string(out_, value)) {
      lossy_ = true;
      out_ += ",\"";
      out_ += name;
      out_ += "_hex\":\"";
      append_hex(out_, value);
      out_ += '"';
    }
  }

  enum class Open { nothing, application, entry };

  bool first_item_ = true;
  bool item_open_ = false;
  bool lossy_ = false;
  Open open_ = Open::nothing;
};

// The columns of the CSV dump, one record kind a row: header, hosts, application, property,
// entry. A property's row comes before the row of its entry, which is written once the
// entry's SHA1 value is known.
constexpr std::array<std::string_view, 31> CSV_COLUMNS = {
    "record",  "offset",      "name",     "directory", "extra_text", "flags_a",    "flags_b",
    "flags_c", "flags_d",     "sha1",     "properties_size", "properties_well_formed",
    "lead_value", "byte_a",   "dword_a",  "dword_b",   "block_a",    "byte_b",     "word_a",
    "byte_c",  "key",         "text_2",   "label",     "text_4",     "text_5",     "line",
    "value",   "version",     "size",     "digest",    "raw"};

// A column's index, found while compiling: a name that is no column does not compile.
consteval std::size_t column(std::string_view name) {
  std::size_t index = 0;
  while (CSV_COLUMNS.at(index) != name) {
    ++index;
  }
  return index;
}

constexpr std::array<std::size_t, APPLICATION_FIELDS.size()> APPLICATION_COLUMNS = {
    column(APPLICATION_FIELDS[0]), column(APPLICATION_FIELDS[1]), column(APPLICATION_FIELDS[2]),
    column(APPLICATION_FIELDS[3]), column(APPLICATION_FIELDS[4])};

// Adds "name=<hex units>" to a row's raw cell, for a text that could not be written whole.
void add_raw(std::string& raw, std::string_view name, std::u16string_view value) {
  if (!raw.empty()) {
    raw += ';';
  }
  raw += name;
  raw += '=';
  append_hex(raw, value);
}

// Empties every cell of a row, keeping the row's width and the cells' storage.
void clear_row(std::vector<std::string>& row) {
  row.resize(CSV_COLUMNS.size());
  for (std::string& cell : row) {
    cell.clear();
  }
}

class CsvDump final : public DumpBase {
 public:
  using DumpBase::DumpBase;

  void write_header(const DumpHeader& header) override {
    append_csv_record(out_, std::vector<std::string>(CSV_COLUMNS.begin(), CSV_COLUMNS.end()));
    std::vector<std::string> row(CSV_COLUMNS.size());
    row[0] = "header";
    row[column("name")] = header.path_utf8;
    row[column("version")] = std::to_string(header.result.version);
    row[column("size")] = std::to_string(header.result.file_size);
    row[column("digest")] = digest_name(header.result.digest);
    if (header.result.outcome == LoadOutcome::malformed) {
      row[column("value")] = "malformed at " + std::to_string(header.result.offset) +
                             ": expected " + header.result.expected;
    }
    append_hex(row[column("raw")], header.header_block);
    append_csv_record(out_, row);
    maybe_flush();
  }

  void application_start(std::uint64_t offset) override {
    begin_row("application");
    cells_[1] = std::to_string(offset);
    next_ = column("key");
  }
  void application_end() override { end_row(); }

  // A record the image broke off in the middle of is written as far as it got.
  void finish() override {
    if (row_open_) {
      end_row();
    }
    DumpBase::finish();
  }

  void entry(const EntryFields& fields) override {
    clear_row(entry_);
    entry_[0] = "entry";
    entry_[1] = std::to_string(fields.offset);
    entry_offset_ = entry_[1];
    const auto text = [&](std::size_t index, std::span<const std::uint8_t> bytes) {
      const std::u16string value = field_text(bytes);
      if (!append_utf8(entry_[index], value)) {
        add_raw(entry_[column("raw")], CSV_COLUMNS[index], value);
      }
    };
    text(column("name"), fields.name);
    text(column("directory"), fields.directory);
    text(column("extra_text"), fields.extra_text);
    entry_[column("flags_a")] = std::to_string(fields.flags_a);
    entry_[column("flags_b")] = std::to_string(fields.flags_b);
    entry_[column("flags_c")] = std::to_string(fields.flags_c);
    entry_[column("flags_d")] = std::to_string(fields.flags_d);
    entry_[column("properties_size")] = std::to_string(fields.properties_size);
    entry_[column("lead_value")] = std::to_string(fields.lead_value);
    entry_[column("byte_a")] = std::to_string(fields.byte_a);
    entry_[column("dword_a")] = std::to_string(fields.dword_a);
    entry_[column("dword_b")] = std::to_string(fields.dword_b);
    append_hex(entry_[column("block_a")], hex_of(fields.block_a));
    entry_[column("byte_b")] = std::to_string(fields.byte_b);
    entry_[column("word_a")] = std::to_string(fields.word_a);
    entry_[column("byte_c")] = std::to_string(fields.byte_c);
  }
  bool wants_properties() const override { return true; }
  void entry_end(const PropertiesEnd& properties) override {
    if (row_open_) {
      end_row();  // an item whose value ran past the block has its name only
    }
    entry_[column("properties_well_formed")] = properties.well_formed ? "true" : "false";
    if (properties.sha1.found) {
      const std::u16string sha1 = properties.sha1.text();
      if (!append_utf8(entry_[column("sha1")], sha1)) {
        add_raw(entry_[column("raw")], "sha1", sha1);
      }
    }
    append_csv_record(out_, entry_);
    maybe_flush();
  }

 protected:
  void text_run(const RunStart& run, std::span<const std::uint8_t> bytes) override {
    if (run.kind == RunKind::application_text) {
      to_column(APPLICATION_COLUMNS[run.index]);
      text_cell(stored_text(bytes), APPLICATION_FIELDS[run.index]);
    } else if (run.kind == RunKind::property_name) {
      begin_row("property");
      cells_[1] = entry_offset_;
      next_ = column("name");
      text_cell(stored_text(bytes), "name");
    } else {
      to_column(column("value"));
      std::u16string value;
      if (value_text(bytes, value)) {
        text_cell(value, "value");
      } else {
        append_hex(cells_[next_++], hex_of(bytes));
      }
      end_row();
    }
  }

  void spill_start(const RunStart& run) override {
    // The record so far, then the long text's cell as it streams, unquoted hexadecimal digits.
    if (run.kind == RunKind::hosts) {
      begin_row("hosts");
      to_column(column("line"));
    } else if (run.kind == RunKind::application_text) {
      to_column(APPLICATION_COLUMNS[run.index]);
    } else if (run.kind == RunKind::property_name) {
      begin_row("property");
      cells_[1] = entry_offset_;
      to_column(column("name"));
    } else {
      to_column(column("value"));
    }
    write_cells_so_far();
  }

  void spill_end(const RunStart& run) override {
    ++next_;
    written_ = next_;
    if (run.kind == RunKind::hosts || run.kind == RunKind::property_value) {
      end_row();
    }
  }

  void hosts_line(std::string_view line) override {
    begin_row("hosts");
    next_ = column("line");
    std::string& cell = cells_[next_++];
    if (!append_utf8(cell, line)) {
      append_hex(cells_[column("raw")], line);
    }
    end_row();
  }

 private:
  void begin_row(std::string_view record) {
    clear_row(cells_);
    cells_[0] = record;
    next_ = 2;
    written_ = 0;
    row_open_ = true;
  }
  void to_column(std::size_t index) { next_ = std::max(next_, index); }
  void text_cell(const std::u16string& value, std::string_view name) {
    std::string& cell = cells_[next_++];
    if (!append_utf8(cell, value)) {
      add_raw(cells_[column("raw")], name, value);
    }
  }
  // Writes the cells before next_ that are not written yet, each followed by its separator, so
  // that what comes next is the cell at next_.
  void write_cells_so_far() {
    if (written_ != 0) {
      out_ += ',';  // after the streamed cell before these
    }
    for (std::size_t index = written_; index < next_; ++index) {
      append_csv_field(out_, cells_[index]);
      out_ += ',';
    }
    written_ = next_;
  }
  void end_row() {
    if (written_ == 0) {
      append_csv_record(out_, cells_);
    } else {
      const std::vector<std::string> rest(cells_.begin() + static_cast<std::ptrdiff_t>(written_),
                                          cells_.end());
      if (!rest.empty()) {
        out_ += ',';
      }
      append_csv_record(out_, rest);
    }
    written_ = 0;
    row_open_ = false;
    maybe_flush();
  }

  std::vector<std::string> cells_;
  bool row_open_ = false;
  std::size_t next_ = 0;
  std::size_t written_ = 0;
  std::vector<std::string> entry_;
  std::string entry_offset_;
};

}  // namespace

std::unique_ptr<DumpWriter> make_dump_writer(DumpFormat format, Console& console) {
  if (format == DumpFormat::csv) {
    return std::make_unique<CsvDump>(console);
  }
  return std::make_unique<JsonDump>(console);
}

}  // namespace tarvel
