#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/arena.h"
#include "platform/console.h"

namespace tarvel {

inline constexpr std::size_t IMAGE_HEADER_SIZE = 284;
// Capacities, in UTF-16 units, of the fields that entry texts land in.
inline constexpr std::size_t NAME_FIELD_UNITS = 260;
inline constexpr std::size_t DIRECTORY_FIELD_UNITS = 2048;
inline constexpr std::size_t EXTRA_TEXT_FIELD_UNITS = 1024;

// UTF-16 text kept in its entry table's storage; the table may change it in place.
class StoredText {
 public:
  StoredText() = default;
  explicit StoredText(std::span<char16_t> units) : units_(units) {}

  std::u16string_view view() const { return {units_.data(), units_.size()}; }
  operator std::u16string_view() const { return view(); }  // NOLINT: used as a view everywhere
  std::span<char16_t> units() const { return units_; }
  std::size_t size() const { return units_.size(); }
  bool empty() const { return units_.empty(); }

  friend bool operator==(const StoredText& left, const StoredText& right) {
    return left.view() == right.view();
  }
  friend bool operator==(const StoredText& left, std::u16string_view right) {
    return left.view() == right;
  }

 private:
  std::span<char16_t> units_;
};

// One file-system entry of an image. Texts hold exactly the text up to the first NUL of their
// field, never more than the field's capacity; fields a version lacks are 0. Texts and the
// property block live in the owning EntryTable.
struct EntryRecord {
  StoredText name;
  StoredText directory;
  StoredText extra_text;
  std::span<const std::uint8_t> properties;  // the property block as stored
  std::uint64_t lead_value = 0;
  std::uint32_t flags_a = 0;
  std::uint32_t flags_b = 0;
  std::uint32_t flags_c = 0;
  std::uint32_t flags_d = 0;
  std::uint32_t dword_a = 0;
  std::uint32_t dword_b = 0;
  std::uint32_t properties_size = 0;
  std::uint16_t word_a = 0;
  std::uint8_t byte_a = 0;
  std::uint8_t byte_b = 0;
  std::uint8_t byte_c = 0;
  std::array<std::uint8_t, 64> block_a{};
};

// The entry records of one image, in file order, with the storage of their texts and property
// blocks. Records refer into that storage, so a table is moved, never copied.
class EntryTable {
 public:
  EntryTable() = default;
  EntryTable(const EntryTable&) = delete;
  EntryTable& operator=(const EntryTable&) = delete;
  EntryTable(EntryTable&&) noexcept = default;
  EntryTable& operator=(EntryTable&&) noexcept = default;

  // Room for this many more records, text units and property bytes, each in one piece.
  void reserve(std::size_t records, std::size_t text_units, std::size_t property_bytes) {
    records_.reserve(records_.size() + records);
    texts_.reserve(text_units);
    properties_.reserve(property_bytes);
  }

  // Space for a text of at most `units` units; give back what is not used with keep_text.
  std::span<char16_t> text_space(std::size_t units) { return texts_.allocate(units); }
  StoredText keep_text(std::span<char16_t> space, std::size_t length) {
    texts_.shrink_last(space, length);
    return StoredText(space.first(length));
  }
  StoredText store_text(std::u16string_view text) {
    const std::span<char16_t> space = texts_.allocate(text.size());
    std::copy(text.begin(), text.end(), space.begin());
    return StoredText(space);
  }
  std::span<const std::uint8_t> store_properties(std::span<const std::uint8_t> block) {
    const std::span<std::uint8_t> space = properties_.allocate(block.size());
    std::copy(block.begin(), block.end(), space.begin());
    return space;
  }

  EntryRecord& append(const EntryRecord& record) { return records_.emplace_back(record); }

  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  EntryRecord& operator[](std::size_t index) { return records_[index]; }
  const EntryRecord& operator[](std::size_t index) const { return records_[index]; }
  auto begin() { return records_.begin(); }
  auto end() { return records_.end(); }
  auto begin() const { return records_.begin(); }
  auto end() const { return records_.end(); }

 private:
  std::vector<EntryRecord, LargeAllocator<EntryRecord>> records_;
  Arena<char16_t> texts_;
  Arena<std::uint8_t> properties_;
};

// One installed application. Each text holds the whole UTF-16 units of its stored bytes; its
// readers end it at its first NUL unit (see text_up_to_nul).
struct AppRecord {
  std::u16string label;
  std::u16string text_4;
  std::u16string key;
  std::u16string text_2;
  std::optional<std::u16string> text_5;  // absent in version 2 images
};

// Everything loaded from one image file. The file's own buffer is not kept: every value is
// copied out of it.
struct LoadedImage {
  std::uint32_t file_size = 0;
  std::array<std::uint8_t, IMAGE_HEADER_SIZE> header{};
  std::string hosts;  // the hosts block's bytes exactly as stored
  std::vector<AppRecord> apps;
  EntryTable entries;
};

// The text a wide field holds: everything before its first NUL unit, or all of it.
inline std::u16string_view text_up_to_nul(std::u16string_view text) {
  return text.substr(0, text.find(u'\0'));
}
inline std::string_view text_up_to_nul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

inline constexpr std::u16string_view INCORRECT_VERSION_MESSAGE =
    u"Error: Incorrect version of image file\n";

// Fills image from the bytes of one image file. On failure, what was stored before the failure
// stays in image; only a version or digest failure prints, and it prints to console.
bool parse_image(std::span<const std::uint8_t> file_data, LoadedImage& image, Console& console);

}  // namespace tarvel
