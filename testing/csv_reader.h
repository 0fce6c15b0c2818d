// An RFC 4180 reader, so tests parse CSV output back rather than match it as text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvel::testing {

using CsvRecord = std::vector<std::string>;

// Splits CSV text (RFC 4180: records ended by CR LF, fields quoted where they hold a comma, a
// quote or a line end, quotes doubled inside) back into records. False for text that breaks
// the rules: a bare LF, text after a closing quote, an unclosed quote, a missing last CR LF.
inline bool read_csv(std::string_view text, std::vector<CsvRecord>& records) {
  records.clear();
  std::size_t at = 0;
  while (at < text.size()) {
    CsvRecord record;
    while (true) {
      std::string field;
      if (at < text.size() && text[at] == '"') {
        ++at;
        while (true) {
          if (at >= text.size()) {
            return false;
          }
          if (text[at] == '"') {
            if (at + 1 < text.size() && text[at + 1] == '"') {
              field.push_back('"');
              at += 2;
              continue;
            }
            ++at;
            break;
          }
          field.push_back(text[at++]);
        }
      } else {
        while (at < text.size() && text[at] != ',' && text[at] != '\r' && text[at] != '\n') {
          if (text[at] == '"') {
            return false;
          }
          field.push_back(text[at++]);
        }
      }
      record.push_back(std::move(field));
      if (at < text.size() && text[at] == ',') {
        ++at;
        continue;
      }
      if (text.substr(at, 2) != "\r\n") {
        return false;
      }
      at += 2;
      break;
    }
    records.push_back(std::move(record));
  }
  return true;
}

// The fields as they were before the writer's formula guard: one leading apostrophe stripped
// from every field that has one.
inline CsvRecord unguard_csv(CsvRecord record) {
  for (std::string& field : record) {
    if (!field.empty() && field.front() == '\'') {
      field.erase(0, 1);
    }
  }
  return record;
}

}  // namespace tarvel::testing
