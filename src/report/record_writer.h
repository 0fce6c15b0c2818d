// Renders records of the field tables as JSON Lines objects and CSV rows, the one place where a
// field's name and value become text.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/load_image.h"
#include "report/record_fields.h"

namespace tarvel {

// The state of an image's digest as every output names it.
std::string_view digest_word(DigestState digest);

// A text the user gave (a path, a host name), kept in the system's own units so that it is
// written exactly, or with its exact form beside it.
class UserText {
 public:
  UserText() = default;
  explicit UserText(const std::filesystem::path& path);
  FieldValue value() const;
  bool empty() const { return text_.empty(); }

 private:
#ifdef _WIN32
  std::u16string text_;
#else
  std::string text_;
#endif
};

// Appends `,"name":value` for a value that is not absent; for a text that is not whole, its
// exact units or bytes follow as `,"name_hex":"..."`. A hex value is written as `name_hex`
// alone. Returns false when a text was not whole, so that the record says it is lossy.
bool append_json_field(std::string& out, const Field& field, const FieldValue& value);

// Appends a whole record: `{"type":"<type>"`, every field that is not absent in table order,
// `"lossy":true` where a text was not whole, and `}` and a line end.
void append_json_record(std::string& out, std::string_view type, std::span<const Field> fields,
                        std::span<const FieldValue> values);

// The column of a field (and, one further, of its "_hex" companion) in csv_columns(fields).
constexpr std::size_t csv_column_of(std::span<const Field> fields, std::size_t field) {
  std::size_t column = 0;
  for (std::size_t at = 0; at < field; ++at) {
    column += fields[at].type == FieldType::text ? std::size_t{2} : std::size_t{1};
  }
  return column;
}

// Fills a field's cells of a CSV row, which holds one cell per column of csv_columns(fields)
// after a first cell of `lead` cells; returns false when a text was not whole.
bool fill_csv_cells(std::vector<std::string>& cells, std::size_t column, const Field& field,
                    const FieldValue& value);

// Appends a whole CSV row: `lead` cells as given, then every field's cells and the lossy cell.
void append_csv_row(std::string& out, std::span<const std::string> lead,
                    std::span<const Field> fields, std::span<const FieldValue> values,
                    std::vector<std::string>& scratch);

}  // namespace tarvel
