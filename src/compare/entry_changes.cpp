#include "compare/entry_changes.h"

#include <string>

#include "compare/entry_identity.h"
#include "image/format.h"

namespace tarvel {

namespace {

bool is_autorun(const EntryRow& row) { return (row.flags_a & AUTORUN_BITS) != 0; }

bool has_status(const EntryRow& row) {
  return (row.flags_a | row.flags_b | row.flags_c | row.flags_d) != 0;
}

bool is_hash_exempt(const EntryRow& row) {
  return (row.flags_a & HASH_EXEMPT_A) != 0 || (row.flags_c & HASH_EXEMPT_C) != 0;
}

bool same_status(const EntryRow& left, const EntryRow& right) {
  return left.flags_a == right.flags_a && left.flags_b == right.flags_b &&
         left.flags_c == right.flags_c && left.flags_d == right.flags_d;
}

}  // namespace

void mask_status(EntryRow& row) {
  row.flags_a &= STATUS_KEEP_A;
  row.flags_b = 0;
  row.flags_c &= STATUS_KEEP_C;
}

void detect_entry_changes(EntryTable& old_table, EntryTable& new_table,
                          Differences& differences) {
  const EntryIndex new_index(new_table);
  // One look-up per old entry answers every question the passes ask: for each old entry, the
  // first new entry with its key (what a front-to-back scan of the new table finds), and for
  // each key of the new table, the first old entry with it.
  std::vector<std::uint32_t> new_match(old_table.size(), IdTable::NONE);
  std::vector<std::uint32_t> old_match(new_table.size(), IdTable::NONE);
  std::size_t hint = 0;  // where the next match most likely stands in the new table
  for (std::size_t index = 0; index < old_table.size(); ++index) {
    const std::uint32_t match = new_index.find_near(key_of(old_table, old_table[index]), hint);
    new_match[index] = match;
    if (match != IdTable::NONE) {
      hint = std::size_t{match} + 1;
      if (old_match[match] == IdTable::NONE) {
        old_match[match] = static_cast<std::uint32_t>(index);
      }
    }
  }

  std::u16string path;
  // New autorun entries that are absent from the old image, or not autorun there.
  for (std::size_t index = 0; index < new_table.size(); ++index) {
    const EntryRow& row = new_table[index];
    if (!is_autorun(row)) {
      continue;
    }
    const std::uint32_t match = old_match[new_index.first_of_key(index)];
    if (match == IdTable::NONE || !is_autorun(old_table[match])) {
      build_full_path(new_table, row, path);
      differences.autorun_new.insert(path, NameSet::NO_ENTRY, static_cast<std::uint32_t>(index));
    }
  }
  // Old autorun entries that are absent from the new image, or not autorun there.
  for (std::size_t index = 0; index < old_table.size(); ++index) {
    const EntryRow& row = old_table[index];
    const std::uint32_t match = new_match[index];
    if (is_autorun(row) && (match == IdTable::NONE || !is_autorun(new_table[match]))) {
      build_full_path(old_table, row, path);
      differences.autorun_removed.insert(path, static_cast<std::uint32_t>(index));
    }
  }

  for (std::size_t index = 0; index < old_table.size(); ++index) {
    EntryRow& old_row = old_table[index];
    const std::uint32_t match = new_match[index];
    if (!has_status(old_row) || match == IdTable::NONE) {
      continue;
    }
    EntryRow& new_row = new_table[match];
    build_full_path(old_table, old_row, path);
    const auto old_entry = static_cast<std::uint32_t>(index);
    if (!is_hash_exempt(old_row) && !is_hash_exempt(new_row)) {
      if (old_row.sha1_form == Sha1Form::none || new_row.sha1_form == Sha1Form::none) {
        differences.no_sha1.insert(path, old_entry, match);
      } else if (!old_table.same_sha1(old_row, new_table, new_row)) {
        differences.modified.insert(path, old_entry, match);
      }
    }
    mask_status(old_row);
    mask_status(new_row);
    if (!same_status(old_row, new_row)) {
      differences.changed_status.insert(path, old_entry, match);
    }
  }
}

}  // namespace tarvel
