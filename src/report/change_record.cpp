// The values of one tarvel-diff item's record, as every writer of the program renders them.
#include "report/change_record.h"

#include "compare/entry_changes.h"

namespace tarvel {

namespace {

std::string_view known_bad_word(KnownBad known_bad) {
  switch (known_bad) {
    case KnownBad::old_value:
      return "old";
    case KnownBad::new_value:
      return "new";
    case KnownBad::both:
      return "both";
    case KnownBad::none:
      break;
  }
  return {};
}

}  // namespace

const ChangeValues& ChangeRecord::fill(const ReportItem& item, const UserText& host) {
  values_.fill({});
  const ReportList& kind = item.kind();
  if (!host.empty()) {
    values_[change_field("host")] = host.value();
  }
  values_[change_field("section")] = FieldValue::of_word(kind.section_name());
  values_[change_field("change")] = FieldValue::of_word(kind.change_name);
  if (kind.section == Section::hosts) {
    values_[change_field("line")] = FieldValue::of_text(item.line);
  } else if (kind.section == Section::application) {
    values_[change_field("label")] = FieldValue::of_text(item.text);
    values_[change_field("key")] = FieldValue::of_text(item.key);
  } else {
    values_[change_field("path")] = FieldValue::of_text(item.text);
  }
  if (kind.section == Section::autorun) {
    sha1(change_field("sha1"), item, kind.change == Change::removed);
  }
  if (kind.change == Change::modified || kind.change == Change::no_sha1) {
    sha1(change_field("old_sha1"), item, true);
    sha1(change_field("new_sha1"), item, false);
  }
  if (kind.change == Change::status && item.old_row != nullptr && item.new_row != nullptr) {
    status(change_field("old_flags_a"), *item.old_row);
    status(change_field("new_flags_a"), *item.new_row);
  }
  if (item.known_bad != KnownBad::none) {
    values_[change_field("known_bad")] = FieldValue::of_word(known_bad_word(item.known_bad));
  }
  return values_;
}

void ChangeRecord::sha1(std::size_t field, const ReportItem& item, bool of_old) {
  std::u16string& text = sha1_[of_old ? 0 : 1];
  values_[field] = item.sha1(of_old, text) ? FieldValue::of_text(std::u16string_view(text))
                                           : FieldValue::null_value();
}
// The status words as the comparison masks them.
void ChangeRecord::status(std::size_t first, const EntryRow& row) {
  const MaskedStatus masked = mask_status(row);
  values_[first] = FieldValue::of_number(masked.flags_a);
  values_[first + 1] = FieldValue::of_number(masked.flags_b);
  values_[first + 2] = FieldValue::of_number(masked.flags_c);
  values_[first + 3] = FieldValue::of_number(masked.flags_d);
}

}  // namespace tarvel
