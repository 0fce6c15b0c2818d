// What tarvel-dump's two writers share: buffering, long texts spilled as they stream, hosts
// lines split as they stream, and the values of the header and entry records.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "compare/hosts_lines.h"
#include "report/dump_output.h"

namespace tarvel {

consteval std::size_t dump_field(std::string_view name) { return field_index(DUMP_FIELDS, name); }

using DumpValues = std::array<FieldValue, DUMP_FIELDS.size()>;

// The fields of an application record's five texts, in their order in the record.
inline constexpr std::array<std::size_t, 5> APPLICATION_FIELDS = {
    dump_field("key"), dump_field("text_2"), dump_field("label"), dump_field("text_4"),
    dump_field("text_5")};

// The header record's values; `scratch` holds what they point into.
void header_values(const DumpHeader& header, DumpValues& values, std::string& scratch);

// An entry record's values before and after its properties; `texts` holds what they point
// into.
struct EntryTexts {
  std::u16string name;
  std::u16string directory;
  std::u16string extra_text;
  std::u16string sha1;
};
void entry_values(const EntryFields& fields, DumpValues& values, EntryTexts& texts);
void entry_end_values(const PropertiesEnd& properties, DumpValues& values, EntryTexts& texts);

// The whole units of stored bytes up to the first NUL unit; an odd last byte is no unit.
std::u16string stored_text(std::span<const std::uint8_t> bytes);
// A property value: its text when it is whole units ending in its one NUL unit, with no lone
// surrogate before it; otherwise its bytes, written as hexadecimal digits.
FieldValue property_value(std::span<const std::uint8_t> bytes, std::u16string& text);

std::string_view as_chars(std::span<const std::uint8_t> bytes);

// Output buffering, the runs collected up to TEXT_LIMIT and spilled as hexadecimal digits
// beyond it, and the hosts lines.
class DumpBase : public DumpWriter {
 public:
  explicit DumpBase(Console& console) : console_(console) {}

  void finish() override { flush(); }
  void run_start(const RunStart& run) override;
  void run_piece(std::span<const std::uint8_t> bytes) override;
  void run_end() override;

 protected:
  // A run that fitted under the limit ends: its bytes are in collected_.
  virtual void text_run(const RunStart& run, std::span<const std::uint8_t> bytes) = 0;
  // A run grew past the limit: open its hexadecimal form, to which append_spilled() adds.
  virtual void spill_start(const RunStart& run) = 0;
  virtual void spill_end(const RunStart& run) = 0;
  virtual void hosts_line(std::string_view line) = 0;

  void append_spilled(std::span<const std::uint8_t> bytes);
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
  // Output is handed to the console in pieces of about this size.
  static constexpr std::size_t FLUSH_SIZE = std::size_t{1} << 16;

  void add(std::span<const std::uint8_t> bytes);
  void end_text(const RunStart& run);
  void hosts_piece(std::span<const std::uint8_t> bytes);
  void end_line();

  RunStart run_;
  RunStart line_;
  std::vector<std::uint8_t> collected_;
  bool spilled_ = false;
  std::optional<std::uint8_t> half_unit_;  // of a spilled UTF-16 text
  bool spilled_end_ = false;               // its first NUL unit has passed
  bool line_open_ = false;
  HostsLineSplitter splitter_;
};

std::unique_ptr<DumpWriter> make_json_dump(Console& console);
std::unique_ptr<DumpWriter> make_csv_dump(Console& console);

}  // namespace tarvel
