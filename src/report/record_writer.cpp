// Renders records of the field tables as JSON Lines objects and CSV rows.
#include "report/record_writer.h"

#include "report/machine_text.h"

namespace tarvel {

namespace {

// A value's text into out as JSON or as a CSV cell, its exact form into hex where it is not
// whole; false then.
template <typename Append>
bool text_value(const FieldValue& value, std::string& out, std::string& hex, Append append) {
  const bool whole =
      value.kind == FieldValue::Kind::units ? append(out, value.units) : append(out, value.bytes);
  if (!whole) {
    if (value.kind == FieldValue::Kind::units) {
      append_hex(hex, value.units);
    } else {
      append_hex(hex, value.bytes);
    }
  }
  return whole;
}

void hex_value(std::string& out, const FieldValue& value) {
  if (value.bytes.empty()) {
    append_hex(out, value.units);
  } else {
    append_hex(out, value.bytes);
  }
}

}  // namespace

std::string_view digest_word(DigestState digest) {
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

#ifdef _WIN32
UserText::UserText(const std::filesystem::path& path)
    : text_(path.native().begin(), path.native().end()) {}
#else
UserText::UserText(const std::filesystem::path& path) : text_(path.native()) {}
#endif

FieldValue UserText::value() const {
  using View = std::basic_string_view<decltype(text_)::value_type>;
  return FieldValue::of_text(View(text_));
}

std::vector<std::string> csv_columns(std::span<const Field> fields) {
  std::vector<std::string> columns;
  for (const Field& field : fields) {
    columns.emplace_back(field.name);
    if (field.type == FieldType::text) {
      columns.push_back(std::string(field.name) + "_hex");
    }
  }
  columns.emplace_back("lossy");
  return columns;
}

bool append_json_field(std::string& out, const Field& field, const FieldValue& value) {
  using Kind = FieldValue::Kind;
  if (value.kind == Kind::absent) {
    return true;
  }
  out += ",\"";
  out += field.name;
  if (value.kind == Kind::hex) {
    out += "_hex\":\"";
    hex_value(out, value);
    out += '"';
    return true;
  }
  out += "\":";
  switch (value.kind) {
    case Kind::null:
      out += "null";
      return true;
    case Kind::number:
      out += std::to_string(value.number);
      return true;
    case Kind::flag:
      out += value.number != 0 ? "true" : "false";
      return true;
    case Kind::word:
      out += '"';
      out += value.bytes;
      out += '"';
      return true;
    default:
      break;
  }
  if (field.type == FieldType::bytes) {
    out += '"';
    append_hex(out, value.bytes);
    out += '"';
    return true;
  }
  std::string hex;
  const bool whole = text_value(
      value, out, hex, [](std::string& to, auto text) { return append_json_string(to, text); });
  if (!whole) {
    out += ",\"";
    out += field.name;
    out += "_hex\":\"" + hex + '"';
  }
  return whole;
}

void append_json_record(std::string& out, std::string_view type, std::span<const Field> fields,
                        std::span<const FieldValue> values) {
  out += "{\"type\":\"";
  out += type;
  out += '"';
  bool whole = true;
  for (std::size_t at = 0; at < fields.size(); ++at) {
    whole = append_json_field(out, fields[at], values[at]) && whole;
  }
  out += whole ? "}\n" : ",\"lossy\":true}\n";
}

bool fill_csv_cells(std::vector<std::string>& cells, std::size_t column, const Field& field,
                    const FieldValue& value) {
  using Kind = FieldValue::Kind;
  std::string& cell = cells[column];
  switch (value.kind) {
    case Kind::absent:
    case Kind::null:
      return true;
    case Kind::number:
      cell = std::to_string(value.number);
      return true;
    case Kind::flag:
      cell = value.number != 0 ? "true" : "false";
      return true;
    case Kind::word:
      cell = value.bytes;
      return true;
    case Kind::hex:
      hex_value(cells[column + 1], value);
      return true;
    default:
      break;
  }
  if (field.type == FieldType::bytes) {
    append_hex(cell, value.bytes);
    return true;
  }
  return text_value(value, cell, cells[column + 1],
                    [](std::string& to, auto text) { return append_utf8(to, text); });
}

void append_csv_row(std::string& out, std::span<const std::string> lead,
                    std::span<const Field> fields, std::span<const FieldValue> values,
                    std::vector<std::string>& scratch) {
  scratch.resize(lead.size() + csv_column_of(fields, fields.size()) + 1);
  for (std::string& cell : scratch) {
    cell.clear();
  }
  std::copy(lead.begin(), lead.end(), scratch.begin());
  bool whole = true;
  for (std::size_t at = 0; at < fields.size(); ++at) {
    whole =
        fill_csv_cells(scratch, lead.size() + csv_column_of(fields, at), fields[at], values[at]) &&
        whole;
  }
  if (!whole) {
    scratch.back() = "true";
  }
  append_csv_record(out, scratch);
}

}  // namespace tarvel
