#include "compare/entry_identity.h"

#include <algorithm>

namespace tarvel {

namespace {

constexpr std::u16string_view LONG_PATH_PREFIX = u"\\\\?\\";

}  // namespace

DriveMap identity_drive_map() {
  DriveMap map{};
  for (std::size_t letter = 0; letter < map.size(); ++letter) {
    map[letter] = static_cast<char16_t>(u'A' + letter);
  }
  return map;
}

void normalise_directory(std::span<char16_t> directory, const DriveMap& drive_map) {
  if (directory.empty()) {
    return;
  }
  const std::u16string_view text(directory.data(), directory.size());
  const std::size_t at = text.starts_with(LONG_PATH_PREFIX) ? LONG_PATH_PREFIX.size() : 0;
  if (at >= directory.size()) {
    return;
  }
  char16_t& unit = directory[at];
  if (unit >= u'a' && unit <= u'z') {
    unit = static_cast<char16_t>(unit - 0x20);
  }
  if (unit >= u'A' && unit <= u'Z' && at + 1 < directory.size() && directory[at + 1] == u':') {
    unit = drive_map[static_cast<std::size_t>(unit - u'A')];
  }
}

EntryIndex::EntryIndex(const EntryTable& table, const TableHash& table_hash)
    : table_(&table), hash_(&table_hash), ids_(table.size()), first_of_key_(table.size()) {
  ids_.for_each_hashed(
      table.size(), [&](std::size_t index) { return hash(key_of(table, table[index])); },
      [&](std::size_t index, std::uint64_t hashed) {
        const EntryKey key = key_of(table, table[index]);
        // An equal key already indexed has the lower index; it is the one lookups must find.
        first_of_key_[index] = ids_.find_or_insert(
            hashed, static_cast<std::uint32_t>(index),
            [&](std::uint32_t other) { return matches(other, key); });
      });
}

std::uint64_t EntryIndex::hash(const EntryKey& key) const {
  return hash_->units(key.directory, key.name);
}

bool EntryIndex::matches(std::uint32_t index, const EntryKey& key) const {
  const EntryRow& row = (*table_)[index];
  return row.name_length == key.name.size() && table_->name(row) == key.name &&
         table_->directory(row) == key.directory;
}

std::uint32_t EntryIndex::find(const EntryKey& key) const {
  return ids_.find(hash(key), [&](std::uint32_t held) { return matches(held, key); });
}

bool same_key(const EntryTable& table, const EntryRow& row, const EntryTable& other_table,
              const EntryRow& other_row) {
  return row.name_length == other_row.name_length &&
         table.name(row) == other_table.name(other_row) &&
         table.directory(row) == other_table.directory(other_row);
}

void build_full_path(const EntryTable& table, const EntryRow& row, std::u16string& out) {
  out.clear();
  const std::u16string_view directory = table.directory(row);
  if (!directory.empty()) {
    out.append(directory);
    out.push_back(u'\\');
  }
  out.append(table.name(row));
}

}  // namespace tarvel
