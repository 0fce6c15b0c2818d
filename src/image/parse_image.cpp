#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "image/byte_reader.h"
#include "image/loaded_image.h"
#include "image/sha256.h"

namespace tarvel {

namespace {

constexpr std::size_t VERSION_SIZE = 2;
constexpr std::size_t TRAILER_SIZE = 36;
constexpr std::uint32_t DIGEST_LENGTH = 32;
constexpr int SKIPPED_BLOCKS = 4;
// Room that must be left before any entry record, whatever the version's smallest record.
constexpr std::size_t MIN_RECORD_ROOM = 106;

constexpr std::size_t ABSENT = SIZE_MAX;

// Where each fixed field of an entry record lies, by version.
struct RecordLayout {
  std::size_t fixed_size;
  std::size_t lead_size;
  std::size_t byte_a;
  std::size_t dword_a;
  std::size_t dword_b;
  std::size_t block_a;
  std::size_t flags_a;
  std::size_t flags_b;
  std::size_t flags_c;
  std::size_t flags_d;
  std::size_t byte_b;
  std::size_t word_a;
  std::size_t byte_c;
};

constexpr RecordLayout LAYOUT_V1_V2{89, 4, 4, 5, 9, 13, 77, ABSENT, 81, ABSENT, 85, 86, 88};
constexpr RecordLayout LAYOUT_V3_V4{97, 4, 4, 5, 9, 13, 77, 81, 85, 89, 93, 94, 96};
constexpr RecordLayout LAYOUT_V5{101, 8, 8, 9, 13, 17, 81, 85, 89, 93, 97, 98, 100};

const RecordLayout& layout_for(std::uint16_t version) {
  if (version <= 2) {
    return LAYOUT_V1_V2;
  }
  return version == 5 ? LAYOUT_V5 : LAYOUT_V3_V4;
}

// The byte runs of one entry record, checked to lie inside the entry section.
struct RecordParts {
  std::span<const std::uint8_t> fixed;
  std::span<const std::uint8_t> name;
  std::span<const std::uint8_t> directory;
  std::span<const std::uint8_t> extra_text;
  std::span<const std::uint8_t> properties;
};

bool split_record(ByteReader& section, const RecordLayout& layout, RecordParts& parts) {
  if (section.remaining() < MIN_RECORD_ROOM) {
    return false;
  }
  return section.take(layout.fixed_size, parts.fixed) && section.take_prefixed(parts.name) &&
         parts.name.size() <= NAME_FIELD_UNITS * 2 && section.take_prefixed(parts.directory) &&
         parts.directory.size() <= DIRECTORY_FIELD_UNITS * 2 &&
         section.take_prefixed(parts.extra_text) &&
         parts.extra_text.size() <= EXTRA_TEXT_FIELD_UNITS * 2 &&
         section.take_prefixed(parts.properties);
}

// Units an entry text may take: an odd last byte is the low byte of a unit of its own.
std::size_t field_units(std::span<const std::uint8_t> bytes) { return (bytes.size() + 1) / 2; }

// An entry text as it reads from a zero-filled field: it stops at the first NUL unit.
StoredText decode_field_text(std::span<const std::uint8_t> bytes, EntryTable& table) {
  const std::span<char16_t> space = table.text_space(field_units(bytes));
  const std::size_t whole = bytes.size() / 2;
  if constexpr (std::endian::native == std::endian::little) {
    // Not even 0 bytes may go to a null target, which space is while the table has no text.
    if (whole != 0) {
      std::memcpy(space.data(), bytes.data(), whole * sizeof(char16_t));
    }
  } else {
    for (std::size_t i = 0; i < whole; ++i) {
      space[i] = ByteReader::load_u16(bytes.data() + i * 2);
    }
  }
  if (whole < space.size()) {
    space[whole] = bytes.back();
  }
  const std::size_t length =
      static_cast<std::size_t>(std::find(space.begin(), space.end(), u'\0') - space.begin());
  return table.keep_text(space, length);
}

// An application text: its whole stored units; an odd last byte belongs to no unit.
std::u16string decode_stored_units(std::span<const std::uint8_t> bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(ByteReader::load_u16(bytes.data() + i * 2));
  }
  return text;
}

std::uint32_t u32_at(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return ByteReader::load_u32(bytes.data() + offset);
}

void decode_record(const RecordParts& parts, const RecordLayout& layout, EntryTable& table) {
  EntryRecord record;
  const auto fixed = parts.fixed;
  record.lead_value = layout.lead_size == 8 ? ByteReader::load_u64(fixed.data())
                                            : ByteReader::load_u32(fixed.data());
  record.byte_a = fixed[layout.byte_a];
  record.dword_a = u32_at(fixed, layout.dword_a);
  record.dword_b = u32_at(fixed, layout.dword_b);
  std::copy_n(fixed.begin() + static_cast<std::ptrdiff_t>(layout.block_a), record.block_a.size(),
              record.block_a.begin());
  record.flags_a = u32_at(fixed, layout.flags_a);
  record.flags_b = layout.flags_b == ABSENT ? 0 : u32_at(fixed, layout.flags_b);
  record.flags_c = u32_at(fixed, layout.flags_c);
  record.flags_d = layout.flags_d == ABSENT ? 0 : u32_at(fixed, layout.flags_d);
  record.byte_b = fixed[layout.byte_b];
  record.word_a = ByteReader::load_u16(fixed.data() + layout.word_a);
  record.byte_c = fixed[layout.byte_c];
  record.name = decode_field_text(parts.name, table);
  record.directory = decode_field_text(parts.directory, table);
  record.extra_text = decode_field_text(parts.extra_text, table);
  record.properties = table.store_properties(parts.properties);
  record.properties_size = static_cast<std::uint32_t>(parts.properties.size());
  table.append(record);
}

bool digest_matches(std::span<const std::uint8_t> file_data) {
  const std::size_t covered = file_data.size() - TRAILER_SIZE;
  Sha256Context context{};
  std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
  sha256_reset(&context);
  sha256_input(&context, file_data.data(), static_cast<std::uint32_t>(covered));
  sha256_result(&context, digest.data());
  return std::equal(digest.begin(), digest.end(),
                    file_data.begin() + static_cast<std::ptrdiff_t>(covered + 4));
}

bool read_applications(ByteReader& file, std::uint16_t version, std::vector<AppRecord>& apps) {
  std::uint32_t count = 0;
  if (!file.read_u32(count)) {
    return false;
  }
  // The count is untrusted: records are added only as their bytes turn out to be there.
  for (std::uint32_t i = 0; i < count; ++i) {
    std::array<std::span<const std::uint8_t>, 5> texts;
    const std::size_t text_count = version == 2 ? 4 : 5;
    for (std::size_t t = 0; t < text_count; ++t) {
      if (!file.take_prefixed(texts[t])) {
        return false;
      }
    }
    AppRecord& app = apps.emplace_back();
    app.key = decode_stored_units(texts[0]);
    app.text_2 = decode_stored_units(texts[1]);
    app.label = decode_stored_units(texts[2]);
    app.text_4 = decode_stored_units(texts[3]);
    if (text_count == 5) {
      app.text_5 = decode_stored_units(texts[4]);
    }
  }
  return true;
}

bool read_entries(ByteReader section, std::uint16_t version, EntryTable& entries) {
  const RecordLayout& layout = layout_for(version);
  // Measure the records that are really there first, so the table takes its memory once and
  // exactly, never on the word of a length that the file cannot back.
  std::size_t records = 0;
  std::size_t text_units = 0;
  std::size_t property_bytes = 0;
  RecordParts parts;
  for (ByteReader scan = section; !scan.at_end() && split_record(scan, layout, parts);) {
    ++records;
    text_units +=
        field_units(parts.name) + field_units(parts.directory) + field_units(parts.extra_text);
    property_bytes += parts.properties.size();
  }
  entries.reserve(records, text_units, property_bytes);
  while (!section.at_end()) {
    if (!split_record(section, layout, parts)) {
      return false;
    }
    decode_record(parts, layout, entries);
  }
  return true;
}

bool parse_contents(std::span<const std::uint8_t> file_data, LoadedImage& image, Console& console) {
  image.hosts.clear();
  image.file_size = static_cast<std::uint32_t>(file_data.size());
  ByteReader file(file_data);

  std::uint16_t version = 0;
  if (!file.read_u16(version)) {
    return false;
  }
  if (version < 1 || version > 5) {
    console.write_wide(INCORRECT_VERSION_MESSAGE);
    return false;
  }
  const bool has_trailer = version >= 4;
  if (has_trailer) {
    if (file_data.size() <= VERSION_SIZE + TRAILER_SIZE) {
      console.write_wide(INCORRECT_VERSION_MESSAGE);
      return false;
    }
    const std::size_t trailer = file_data.size() - TRAILER_SIZE;
    if (u32_at(file_data, trailer) == DIGEST_LENGTH && !digest_matches(file_data)) {
      console.write_wide(INCORRECT_VERSION_MESSAGE);
      return false;
    }
  }

  std::span<const std::uint8_t> header;
  if (!file.take(IMAGE_HEADER_SIZE, header)) {
    return false;
  }
  std::copy(header.begin(), header.end(), image.header.begin());

  for (int block = 0; block < SKIPPED_BLOCKS; ++block) {
    std::uint32_t length = 0;
    if (!file.read_u32(length) || !file.skip(length)) {
      return false;
    }
  }

  std::span<const std::uint8_t> hosts;
  if (!file.take_prefixed(hosts)) {
    return false;
  }
  image.hosts.assign(reinterpret_cast<const char*>(hosts.data()), hosts.size());

  if (version >= 2 && !read_applications(file, version, image.apps)) {
    return false;
  }

  // Versions 1 to 3 keep entries to the end of the file; later ones give the section's length,
  // and whatever follows the section (the trailer among it) is not entry data.
  std::span<const std::uint8_t> section;
  if (has_trailer) {
    if (!file.take_prefixed(section)) {
      return false;
    }
  } else {
    file.take(file.remaining(), section);
  }
  return read_entries(ByteReader(section), version, image.entries);
}

}  // namespace

bool parse_image(std::span<const std::uint8_t> file_data, LoadedImage& image, Console& console) {
  // Memory for what an image holds is bounded by its size, yet may still not be there: such an
  // image is refused like a broken one instead of ending the program.
  try {
    return parse_contents(file_data, image, console);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace tarvel
