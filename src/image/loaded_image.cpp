// The entry table: texts kept in one form, directories once per run, SHA1 values packed.
#include "image/loaded_image.h"

#include <algorithm>
#include <cstring>

#include "image/stored_text.h"

namespace tarvel {

EntryTable::Placed EntryTable::place(std::u16string_view text) {
  const std::span<char16_t> room = texts_.room(text.size());
  if (pack_narrow(text.data(), text.size(), reinterpret_cast<unsigned char*>(room.data()))) {
    return {room.data(), static_cast<std::uint16_t>(text.size())};
  }
  text.copy(room.data(), text.size());
  return {room.data(), static_cast<std::uint16_t>(text.size() | WIDE_TEXT)};
}

EntryTable::Placed EntryTable::place_stored(std::span<const std::uint8_t> stored) {
  const std::span<char16_t> room = texts_.room((stored.size() + 1) / 2);
  const std::size_t narrow =
      pack_field_text(stored, reinterpret_cast<unsigned char*>(room.data()));
  if (narrow != NOT_NARROW) {
    return {room.data(), static_cast<std::uint16_t>(narrow)};
  }
  const std::size_t units = decode_field_text(stored, room);
  return {room.data(), static_cast<std::uint16_t>(units | WIDE_TEXT)};
}

std::uint32_t EntryTable::add_directory(std::u16string_view text) {
  return keep_directory(place(text));
}

std::uint32_t EntryTable::add_stored_directory(std::span<const std::uint8_t> stored) {
  return keep_directory(place_stored(stored));
}

std::uint32_t EntryTable::add_stored_directory(
    std::span<const std::uint8_t> stored,
    const std::function<bool(std::span<unsigned char>)>& rewrite) {
  const Placed placed = place_stored(stored);
  // A text placed but not kept is written over by the next one.
  if (is_wide(placed.length) ||
      !rewrite({reinterpret_cast<unsigned char*>(placed.at), units_of(placed.length)})) {
    return IdTable::NONE;
  }
  return keep_directory(placed);
}

std::uint32_t EntryTable::keep_directory(const Placed& placed) {
  if (!directories_.empty()) {
    // The text just placed against the last one kept: one form each, so their bytes decide.
    const std::size_t last = directories_.size() - 1;
    const StoredDirectory& kept = directories_[last];
    const std::size_t units = units_of(placed.length);
    const std::size_t bytes = is_wide(placed.length) ? units * 2 : units;
    if (kept.length == placed.length &&
        std::memcmp(texts_.view(kept.handle, 0).data(), placed.at, bytes) == 0) {
      return static_cast<std::uint32_t>(last);
    }
  }
  directories_.push_back({keep_placed(placed.length), placed.length});
  return static_cast<std::uint32_t>(directories_.size() - 1);
}

void EntryTable::sha1_text(const EntryRow& row, std::u16string& text) const {
  switch (row.sha1_form) {
    case Sha1Form::none:
      text.clear();
      return;
    case Sha1Form::text:
      text.assign(texts_.view(row.sha1, row.sha1_length));
      return;
    case Sha1Form::lower_hex:
    case Sha1Form::upper_hex:
      unpack_sha1(row.sha1_form, packed_sha1_[row.sha1], text);
      return;
  }
  text.clear();
}

bool EntryTable::same_sha1(const EntryRow& row, const EntryTable& other,
                           const EntryRow& other_row) const {
  if (row.sha1_form != other_row.sha1_form || row.sha1_form == Sha1Form::none) {
    return false;
  }
  if (row.sha1_form == Sha1Form::text) {
    return texts_.view(row.sha1, row.sha1_length) ==
           other.texts_.view(other_row.sha1, other_row.sha1_length);
  }
  return packed_sha1_[row.sha1] == other.packed_sha1_[other_row.sha1];
}

EntryRow& EntryTable::append(std::u16string_view name, std::uint32_t directory,
                             const EntryFields& fields) {
  return append_placed(place(name).length, directory, fields);
}

EntryRow& EntryTable::append_stored(std::span<const std::uint8_t> name, std::uint32_t directory,
                                    const EntryFields& fields) {
  return append_placed(place_stored(name).length, directory, fields);
}

EntryRow& EntryTable::append_placed(std::uint16_t name_length, std::uint32_t directory,
                                    const EntryFields& fields) {
  EntryRow row;
  row.name_length = name_length;
  row.name = keep_placed(row.name_length);
  row.directory = directory;
  row.flags_a = fields.flags_a;
  row.flags_b = fields.flags_b;
  row.flags_c = fields.flags_c;
  row.flags_d = fields.flags_d;
  if (tag_hash_ != nullptr) {
    keep_key_tag(row);
  }
  return rows_.push_back(row);
}

void EntryTable::keep_key_tag(const EntryRow& row) {
  // Entries of one directory usually follow one another: its part is worked out once.
  if (row.directory != tagged_directory_) {
    tagged_directory_ = row.directory;
    directory_part_ = tag_hash_->directory_part(directory(row));
  }
  key_tags_.push_back(IdTable::tag_of(directory_part_ + tag_hash_->name_part(name(row))));
}

void EntryTable::keep_key_tags(const TableHash& hash) {
  drop_key_tags();
  tag_hash_ = &hash;
  for (std::size_t index = 0; index < rows_.size(); ++index) {
    keep_key_tag(rows_[index]);
  }
}

void EntryTable::drop_key_tags() {
  tag_hash_ = nullptr;
  key_tags_ = {};
  tagged_directory_ = IdTable::NONE;
}

void EntryTable::set_sha1(EntryRow& row, const Sha1Value& value) {
  if (!value.found) {
    row.sha1_form = Sha1Form::none;
    return;
  }
  PackedSha1 packed{};
  row.sha1_form = pack_sha1(value.bytes, packed);
  if (row.sha1_form == Sha1Form::text) {
    const std::u16string text = value.text();
    row.sha1 = texts_.store(text);
    row.sha1_length = static_cast<std::uint8_t>(text.size());
  } else {
    row.sha1 = static_cast<std::uint32_t>(packed_sha1_.size());
    packed_sha1_.push_back(packed);
  }
}

}  // namespace tarvel
