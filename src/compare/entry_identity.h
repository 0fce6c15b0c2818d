#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/id_table.h"
#include "image/keyed_hash.h"
#include "image/loaded_image.h"

namespace tarvel {

// The drive letter each letter A to Z stands for in new-image directories.
using DriveMap = std::array<char16_t, 26>;

DriveMap identity_drive_map();

// Upper-cases the first letter of a new-image directory (after a "\\?\" prefix) and, when it is
// a drive letter, maps it through the drive map. Changes at most one unit.
void normalise_directory(std::span<char16_t> directory, const DriveMap& drive_map);

// The identity of an entry: its name and its directory.
struct EntryKey {
  std::u16string_view name;
  std::u16string_view directory;
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

 private:
  std::uint64_t hash(const EntryKey& key) const;
  bool matches(std::uint32_t index, const EntryKey& key) const;

  const EntryTable* table_;
  const TableHash* hash_;
  IdTable ids_;
  std::vector<std::uint32_t> first_of_key_;
};

// The entry's directory, one backslash and its name; the name alone when the directory is
// empty. Built whole however long.
void build_full_path(const EntryTable& table, const EntryRow& row, std::u16string& out);

}  // namespace tarvel
