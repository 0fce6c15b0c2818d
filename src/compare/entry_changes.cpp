#include "compare/entry_changes.h"

#include <string>

#include "image/property_block.h"

namespace tarvel {

namespace {

bool is_autorun(const EntryRecord& record) { return (record.flags_a & AUTORUN_BITS) != 0; }

bool has_status(const EntryRecord& record) {
  return (record.flags_a | record.flags_b | record.flags_c | record.flags_d) != 0;
}

bool is_hash_exempt(const EntryRecord& record) {
  return (record.flags_a & HASH_EXEMPT_A) != 0 || (record.flags_c & HASH_EXEMPT_C) != 0;
}

bool same_status(const EntryRecord& left, const EntryRecord& right) {
  return left.flags_a == right.flags_a && left.flags_b == right.flags_b &&
         left.flags_c == right.flags_c && left.flags_d == right.flags_d;
}

// Lists entries that are autorun in `table` but absent from, or not autorun in, the other.
void collect_autorun_only(const EntryTable& table, const EntryIndex& other, NameSet& target,
                          std::u16string& path) {
  for (const EntryRecord& record : table) {
    if (!is_autorun(record)) {
      continue;
    }
    const EntryRecord* match = find_entry(other, record.name, record.directory);
    if (match == nullptr || !is_autorun(*match)) {
      build_full_path(record, path);
      insert_name(target, path);
    }
  }
}

}  // namespace

void mask_status(EntryRecord& record) {
  record.flags_a &= STATUS_KEEP_A;
  record.flags_b = 0;
  record.flags_c &= STATUS_KEEP_C;
}

void detect_entry_changes(EntryTable& old_table, EntryTable& new_table, const DriveMap& drive_map,
                          DifferenceReport& report) {
  // Lookups in the old table never see a new-image directory before it is normalised, so all of
  // them can be normalised first; the new index then holds the final keys.
  for (EntryRecord& record : new_table) {
    normalise_directory(record.directory.units(), drive_map);
  }
  const EntryIndex old_index(old_table);
  const EntryIndex new_index(new_table);
  std::u16string path;

  collect_autorun_only(new_table, old_index, report.autorun_new, path);
  collect_autorun_only(old_table, new_index, report.autorun_removed, path);

  std::u16string old_sha1;
  std::u16string new_sha1;
  std::size_t hint = 0;  // where the next match most likely stands in the new table
  for (EntryRecord& old_record : old_table) {
    if (!has_status(old_record)) {
      continue;
    }
    EntryRecord* new_record = new_index.find_near(old_record.name, old_record.directory, hint);
    if (new_record == nullptr) {
      continue;
    }
    hint = new_index.index_of(*new_record) + 1;
    build_full_path(old_record, path);
    if (!is_hash_exempt(old_record) && !is_hash_exempt(*new_record)) {
      const bool old_found = find_sha1_value(&old_record, old_sha1);
      const bool new_found = find_sha1_value(new_record, new_sha1);
      if (!old_found || !new_found) {
        insert_name(report.no_sha1, path);
      } else if (old_sha1 != new_sha1) {
        insert_name(report.modified, path);
      }
    }
    mask_status(old_record);
    mask_status(*new_record);
    if (!same_status(old_record, *new_record)) {
      insert_name(report.changed_status, path);
    }
  }
}

}  // namespace tarvel
