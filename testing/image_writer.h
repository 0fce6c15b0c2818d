// The image writer shared by tests, samples, benchmarks and fuzz targets.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image/format.h"

namespace tarvel::testing {

using Bytes = std::vector<std::uint8_t>;

// UTF-16LE bytes of text, with or without a terminating NUL unit.
Bytes utf16le(std::u16string_view text, bool terminated = true);
Bytes bytes_of(std::string_view text);

// One property item: name size, name, value size, value.
Bytes property_item(const Bytes& name, const Bytes& value);
// A well-formed "SHA1" item whose value is the given text (40 characters make it usable).
Bytes sha1_property(std::u16string_view value);
Bytes concat(std::initializer_list<Bytes> parts);

struct EntrySpec {
  std::uint64_t lead_value = 0;
  std::uint8_t byte_a = 0;
  std::uint32_t dword_a = 0;
  std::uint32_t dword_b = 0;
  std::array<std::uint8_t, BLOCK_A_SIZE> block_a{};
  std::uint32_t flags_a = 0;
  std::uint32_t flags_b = 0;
  std::uint32_t flags_c = 0;
  std::uint32_t flags_d = 0;
  std::uint8_t byte_b = 0;
  std::uint16_t word_a = 0;
  std::uint8_t byte_c = 0;
  Bytes name;
  Bytes directory;
  Bytes extra_text;
  Bytes properties;
  // Written in place of the true lengths, to build broken records.
  std::optional<std::uint32_t> name_length;
  std::optional<std::uint32_t> properties_length;
};

// An entry with unterminated UTF-16 texts, as the inspection tool writes them.
EntrySpec entry(std::u16string_view directory, std::u16string_view name, std::uint32_t flags_a = 0,
                std::uint32_t flags_c = 0);

struct AppSpec {
  std::vector<Bytes> texts;  // in file order: key, text 2, label, text 4, text 5
};

// An application with terminated texts; version 2 images write only the first four.
AppSpec app(std::u16string_view key, std::u16string_view label);

struct ImageSpec {
  std::uint16_t version = 5;
  std::array<std::uint8_t, IMAGE_HEADER_SIZE> header{};
  std::array<Bytes, 4> skipped{};
  Bytes hosts = {0};
  std::vector<AppSpec> apps;
  std::optional<std::uint32_t> app_count;  // written instead of apps.size()
  std::vector<EntrySpec> entries;
  Bytes entry_tail;                             // raw bytes after the last record, in the section
  std::optional<std::uint32_t> section_length;  // versions 4 and 5; default: the true length
  Bytes after_section;                          // versions 4 and 5: between section and trailer
  std::uint32_t trailer_length = DIGEST_LENGTH;  // versions 4 and 5
  bool corrupt_digest = false;
};

Bytes write_entry(const EntrySpec& entry, std::uint16_t version);
Bytes write_image(const ImageSpec& spec);

// Writes bytes to a file, replacing it; false when that fails.
bool write_file(const std::string& path, const Bytes& bytes);
// The whole contents of a file; empty when it cannot be read.
Bytes read_file(const std::string& path);

// Stores a little-endian u32 at offset.
void put_u32(Bytes& bytes, std::size_t offset, std::uint32_t value);

}  // namespace tarvel::testing
