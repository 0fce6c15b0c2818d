// The values of one tarvel-diff item's record, as every writer of the program renders them.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "report/record_writer.h"
#include "report/report_items.h"

namespace tarvel {

consteval std::size_t change_field(std::string_view name) {
  return field_index(CHANGE_FIELDS, name);
}

using ChangeValues = std::array<FieldValue, CHANGE_FIELDS.size()>;

// Fills an item's values; they point into the item and into this object, until the next fill.
class ChangeRecord {
 public:
  const ChangeValues& fill(const ReportItem& item, const UserText& host);

 private:
  void sha1(std::size_t field, const ReportItem& item, bool of_old);
  void status(std::size_t first, const EntryRow& row);

  ChangeValues values_;
  std::array<std::u16string, 2> sha1_;  // room used again for every item
};

}  // namespace tarvel
