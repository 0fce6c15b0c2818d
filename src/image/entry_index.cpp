// The index of an entry table by entry key.
#include "image/entry_index.h"

namespace tarvel {

bool same_key(const EntryTable& table, const EntryRow& row, const EntryTable& other_table,
              const EntryRow& other_row) {
  return row.name_length == other_row.name_length &&
         table.name(row) == other_table.name(other_row) &&
         table.directory(row) == other_table.directory(other_row);
}

EntryIndex::EntryIndex(const EntryTable& table, const TableHash& table_hash)
    : table_(&table), hash_(&table_hash), ids_(table.size()), first_of_key_(table.size()) {
  if (table.has_key_tags_of(table_hash)) {
    // The tags kept while loading are all the slots need; texts are read only to tell apart
    // entries whose tags are equal.
    fill([&](std::size_t index) { return IdTable::with_tag(table.key_tag(index)); });
    return;
  }
  // Entries of one directory usually follow one another: its part of the hash is worked out
  // once for them all. Hashes are asked for in index order.
  std::uint32_t hashed_directory = IdTable::NONE;
  std::uint64_t directory_part = 0;
  fill([&](std::size_t index) {
    const EntryRow& row = table[index];
    if (row.directory != hashed_directory) {
      hashed_directory = row.directory;
      directory_part = hash_->directory_part(table.directory(row));
    }
    return directory_part + hash_->name_part(table.name(row));
  });
}

template <typename HashOf>
void EntryIndex::fill(HashOf&& hash_of) {
  const EntryTable& table = *table_;
  ids_.for_each_hashed(table.size(), hash_of, [&](std::size_t index, std::uint64_t hashed) {
    // An equal key already indexed has the lower index; it is the one lookups must find. The
    // key's texts are looked at only where an indexed entry's tag is the same.
    first_of_key_[index] = ids_.find_or_insert(
        hashed, static_cast<std::uint32_t>(index),
        [&](std::uint32_t other) { return matches(other, key_of(table, table[index])); });
  });
}

bool EntryIndex::matches(std::uint32_t index, const EntryKey& key) const {
  const EntryRow& row = (*table_)[index];
  return table_->name(row) == key.name && table_->directory(row) == key.directory;
}

std::uint32_t EntryIndex::find(const EntryKey& key) const {
  return ids_.find(hash(key), [&](std::uint32_t held) { return matches(held, key); });
}

}  // namespace tarvel
