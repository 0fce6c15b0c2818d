#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "image/id_table.h"
#include "image/keyed_hash.h"
#include "image/loaded_image.h"

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
  // An index of the whole table as it stands.
  EntryIndex(const EntryTable& table, const TableHash& hash);
  // An empty index of a table being filled, to which add() enters each row as it is appended.
  struct Growing {};
  EntryIndex(const EntryTable& table, const TableHash& hash, Growing);

  // Enters the table's next row, whose key hashed to `hash`. Rows wait in a short queue before
  // they are entered, so that their slots are fetched from memory meanwhile; flush() enters
  // those still waiting.
  void add(std::uint64_t hash);
  void flush();

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
  static constexpr std::size_t QUEUED = 8;

  bool matches(std::uint32_t index, const EntryKey& key) const;
  void enter(std::uint32_t index, std::uint64_t hash);

  const EntryTable* table_;
  const TableHash* hash_;
  IdTable ids_;
  std::vector<std::uint32_t> first_of_key_;
  std::array<std::pair<std::uint32_t, std::uint64_t>, QUEUED> queue_{};
  std::size_t queued_ = 0;
};

}  // namespace tarvel
