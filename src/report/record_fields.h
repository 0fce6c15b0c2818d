// The fields of every machine-readable record, declared once: both companions' JSON Lines and
// CSV writers render them with these names, in this order, in these forms.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

// How a field's value is written.
enum class FieldType : std::uint8_t {
  word,    // one of the program's own words ("added", "checked")
  number,  // decimal
  flag,    // true or false
  text,    // a text from an image: exact when it can be, with a "<name>_hex" companion when not
  bytes,   // raw bytes, written as hexadecimal digits
};

struct Field {
  std::string_view name;
  FieldType type;
};

// One record's value for one field. Views only: the caller keeps the texts alive.
struct FieldValue {
  enum class Kind : std::uint8_t {
    absent,  // the record has no such field: left out of JSON, an empty CSV cell
    null,    // the field is there and has no value: JSON null, an empty CSV cell
    number,
    flag,
    word,
    units,   // UTF-16 text
    bytes,   // a byte text (UTF-8 where it can be), or the raw bytes of a bytes field
    hex,     // a text written only as its exact form, in "<name>_hex": too long, or not text
  };
  Kind kind = Kind::absent;
  std::uint64_t number = 0;
  std::string_view bytes;
  std::u16string_view units;

  static FieldValue null_value() { return {Kind::null, 0, {}, {}}; }
  static FieldValue of_number(std::uint64_t value) { return {Kind::number, value, {}, {}}; }
  static FieldValue of_flag(bool value) { return {Kind::flag, value ? 1u : 0u, {}, {}}; }
  static FieldValue of_word(std::string_view word) { return {Kind::word, 0, word, {}}; }
  static FieldValue of_text(std::u16string_view text) { return {Kind::units, 0, {}, text}; }
  static FieldValue of_text(std::string_view text) { return {Kind::bytes, 0, text, {}}; }
  static FieldValue of_bytes(std::string_view bytes) { return {Kind::bytes, 0, bytes, {}}; }
  static FieldValue of_hex(std::string_view bytes) { return {Kind::hex, 0, bytes, {}}; }
  static FieldValue of_hex(std::u16string_view units) { return {Kind::hex, 0, {}, units}; }
};

// The columns of a CSV table of records with these fields: each field, a text's "<name>_hex"
// right after it, and "lossy" last.
std::vector<std::string> csv_columns(std::span<const Field> fields);

// The index of the field with this name, found while compiling: a name that is no field does
// not compile.
template <std::size_t N>
consteval std::size_t field_index(const std::array<Field, N>& fields, std::string_view name) {
  std::size_t index = 0;
  while (fields.at(index).name != name) {
    ++index;
  }
  return index;
}

// tarvel-diff: one item of one list. Which fields an item has depends on its list.
inline constexpr std::array<Field, 19> CHANGE_FIELDS = {{
    {"host", FieldType::text},
    {"section", FieldType::word},
    {"change", FieldType::word},
    {"path", FieldType::text},
    {"label", FieldType::text},
    {"key", FieldType::text},
    {"line", FieldType::text},
    {"sha1", FieldType::text},
    {"old_sha1", FieldType::text},
    {"new_sha1", FieldType::text},
    {"old_flags_a", FieldType::number},
    {"old_flags_b", FieldType::number},
    {"old_flags_c", FieldType::number},
    {"old_flags_d", FieldType::number},
    {"new_flags_a", FieldType::number},
    {"new_flags_b", FieldType::number},
    {"new_flags_c", FieldType::number},
    {"new_flags_d", FieldType::number},
    {"known_bad", FieldType::word},
}};

// tarvel-diff's summary table: a row for each list, one for the total, and one for each rules
// file with the lines of its rules that matched nothing. JSON Lines writes the same counts as
// objects named after these columns.
inline constexpr std::array<Field, 9> SUMMARY_FIELDS = {{
    {"host", FieldType::text},
    {"section", FieldType::word},
    {"change", FieldType::word},
    {"count", FieldType::number},
    {"excluded", FieldType::number},
    {"known_good", FieldType::number},
    {"known_bad", FieldType::number},
    {"rules_file", FieldType::text},
    {"unmatched_lines", FieldType::word},
}};

// tarvel-dump: every record kind's fields in one table, so that one CSV table holds them all;
// each kind has some of them, in this order, after its "type".
inline constexpr std::array<Field, 38> DUMP_FIELDS = {{
    {"offset", FieldType::number},
    {"schema", FieldType::word},
    {"tool", FieldType::word},
    {"tool_version", FieldType::word},
    {"path", FieldType::text},
    {"version", FieldType::number},
    {"size", FieldType::number},
    {"digest", FieldType::word},
    {"sound", FieldType::flag},
    {"malformed_at", FieldType::number},
    {"expected", FieldType::word},
    {"header_block", FieldType::bytes},
    {"name", FieldType::text},
    {"directory", FieldType::text},
    {"extra_text", FieldType::text},
    {"lead_value", FieldType::number},
    {"byte_a", FieldType::number},
    {"dword_a", FieldType::number},
    {"dword_b", FieldType::number},
    {"block_a", FieldType::bytes},
    {"flags_a", FieldType::number},
    {"flags_b", FieldType::number},
    {"flags_c", FieldType::number},
    {"flags_d", FieldType::number},
    {"byte_b", FieldType::number},
    {"word_a", FieldType::number},
    {"byte_c", FieldType::number},
    {"properties_size", FieldType::number},
    {"properties_well_formed", FieldType::flag},
    {"sha1", FieldType::text},
    {"value", FieldType::text},
    {"key", FieldType::text},
    {"text_2", FieldType::text},
    {"label", FieldType::text},
    {"text_4", FieldType::text},
    {"text_5", FieldType::text},
    {"line", FieldType::text},
    {"incomplete", FieldType::flag},
}};

}  // namespace tarvel
