#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/loaded_image.h"

namespace tarvel {

// The drive letter each letter A to Z stands for in new-image directories.
using DriveMap = std::array<char16_t, 26>;

DriveMap identity_drive_map();

// Upper-cases the first letter of a new-image directory (after a "\\?\" prefix) and, when it is
// a drive letter, maps it through the drive map. Changes at most one unit.
void normalise_directory(std::span<char16_t> directory, const DriveMap& drive_map);

// A hash index over one entry table by (name, directory). A lookup gives the record a
// front-to-back scan would find: the lowest index among equal keys. Build it after the table's
// keys have reached their final form; the table must not grow while the index is used.
class EntryIndex {
 public:
  explicit EntryIndex(EntryTable& table);

  EntryRecord* find(std::u16string_view name, std::u16string_view directory) const;
  // The same record as find, but looks at the record at index `hint` first: when two tables list
  // their entries in nearly the same order, most look-ups need no hashing at all.
  EntryRecord* find_near(std::u16string_view name, std::u16string_view directory,
                         std::size_t hint) const;
  std::size_t index_of(const EntryRecord& record) const;

 private:
  struct Slot {
    std::uint32_t tag;
    std::uint32_t index_plus_one;  // 0 marks an empty slot
  };

  EntryTable* table_;
  std::vector<std::uint8_t> first_;  // 1 where a record has the lowest index of its key
  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
};

inline EntryRecord* find_entry(const EntryIndex& index, std::u16string_view name,
                               std::u16string_view directory) {
  return index.find(name, directory);
}

// The entry's directory, one backslash and its name; the name alone when the directory is empty.
// Built whole however long.
void build_full_path(const EntryRecord& record, std::u16string& out);

}  // namespace tarvel
