// What comparing uses of one image: the entry table, the applications, the hosts text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/record_sink.h"
#include "image/sha1_value.h"
#include "support/id_table.h"
#include "support/keyed_hash.h"
#include "support/text_arena.h"
#include "support/text_view.h"

namespace tarvel {

// One file-system entry, reduced to what comparing and reporting use. Texts are those of the
// record's fields up to their first NUL unit.
struct EntryRow {
  std::uint32_t name = 0;       // handle in the table's text arena
  std::uint32_t directory = 0;  // number of the table's kept directory
  std::uint32_t flags_a = 0;
  std::uint32_t flags_b = 0;
  std::uint32_t flags_c = 0;
  std::uint32_t flags_d = 0;
  std::uint32_t sha1 = 0;         // number of the packed value, or handle of the text
  std::uint16_t name_length = 0;  // units, with WIDE_TEXT for a name kept in 16 bits a unit
  Sha1Form sha1_form = Sha1Form::none;
  std::uint8_t sha1_length = 0;  // units, for a value kept as text
};
static_assert(sizeof(EntryRow) == 32);

// Rewrites a directory in place before it is kept (the new image's normalisation), in the form
// it is kept in: `wide` for 16-bit units; `narrow` for units kept one byte each, which returns
// false, with nothing changed, where a rewritten unit would not fit a byte. Either both or
// neither are set.
struct DirectoryRewrite {
  std::function<void(std::span<char16_t>)> wide;
  std::function<bool(std::span<unsigned char>)> narrow;

  explicit operator bool() const { return static_cast<bool>(wide); }
};

// The entries of one image, in file order. Names and directories are kept one byte a unit
// where every unit is below 0x100 (see TextView); entries of one directory usually follow one
// another, so a directory is kept once for each run of entries that share it.
class EntryTable {
 public:
  // Marks a kept text length whose units take 16 bits; texts are at most 2,048 units.
  static constexpr std::uint16_t WIDE_TEXT = 0x8000;
  static std::size_t units_of(std::uint16_t length) { return length & (WIDE_TEXT - 1U); }
  static bool is_wide(std::uint16_t length) { return (length & WIDE_TEXT) != 0; }

  std::size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }
  EntryRow& operator[](std::size_t index) { return rows_[index]; }
  const EntryRow& operator[](std::size_t index) const { return rows_[index]; }

  TextView name(const EntryRow& row) const { return text(row.name, row.name_length); }
  TextView directory(const EntryRow& row) const {
    const StoredDirectory& stored = directories_[row.directory];
    return text(stored.handle, stored.length);
  }

  // The entry's SHA1 value as text, or empty when it has none.
  std::u16string sha1_text(const EntryRow& row) const {
    std::u16string text;
    sha1_text(row, text);
    return text;
  }
  // The same, written over `text`, whose room is used again.
  void sha1_text(const EntryRow& row, std::u16string& text) const;
  // The 20 bytes a value of 40 hexadecimal digits of one case was packed into; null for any
  // other value, and for none.
  const PackedSha1* packed_sha1(const EntryRow& row) const {
    const bool packed =
        row.sha1_form == Sha1Form::lower_hex || row.sha1_form == Sha1Form::upper_hex;
    return packed ? &packed_sha1_[row.sha1] : nullptr;
  }
  // Whether two entries, of this table and of another, have equal SHA1 values; entries
  // without one are never equal.
  bool same_sha1(const EntryRow& row, const EntryTable& other, const EntryRow& other_row) const;

  // Keeps a directory for the entries that follow, unless it is the one kept last; returns
  // its number.
  std::uint32_t add_directory(std::u16string_view text);
  EntryRow& append(std::u16string_view name, std::uint32_t directory, const EntryFields& fields);
  // The same for texts as an entry field stores them (see decode_field_text), read from there.
  std::uint32_t add_stored_directory(std::span<const std::uint8_t> stored);
  // The same for a directory that `rewrite` changes first, straight from its stored bytes
  // where it is kept one byte a unit and stays so; IdTable::NONE, with nothing kept, where it
  // is not, for the caller to decode it and use add_directory.
  std::uint32_t add_stored_directory(std::span<const std::uint8_t> stored,
                                     const std::function<bool(std::span<unsigned char>)>& rewrite);
  EntryRow& append_stored(std::span<const std::uint8_t> name, std::uint32_t directory,
                          const EntryFields& fields);
  void set_sha1(EntryRow& row, const Sha1Value& value);

  // Keeps each entry's key tag under `hash` from now on, for the rows already held too: the
  // part of the entry key's hash that an index over the table is placed by (IdTable::tag_of).
  // Worked out as an entry is kept, while its texts are at hand, it spares the index a second
  // pass over every text. `hash` must outlive the tags; drop_key_tags() lets go of both.
  void keep_key_tags(const TableHash& hash);
  void drop_key_tags();
  // Whether the tags kept are those of `hash`.
  bool has_key_tags_of(const TableHash& hash) const { return tag_hash_ == &hash; }
  std::uint32_t key_tag(std::size_t index) const { return key_tags_[index]; }

 private:
  struct StoredDirectory {
    std::uint32_t handle;
    std::uint16_t length;  // with WIDE_TEXT
  };

  TextView text(std::uint32_t handle, std::uint16_t length) const {
    const std::size_t units = units_of(length);
    const char16_t* at = texts_.view(handle, 0).data();
    if (is_wide(length)) {
      return std::u16string_view(at, units);
    }
    return TextView::narrow(reinterpret_cast<const unsigned char*>(at), units);
  }
  // A text written in its one form at the end of the arena, not yet kept: where, and its
  // length with WIDE_TEXT where it takes 16 bits a unit.
  struct Placed {
    char16_t* at;
    std::uint16_t length;
  };
  Placed place(std::u16string_view text);
  Placed place_stored(std::span<const std::uint8_t> stored);
  std::uint32_t keep_directory(const Placed& placed);
  EntryRow& append_placed(std::uint16_t name_length, std::uint32_t directory,
                          const EntryFields& fields);
  // Keeps the text place() wrote last; returns its handle.
  std::uint32_t keep_placed(std::uint16_t length) {
    const std::size_t units = units_of(length);
    return texts_.keep(is_wide(length) ? units : (units + 1) / 2);
  }

  ChunkedArray<EntryRow> rows_;
  TextArena texts_;  // names, directories, and SHA1 values that are not packed
  ChunkedArray<PackedSha1> packed_sha1_;
  ChunkedArray<StoredDirectory> directories_;

  void keep_key_tag(const EntryRow& row);
  const TableHash* tag_hash_ = nullptr;
  // Chunks of 256 KiB, which the system takes back whole when the tags are let go.
  ChunkedArray<std::uint32_t, 16> key_tags_;
  std::uint32_t tagged_directory_ = IdTable::NONE;  // whose part of the hash is at hand
  std::uint64_t directory_part_ = 0;
};

// One installed application: the texts comparing and reporting use, up to their first NUL.
struct AppRow {
  std::uint32_t key = 0;  // position in the list's text storage
  std::uint32_t key_length = 0;
  std::uint32_t label = 0;
  std::uint32_t label_length = 0;
};

class AppList {
 public:
  std::size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }
  const AppRow& operator[](std::size_t index) const { return rows_[index]; }
  std::u16string_view key(const AppRow& row) const {
    return {texts_.data() + row.key, row.key_length};
  }
  std::u16string_view label(const AppRow& row) const {
    return {texts_.data() + row.label, row.label_length};
  }

  // Building, for the loader's sink.
  std::vector<AppRow>& rows() { return rows_; }
  std::vector<char16_t>& texts() { return texts_; }

 private:
  std::vector<AppRow> rows_;
  std::vector<char16_t> texts_;
};

// What comparing uses of one image.
struct LoadedImage {
  std::uint16_t version = 0;
  std::uint32_t file_size = 0;
  std::string hosts;  // the hosts text up to its first NUL byte
  AppList apps;
  EntryTable entries;
};

}  // namespace tarvel
