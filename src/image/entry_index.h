// Entry keys and the index that finds an entry table's first entry with a key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "image/loaded_image.h"
#include "support/id_table.h"
#include "support/keyed_hash.h"

namespace tarvel {

// The identity of an entry: its name and its directory.
struct EntryKey {
  TextView name;
  TextView directory;
};

inline EntryKey key_of(const EntryTable& table, const EntryRow& row) {
  return {table.name(row), table.directory(row)};
}

// Whether two entries, of the same table or of two, have the same name and directory.
bool same_key(const EntryTable& table, const EntryRow& row, const EntryTable& other_table,
              const EntryRow& other_row);

// A keyed hash index over one entry table by (name, directory). A lookup gives the entry a
// front-to-back scan would find: the lowest index among equal keys.
class EntryIndex {
 public:
  EntryIndex(const EntryTable& table, const TableHash& hash);

  // Index of the first entry with this key, or IdTable::NONE.
  std::uint32_t find(const EntryKey& key) const;
  // The same, for texts alone.
  std::uint32_t find(std::u16string_view name, std::u16string_view directory) const {
    return find({name, directory});
  }
  // The first entry with the same key as the entry at `index`.
  std::uint32_t first_of_key(std::size_t index) const { return first_of_key_[index]; }

  std::uint64_t hash(const EntryKey& key) const {
    return hash_->directory_part(key.directory) + hash_->name_part(key.name);
  }

 private:
  // Indexes every entry in order, its hash given by hash_of(index); only the high half of a
  // hash places an entry.
  template <typename HashOf>
  void fill(HashOf&& hash_of);
  bool matches(std::uint32_t index, const EntryKey& key) const;

  const EntryTable* table_;
  const TableHash* hash_;
  IdTable ids_;
  std::vector<std::uint32_t> first_of_key_;
};

}  // namespace tarvel
